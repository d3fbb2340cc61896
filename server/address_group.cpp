#include "address_group.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <cstring>

namespace {

constexpr unsigned char mappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

// An IPv4-mapped IPv6 address is the IPv4 player it stands for.
PlayerAddress unmapped(const PlayerAddress& address) {
    if (address.family != AF_INET6 || std::memcmp(address.bytes, mappedPrefix, sizeof mappedPrefix) != 0) {
        return address;
    }
    PlayerAddress ipv4;
    ipv4.family = AF_INET;
    std::memcpy(ipv4.bytes, address.bytes + 12, 4);
    return ipv4;
}

// The address with every bit from `prefix` on cleared, named with its prefix.
std::string prefixName(const PlayerAddress& address, int prefix) {
    PlayerAddress network = address;
    int bits = address.family == AF_INET6 ? 128 : 32;
    for (int bit = prefix; bit < bits; ++bit) {
        network.bytes[bit / 8] &= static_cast<unsigned char>(~(0x80u >> (bit % 8)));
    }
    return describeAddress(network) + "/" + std::to_string(prefix);
}

}  // namespace

PlayerAddress addressOfPeer(const sockaddr* peer, socklen_t size) {
    PlayerAddress address;
    if (peer->sa_family == AF_INET && size >= sizeof(sockaddr_in)) {
        address.family = AF_INET;
        std::memcpy(address.bytes, &reinterpret_cast<const sockaddr_in*>(peer)->sin_addr, 4);
    } else if (peer->sa_family == AF_INET6 && size >= sizeof(sockaddr_in6)) {
        address.family = AF_INET6;
        std::memcpy(address.bytes, &reinterpret_cast<const sockaddr_in6*>(peer)->sin6_addr, 16);
    }
    return unmapped(address);
}

bool parsePlayerAddress(const std::string& text, PlayerAddress& address) {
    std::string bare = text;
    if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') {
        bare = bare.substr(1, bare.size() - 2);
    }
    PlayerAddress parsed;
    if (inet_pton(AF_INET, bare.c_str(), parsed.bytes) == 1) {
        parsed.family = AF_INET;
    } else if (inet_pton(AF_INET6, bare.c_str(), parsed.bytes) == 1) {
        parsed.family = AF_INET6;
    } else {
        return false;
    }
    address = unmapped(parsed);
    return true;
}

std::string addressGroup(const PlayerAddress& given, int ipv6Prefix) {
    PlayerAddress address = unmapped(given);
    if (address.family != AF_INET6) {
        return describeAddress(address);
    }
    return prefixName(address, ipv6Prefix);
}

std::string addressNetwork(const PlayerAddress& given, int ipv4Prefix, int ipv6Prefix) {
    PlayerAddress address = unmapped(given);
    if (address.family == 0) {
        return "";
    }
    return prefixName(address, address.family == AF_INET6 ? ipv6Prefix : ipv4Prefix);
}

std::string describeAddress(const PlayerAddress& given) {
    PlayerAddress address = unmapped(given);
    char text[INET6_ADDRSTRLEN] = {};
    if (address.family == 0 || inet_ntop(address.family, address.bytes, text, sizeof text) == nullptr) {
        return "";
    }
    return text;
}
