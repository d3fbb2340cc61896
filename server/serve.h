#pragma once
// A whole server without systemd: the seat keeper in the foreground, with
// socat listening for players and, when KESTIV_WEBSOCKET asks for it, the
// browser bridge, as its children, which die with it however it dies.
#include <string>

// Serves `terminal` on `listen` ([ADDRESS:]PORT), socat running `self` for
// every connection. Refuses to start, with status 2 and every problem on
// standard error, on a bad setting; prints one line once it listens. Returns
// the exit status.
int serve(const std::string& self, const std::string& listen, const std::string& terminal);

// The browser bridge alone, for systemd's units: websocketd on `listen`
// ([ADDRESS:]PORT) for the pages of KESTIV_WEBSOCKET_ORIGIN, running `self`
// for every WebSocket, whose game asks the keeper of KESTIV_SEATS or
// RUNTIME_DIRECTORY. Refuses to start, with status 2, on a bad setting. A
// stopping signal ends every game with its message first. Returns the exit
// status.
int bridgeAlone(const std::string& self, const std::string& listen, const std::string& terminal);

// The seat keeper alone, on the socket "keeper" in the seats folder, for
// games that systemd starts: tells systemd it is ready (NOTIFY_SOCKET). With
// a `terminal` (else empty), every game runs the keeper's copy of it.
int keepAlone(const std::string& terminal);

// Checks the settings as the keeper would, and the seats folder when one is
// given; lists the settings in effect. Returns 0, or 1 with every problem on
// standard error.
int checkSettings();
