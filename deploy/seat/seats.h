#pragma once
// The seats of the games at once: one lock file per seat in a private folder,
// each holding the address of the player who sits there. A seat is held for as
// long as any process of its game keeps the lock's descriptor open.
#include <string>

enum class SeatOutcome { taken, full, addressFull, broken };

// Checks that `folder` is a real folder, not a link, owned by this user and
// open to nobody else. Returns false with `problem` saying why not.
bool checkSeatsFolder(const std::string& folder, std::string& problem);

// Takes a free seat among `games` for `address` unless that address already
// holds `perAddress` of them (an empty address is never counted). On
// `taken`, `seatDescriptor` holds the lock; on `broken`, `problem` says why.
SeatOutcome takeSeat(const std::string& folder, long games, long perAddress,
                     const std::string& address, int& seatDescriptor, std::string& problem);

// The address of the player at the other end of standard input, an IPv4
// address for an IPv4-mapped one; empty when standard input is no socket.
std::string peerAddress();
