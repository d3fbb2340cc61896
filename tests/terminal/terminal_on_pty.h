// Runs a terminal the way a player's terminal shows it: standard output on a
// pseudo-terminal, so colours and clearing become escape sequences.
#pragma once

#include <string>

struct TerminalRun {
    std::string out;
    int status;  // exit status, -1 when the program did not exit
};

// Runs program with input from a file and standard output on a
// pseudo-terminal whose output processing is off, so the bytes arrive as written.
TerminalRun runOnTerminal(const std::string& program, const std::string& input);
