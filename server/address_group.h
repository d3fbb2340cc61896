#pragma once
// Players are counted by address group: an IPv4 address is a group of its
// own (an IPv4-mapped IPv6 address counts as IPv4); IPv6 addresses group by
// their first bits, a /64 by default, since one machine holds a whole /64.
// They are counted by network too, a wider prefix of either family, since
// one renter may hold a whole IPv4 /24 or IPv6 /48.
#include <sys/socket.h>
#include <string>

struct PlayerAddress {
    int family = 0;  // AF_INET, AF_INET6, or 0 when the player has no address
    unsigned char bytes[16] = {};
};

// The address of a socket peer; family 0 for any other kind of socket.
PlayerAddress addressOfPeer(const sockaddr* peer, socklen_t size);

// An address in text, as a bridge gives it (REMOTE_ADDR): IPv4, IPv6, or IPv6
// in brackets. Returns false for anything else.
bool parsePlayerAddress(const std::string& text, PlayerAddress& address);

// The group's name: "192.0.2.7" for IPv4, "2001:db8:1:2::/64" for IPv6 with
// its first `ipv6Prefix` bits kept; empty for no address.
std::string addressGroup(const PlayerAddress& address, int ipv6Prefix);

// The network's name: "192.0.2.0/24" for IPv4 with its first `ipv4Prefix`
// bits kept, "2001:db8:1::/48" for IPv6 with its first `ipv6Prefix`; empty
// for no address.
std::string addressNetwork(const PlayerAddress& address, int ipv4Prefix, int ipv6Prefix);

// The address itself in text, for the log; empty for no address.
std::string describeAddress(const PlayerAddress& address);
