#pragma once
// Lists of addresses and networks, such as KESTIV_PROXY_FROM's proxies:
// "10.0.0.0/8,fd00::/8,192.0.2.7". An IPv4 entry and an IPv4-mapped IPv6
// address (::ffff:10.1.2.3, as a dual-stack listener sees IPv4 peers) are one
// and the same, so either form matches the other.
#include <cstddef>
#include <string>
#include <vector>

#include "address_group.h"

struct AddressPrefix {
    unsigned char bytes[16] = {};  // IPv6, IPv4 as IPv4-mapped
    int bits = 0;                  // of those 16 bytes' 128
};

// The longest list a setting may hold, in characters: room for dozens of
// networks, more than any front has, and small enough to hand every seat.
constexpr std::size_t longestAddressPrefixList = 1024;

// Reads a comma-separated list of entries, each an IPv4 or IPv6 address
// alone or with a prefix length ("192.0.2.0/24", "2001:db8::/32"). An entry
// whose address has bits set beyond its prefix, such as 10.0.0.1/8, is
// refused: it names a network and a host at once. Returns one sentence for
// each bad entry (empty, spaces, no address, a bad length); `prefixes` gets
// the good ones.
std::vector<std::string> parseAddressPrefixes(const std::string& text,
                                              std::vector<AddressPrefix>& prefixes);

// Whether the address lies in one of the prefixes; never for no address.
bool inAddressPrefixes(const PlayerAddress& address, const std::vector<AddressPrefix>& prefixes);
