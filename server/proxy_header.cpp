#include "proxy_header.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::string_view signatureV2{"\r\n\r\n\0\r\nQUIT\n", 12};
constexpr std::string_view prefixV1 = "PROXY ";
// Version 1's longest line, "PROXY UNKNOWN" with two IPv6 addresses and ports.
constexpr std::size_t longestV1 = 107;
// Both versions' shortest header: "PROXY UNKNOWN\r\n". Before that many bytes
// arrive, none can be the player's.
constexpr std::size_t shortest = 15;
// Version 2's addresses and TLVs; more is no proxy's.
constexpr std::size_t longestV2Body = 2048;

ProxyHeader incomplete(std::size_t more) {
    ProxyHeader header;
    header.state = ProxyHeaderState::incomplete;
    header.more = more;
    return header;
}

ProxyHeader invalid() { return ProxyHeader{}; }

ProxyHeader complete(bool ownAddress, const PlayerAddress& source = {}) {
    ProxyHeader header;
    header.state = ProxyHeaderState::complete;
    header.ownAddress = ownAddress;
    header.source = source;
    return header;
}

bool validPort(std::string_view text) {
    if (text.empty() || text.size() > 5 || (text[0] == '0' && text.size() > 1) ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    return std::stol(std::string(text)) <= 65535;
}

ProxyHeader readV1(std::string_view start) {
    std::size_t lineFeed = start.find('\n');
    if (lineFeed != std::string_view::npos && (lineFeed == 0 || start[lineFeed - 1] != '\r')) {
        return invalid();
    }
    std::size_t end = start.find("\r\n");
    if (end == std::string_view::npos) {
        return start.size() >= longestV1 ? invalid() : incomplete(1);
    }
    if (end + 2 != start.size()) {
        return invalid();
    }
    std::string_view line = start.substr(prefixV1.size(), end - prefixV1.size());
    if (line.starts_with("UNKNOWN")) {
        return complete(true);
    }
    std::vector<std::string> words;
    std::size_t from = 0;
    while (from <= line.size()) {
        std::size_t space = std::min(line.find(' ', from), line.size());
        words.emplace_back(line.substr(from, space - from));
        from = space + 1;
    }
    if (words.size() != 5 || (words[0] != "TCP4" && words[0] != "TCP6") || !validPort(words[3]) ||
        !validPort(words[4])) {
        return invalid();
    }
    int family = words[0] == "TCP4" ? AF_INET : AF_INET6;
    PlayerAddress source;
    unsigned char destination[16];
    if (inet_pton(family, words[1].c_str(), source.bytes) != 1 ||
        inet_pton(family, words[2].c_str(), destination) != 1) {
        return invalid();
    }
    source.family = family;
    return complete(false, source);
}

ProxyHeader readV2(std::string_view start) {
    if (start.size() < 16) {
        return incomplete(16 - start.size());
    }
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(start[at]); };
    unsigned version = byte(12) >> 4;
    unsigned command = byte(12) & 15;
    unsigned addressFamily = byte(13) >> 4;
    std::size_t length = std::size_t{byte(14)} << 8 | byte(15);
    if (version != 2 || command > 1 || addressFamily > 3 || length > longestV2Body) {
        return invalid();
    }
    if (start.size() < 16 + length) {
        return incomplete(16 + length - start.size());
    }
    if (start.size() != 16 + length) {
        return invalid();
    }
    // LOCAL: the proxy's own connection, such as its health check.
    if (command == 0 || addressFamily == 0 || addressFamily == 3) {
        return complete(true);
    }
    std::size_t addressBytes = addressFamily == 1 ? 4 : 16;
    if (length < 2 * addressBytes + 4) {
        return invalid();
    }
    PlayerAddress source;
    source.family = addressFamily == 1 ? AF_INET : AF_INET6;
    std::memcpy(source.bytes, start.data() + 16, addressBytes);
    return complete(false, source);
}

}  // namespace

ProxyHeader readProxyHeader(std::string_view start) {
    std::size_t compared = std::min(start.size(), signatureV2.size());
    if (start.substr(0, compared) == signatureV2.substr(0, compared)) {
        return start.size() < shortest ? incomplete(shortest - start.size()) : readV2(start);
    }
    compared = std::min(start.size(), prefixV1.size());
    if (start.substr(0, compared) == prefixV1.substr(0, compared)) {
        return start.size() < shortest ? incomplete(shortest - start.size()) : readV1(start);
    }
    return invalid();
}
