#pragma once
// One player's game on the connection that is standard input and output.
#include <cstdint>
#include <string>

// How a game ended, as its referee tells the seat and the seat the keeper.
enum class GameEnding : std::uint8_t {
    unknown,
    inputEnded,     // the player's input ended
    leftOrCrashed,  // the terminal ended the game: exit, or a misstep
    timeUp,
    idle,
    cpuCap,
    memoryCap,
    shutdown,    // the server stopped
    playerGone,  // the connection broke
    unrunnable,  // the terminal's file cannot be run at all: no game can start
    count,
};

// The words for an ending in the server's log.
const char* describeEnding(GameEnding ending);

// Asks the seat keeper for a seat and runs `terminal` for the player under
// the limits the keeper gives, socat relaying its pseudo-terminal to the
// connection; `self` is this program's path, run again by socat as the
// game's referee (playGame). Every refusal is one line to the player; a
// reason for it goes to standard error. Returns the exit status.
int seatAndRunGame(const std::string& self, const std::string& terminal);

// The game's referee, on the pseudo-terminal with the connection as
// descriptor 3: runs `terminal` reading the connection and ends it with a
// message at the time limit, on idleness, on SIGTERM (the server stopping),
// when the terminal meets its CPU or memory cap, or when it cannot be run;
// tells the seat how the game ended on descriptor 4.
int playGame(long gameSeconds, long idleSeconds, long cpuSeconds, long memoryMiB,
             const std::string& terminal);
