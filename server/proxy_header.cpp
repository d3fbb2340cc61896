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
// Version 2's TLVs, after the addresses: room for what proxies add (a server
// name, a connection's id, a cloud's endpoint id, TLS details); more is no
// proxy's.
constexpr std::size_t longestTlvs = 512;
// Version 2's commands, and the family and protocol byte of each kind of
// header taken: LOCAL carries no addresses; PROXY carries TCP over IPv4 or IPv6.
constexpr unsigned commandLocal = 0;
constexpr unsigned commandProxy = 1;
constexpr unsigned char unspecified = 0x00;
constexpr unsigned char tcpOverIpv4 = 0x11;
constexpr unsigned char tcpOverIpv6 = 0x21;

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

// Whether a player could connect from the address: no "this network"
// (0.0.0.0/8), multicast, reserved or broadcast IPv4 address, and no
// unspecified or multicast IPv6 one. Loopback is a real source: a proxy on
// the same machine has local players too.
bool realSource(const PlayerAddress& address) {
    static constexpr unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    static constexpr unsigned char none[16] = {};
    const unsigned char* ipv4 = address.family == AF_INET                     ? address.bytes
                                : std::memcmp(address.bytes, mapped, 12) == 0 ? address.bytes + 12
                                                                              : nullptr;
    if (ipv4 != nullptr) {
        return ipv4[0] != 0 && ipv4[0] < 224;
    }
    return std::memcmp(address.bytes, none, 16) != 0 && address.bytes[0] != 0xff;
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
    // UNKNOWN may be followed by anything, which is ignored, but as a word of its own.
    if (line == "UNKNOWN" || line.starts_with("UNKNOWN ")) {
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
    return realSource(source) ? complete(false, source) : invalid();
}

// The bytes of the addresses a version 2 header's command and family carry;
// false for any other pair.
bool addressBytesOf(unsigned command, unsigned char family, std::size_t& bytes) {
    if (command == commandLocal && family == unspecified) {
        bytes = 0;
    } else if (command == commandProxy && family == tcpOverIpv4) {
        bytes = 12;
    } else if (command == commandProxy && family == tcpOverIpv6) {
        bytes = 36;
    } else {
        return false;
    }
    return true;
}

// Whether the TLVs (a type byte, a length of two bytes, a value of that
// length, each) fill the rest exactly.
bool wholeTlvs(std::string_view tlvs) {
    while (!tlvs.empty()) {
        if (tlvs.size() < 3) {
            return false;
        }
        std::size_t length = std::size_t{static_cast<unsigned char>(tlvs[1])} << 8 |
                             static_cast<unsigned char>(tlvs[2]);
        if (tlvs.size() < 3 + length) {
            return false;
        }
        tlvs.remove_prefix(3 + length);
    }
    return true;
}

ProxyHeader readV2(std::string_view start) {
    if (start.size() < 16) {
        return incomplete(16 - start.size());
    }
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(start[at]); };
    unsigned version = byte(12) >> 4;
    unsigned command = byte(12) & 15;
    std::size_t length = std::size_t{byte(14)} << 8 | byte(15);
    std::size_t addressBytes = 0;
    if (version != 2 || !addressBytesOf(command, byte(13), addressBytes) || length < addressBytes ||
        length - addressBytes > longestTlvs) {
        return invalid();
    }
    if (start.size() < 16 + length) {
        return incomplete(16 + length - start.size());
    }
    if (start.size() != 16 + length || !wholeTlvs(start.substr(16 + addressBytes))) {
        return invalid();
    }
    // LOCAL: the proxy's own connection, such as its health check.
    if (command == commandLocal) {
        return complete(true);
    }
    PlayerAddress source;
    source.family = byte(13) == tcpOverIpv4 ? AF_INET : AF_INET6;
    std::memcpy(source.bytes, start.data() + 16, addressBytes == 12 ? 4 : 16);
    return realSource(source) ? complete(false, source) : invalid();
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
