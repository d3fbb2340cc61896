#pragma once
// How a game ended, as a game's seat tells the keeper and the keeper logs it.
#include <cstdint>

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
