#pragma once
// A game's terminal, started on a pseudo-terminal of its own under the
// game's limits, and how its end reads.
#include <sys/resource.h>
#include <sys/types.h>
#include <string>

#include "game_ending.h"
#include "terminal_copy.h"

struct GameLimits {
    long gameSeconds = 0;
    long idleSeconds = 0;
    long cpuSeconds = 0;
    long memoryMiB = 0;
};

struct RunningGame {
    pid_t process = -1;
    int pseudoTerminal = -1;  // the controlling side, non-blocking: the terminal's output
    int input = -1;           // the terminal's input, non-blocking
};

enum class GameStart { started, unrunnable, failed };

// Starts `terminal` in a session of its own with a new pseudo-terminal as its
// controlling terminal and standard output, and a pipe as its standard
// input, under `limits`' memory and CPU caps. The pseudo-terminal processes
// no output: what the terminal writes is read unchanged from
// `game.pseudoTerminal`, and what is written to `game.input` reaches it
// unchanged. The terminal dies with this process. Returns unrunnable when
// its file cannot be run for a reason that stays (missing, not executable,
// no program), failed with `problem` for a passing want of a pseudo-terminal,
// a process or memory.
// With `copy` (descriptor -1: none), it runs the file at `terminal` only
// while that is still the file the copy was taken from, else the copy.
GameStart startGame(const std::string& terminal, const TerminalCopy& copy, const GameLimits& limits,
                    RunningGame& game, std::string& problem);

// Ends the terminal's input: what it has not read yet still reaches it,
// then its read finds the end.
void endGameInput(RunningGame& game);

// How the terminal's end reads: its exit status, or the cap that stopped it.
GameEnding terminalEnding(int status, const rusage& used, long cpuLimit);

// What the player reads when a limit or the server ends the game, starting
// on a line of its own and ending its line; empty for any other ending.
std::string endingMessage(GameEnding ending, const GameLimits& limits);
