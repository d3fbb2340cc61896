// The command loop.
#pragma once

#include <cstdio>

enum class SessionEnd {
    inputEnded,  // status 0
    left,        // exit, quit or a refused Unix command: status -1
    crashed,     // a failure: the crash path
};

// Carries out the lines of input against cwd, writing the prompt after every
// command that completes, until input ends or a line ends the session. A
// command whose output could not be written ends it as a failure.
SessionEnd runCommands(std::FILE* input);
