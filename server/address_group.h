#pragma once
// Players are counted by address group: an IPv4 address is a group of its
// own (an IPv4-mapped IPv6 address counts as IPv4); IPv6 addresses group by
// their first bits, a /64 by default, since one machine holds a whole /64.
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

// The address itself in text, for the log; empty for no address.
std::string describeAddress(const PlayerAddress& address);
