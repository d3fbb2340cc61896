#pragma once
// One player's game on the connection that is standard input and output.
#include <string>

#include "settings.h"

// Seats the player and runs `terminal` for them under the game's limits,
// socat relaying its pseudo-terminal to the connection; `self` is this
// program's path, run again by socat as the game's keeper (playGame). Every
// refusal is one line to the player; a reason for it goes to standard error.
// Returns the exit status.
int seatAndRunGame(const std::string& self, const std::string& terminal);

// The game's keeper, on the pseudo-terminal with the connection as
// descriptor 3: runs `terminal` reading the connection and ends it with a
// message at the time limit, on idleness or on SIGTERM (the server stopping).
int playGame(long gameSeconds, long idleSeconds, const std::string& terminal);
