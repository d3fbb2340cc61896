#include "game_ending.h"

const char* describeEnding(GameEnding ending) {
    switch (ending) {
    case GameEnding::inputEnded: return "input ended";
    case GameEnding::leftOrCrashed: return "left the game or crashed";
    case GameEnding::timeUp: return "time up";
    case GameEnding::idle: return "idle";
    case GameEnding::cpuCap: return "CPU cap";
    case GameEnding::memoryCap: return "memory cap";
    case GameEnding::shutdown: return "shutdown";
    case GameEnding::playerGone: return "player gone";
    case GameEnding::unrunnable: return "the terminal cannot be run";
    default: return "unknown";
    }
}
