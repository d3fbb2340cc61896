// Console operations over an ANSI terminal: a POSIX terminal or the browser
// page's terminal widget. Where standard output is no terminal, only the text
// is written, as the attribute calls of a console fail on a redirected handle.
#include <cstdio>

#include "colour.h"
#include "console_platform.h"

namespace {

struct ColourSequence {
    Colour colour;
    const char* sequence;
};

constexpr ColourSequence kColourSequences[] = {
    {FOREGROUND_BLUE, "\x1b[34m"},
    {FOREGROUND_GREEN, "\x1b[32m"},
    {FOREGROUND_RED, "\x1b[31m"},
};

// Back to whatever the terminal had: the answer to every other attribute word.
constexpr const char* kResetSequence = "\x1b[0m";

// A terminal does not say which colours it shows; the Windows console's
// default word stands for "whatever it had", and writing it back resets.
constexpr ConsoleAttributes kTerminalDefault = FOREGROUND_BLUE | FOREGROUND_GREEN | FOREGROUND_RED;

void writeSequence(const char* sequence) {
    std::fputs(sequence, stdout);
    std::fflush(stdout);
}

}  // namespace

const bool kTextInputDropsCarriageReturn = false;

void clearScreen() {
    if (kOutputIsTerminal) writeSequence("\x1b[H\x1b[2J\x1b[3J");
}

ConsoleHandle getStdOutputHandle() { return kOutputIsTerminal ? stdout : nullptr; }

bool getConsoleScreenBufferInfo(ConsoleHandle console, ConsoleScreenBufferInfo* info) {
    if (!console) return false;
    info->wAttributes = kTerminalDefault;
    return true;
}

bool applyAttributes(ConsoleHandle console, ConsoleAttributes attributes) {
    if (!console) return false;
    const char* sequence = kResetSequence;
    for (const ColourSequence& known : kColourSequences)
        if (known.colour == attributes) sequence = known.sequence;
    writeSequence(sequence);
    return true;
}
