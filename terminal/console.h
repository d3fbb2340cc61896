// The console operations the shell needs from its platform: the five of a
// Windows console and one fact about text input. console.cpp does what every
// platform does alike; console_<platform>.cpp the rest (console_platform.h).
// Nothing above this header knows which platform it runs on.
#pragma once

#include <cstdint>

using ConsoleHandle = void*;
using ConsoleAttributes = std::uint16_t;

// The only field of the platform's screen-buffer record the shell reads.
struct ConsoleScreenBufferInfo {
    ConsoleAttributes wAttributes;
};

// True where the C runtime's text-mode input already turns CR LF into LF, so
// the line reader must not drop another CR.
extern const bool kTextInputDropsCarriageReturn;

// Flushes standard output, then clears the console window and homes the
// cursor, as the "cls" command does; nothing when the output is no console.
void clearConsole();

// The handle of the console that standard output writes to; one that every
// attribute call fails on when the output is no console.
ConsoleHandle getStdOutputHandle();

// Fills info with the attributes in force; false when the handle is no console.
bool getConsoleScreenBufferInfo(ConsoleHandle console, ConsoleScreenBufferInfo* info);

// Flushes standard output, then makes attributes apply to all text written
// after it; false (and no effect) when the handle is no console.
bool setConsoleTextAttribute(ConsoleHandle console, ConsoleAttributes attributes);

// Flushes standard output and ends the process with status.
[[noreturn]] void exitProcess(int status);
