#include "address_prefixes.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned char mappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
constexpr int mappedBits = 96;

// The address's 16 bytes, IPv4 as IPv4-mapped; false for no address.
bool asIpv6(const PlayerAddress& address, unsigned char bytes[16]) {
    if (address.family == AF_INET6) {
        std::memcpy(bytes, address.bytes, 16);
        return true;
    }
    if (address.family == AF_INET) {
        std::memcpy(bytes, mappedPrefix, sizeof mappedPrefix);
        std::memcpy(bytes + 12, address.bytes, 4);
        return true;
    }
    return false;
}

// A prefix length: decimal digits, no sign, no leading zero, at most `highest`.
bool parseBits(const std::string& text, int highest, int& bits) {
    if (text.empty() || text.size() > 3 || (text[0] == '0' && text.size() > 1) ||
        text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) > highest) {
        return false;
    }
    bits = std::stoi(text);
    return true;
}

bool bitSet(const unsigned char bytes[16], int bit) {
    return (bytes[bit / 8] >> (7 - bit % 8)) & 1;
}

bool hostBitsClear(const AddressPrefix& prefix) {
    for (int bit = prefix.bits; bit < 128; ++bit) {
        if (bitSet(prefix.bytes, bit)) {
            return false;
        }
    }
    return true;
}

// One entry, or the reason it is none.
bool parseEntry(const std::string& entry, AddressPrefix& prefix, std::string& problem) {
    size_t slash = entry.find('/');
    std::string text = entry.substr(0, slash);
    PlayerAddress address;
    if (text.find_first_of("[]") != std::string::npos || !parsePlayerAddress(text, address)) {
        problem = "'" + entry + "' is no IPv4 or IPv6 address, alone or with /BITS";
        return false;
    }
    bool ipv4 = address.family == AF_INET;
    // An IPv4-mapped IPv6 entry counts its bits as IPv6 does.
    bool writtenAsIpv4 = ipv4 && text.find(':') == std::string::npos;
    int highest = writtenAsIpv4 ? 32 : 128;
    int bits = highest;
    if (slash != std::string::npos && !parseBits(entry.substr(slash + 1), highest, bits)) {
        problem = "'" + entry + "' has a prefix length that is no whole number from 0 to " +
                  std::to_string(highest);
        return false;
    }
    asIpv6(address, prefix.bytes);
    prefix.bits = bits + (writtenAsIpv4 ? mappedBits : 0);
    if (!hostBitsClear(prefix)) {
        problem = "'" + entry + "' has bits set beyond its prefix: name the network alone";
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> parseAddressPrefixes(const std::string& text,
                                              std::vector<AddressPrefix>& prefixes) {
    std::vector<std::string> problems;
    for (size_t from = 0; from <= text.size();) {
        size_t comma = std::min(text.find(',', from), text.size());
        std::string entry = text.substr(from, comma - from);
        from = comma + 1;
        AddressPrefix prefix;
        std::string problem;
        if (parseEntry(entry, prefix, problem)) {
            prefixes.push_back(prefix);
        } else {
            problems.push_back(problem);
        }
    }
    return problems;
}

bool inAddressPrefixes(const PlayerAddress& address, const std::vector<AddressPrefix>& prefixes) {
    unsigned char bytes[16];
    if (!asIpv6(address, bytes)) {
        return false;
    }
    for (const AddressPrefix& prefix : prefixes) {
        int bit = 0;
        while (bit < prefix.bits && bitSet(bytes, bit) == bitSet(prefix.bytes, bit)) {
            ++bit;
        }
        if (bit == prefix.bits) {
            return true;
        }
    }
    return false;
}
