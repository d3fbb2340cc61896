#pragma once
// The PROXY protocol header (versions 1 and 2, as HAProxy documents them)
// that a proxy or load balancer sends before a connection's own bytes,
// telling the address of the player behind it. The header is read in steps
// of exactly the bytes it is sure to have, so that none of the player's own
// bytes are taken. Only what a proxy of TCP connections sends is taken:
// version 1 TCP4 or TCP6 from an address a player can have, or UNKNOWN;
// version 2 PROXY of TCP over IPv4 or IPv6 from such an address, or LOCAL
// without addresses; its TLVs, well formed and few, are skipped.
#include <cstddef>
#include <string_view>

#include "address_group.h"

enum class ProxyHeaderState { incomplete, complete, invalid };

struct ProxyHeader {
    ProxyHeaderState state = ProxyHeaderState::invalid;
    std::size_t more = 0;     // incomplete: the bytes to read before asking again
    bool ownAddress = false;  // complete: LOCAL or UNKNOWN, so the connection's
                              // own address counts
    PlayerAddress source;     // complete, unless ownAddress: the player's address
};

// Reads the bytes received so far from the start of a connection.
ProxyHeader readProxyHeader(std::string_view start);
