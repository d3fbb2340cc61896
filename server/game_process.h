#pragma once
// A game's terminal, started on a pseudo-terminal of its own under the
// game's limits, and how its end reads.
#include <sys/resource.h>
#include <sys/types.h>
#include <string>
#include <string_view>

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
    int pseudoTerminal = -1;  // the controlling side, non-blocking
};

enum class GameStart { started, unrunnable, failed };

// Starts `terminal` in a session of its own with a new pseudo-terminal as its
// standard input and output, under `limits`' memory and CPU caps. The
// pseudo-terminal gives the terminal its input a line at a time, echoes
// nothing and processes no output: what is written to `game.pseudoTerminal`
// as literalInput reaches it unchanged, and what it writes is read unchanged.
// The terminal dies with this process. Returns
// unrunnable when its file cannot be run for a reason that stays (missing,
// not executable, no program), failed with `problem` for a passing want of a
// pseudo-terminal, a process or memory.
// With `copy` (descriptor -1: none), it runs the file at `terminal` only
// while that is still the file the copy was taken from, else the copy.
GameStart startGame(const std::string& terminal, const TerminalCopy& copy, const GameLimits& limits,
                    RunningGame& game, std::string& problem);

// The bytes to write to a game's pseudo-terminal for the terminal to read
// `input` exactly: its special characters escaped.
std::string literalInput(std::string_view input);

// Ends the terminal's input as the end of a pipe does: a last line without
// its end (`midLine`) still reaches it, then its read finds the end.
void endGameInput(const RunningGame& game, bool midLine);

// How the terminal's end reads: its exit status, or the cap that stopped it.
GameEnding terminalEnding(int status, const rusage& used, long cpuLimit);

// What the player reads when a limit or the server ends the game, starting
// on a line of its own and ending its line; empty for any other ending.
std::string endingMessage(GameEnding ending, const GameLimits& limits);
