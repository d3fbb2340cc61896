#pragma once
// The PROXY protocol header (versions 1 and 2, as HAProxy documents them)
// that a proxy or load balancer sends before a connection's own bytes,
// telling the address of the player behind it. The header is read in steps
// of exactly the bytes it is sure to have, so that none of the player's own
// bytes are taken.
#include <cstddef>
#include <string_view>

#include "address_group.h"

enum class ProxyHeaderState { incomplete, complete, invalid };

struct ProxyHeader {
    ProxyHeaderState state = ProxyHeaderState::invalid;
    std::size_t more = 0;     // incomplete: the bytes to read before asking again
    bool ownAddress = false;  // complete: LOCAL, UNKNOWN or an unspecified family,
                              // so the connection's own address counts
    PlayerAddress source;     // complete, unless ownAddress: the player's address
};

// Reads the bytes received so far from the start of a connection.
ProxyHeader readProxyHeader(std::string_view start);
