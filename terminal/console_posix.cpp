// Console operations over an ANSI terminal. When standard output is not a
// terminal no escape sequence is written, as the attribute calls of a console
// API fail on a redirected handle.
#include "console.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// Stands for "whatever the terminal had"; writing it back resets the colours.
constexpr ConsoleAttributes kTerminalDefault = 7;

bool stdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void writeSequence(const char* sequence) {
    std::fputs(sequence, stdout);
    std::fflush(stdout);
}

}  // namespace

// Text and binary streams are the same here: a CR is an ordinary byte.
const bool kTextInputDropsCarriageReturn = false;

void clearConsole() {
    std::fflush(stdout);
    if (stdoutIsTerminal()) writeSequence("\x1b[H\x1b[2J\x1b[3J");
}

ConsoleHandle getStdOutputHandle() { return stdout; }

bool getConsoleScreenBufferInfo(ConsoleHandle, ConsoleScreenBufferInfo* info) {
    if (!stdoutIsTerminal()) return false;
    info->wAttributes = kTerminalDefault;
    return true;
}

bool setConsoleTextAttribute(ConsoleHandle, ConsoleAttributes attributes) {
    std::fflush(stdout);
    if (!stdoutIsTerminal()) return false;
    switch (attributes) {
        case 1: writeSequence("\x1b[34m"); break;
        case 2: writeSequence("\x1b[32m"); break;
        case 4: writeSequence("\x1b[31m"); break;
        default: writeSequence("\x1b[0m"); break;
    }
    return true;
}

void exitProcess(int status) {
    std::fflush(stdout);
    std::exit(status);
}
