#pragma once
// One player's game on the connection that is standard input and output.
#include <string>

// Asks the seat keeper for a seat and runs `terminal` for the player under
// the limits the keeper gives, on a pseudo-terminal this process relays to
// the connection. Every refusal is one line to the player; a reason for it
// goes to standard error. Returns the exit status.
int seatAndRunGame(const std::string& terminal);
