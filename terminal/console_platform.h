// What each platform provides beneath the console operations of console.h.
// Standard output has been flushed before either is called.
#pragma once

#include "console.h"

// Whether standard output is a terminal, decided once as the process starts
// by the platform (console_posix.cpp, console_web.cpp); an ANSI console
// (console_ansi.cpp) writes its sequences only then.
extern const bool kOutputIsTerminal;

// Clears the window and homes the cursor; nothing when the output is no console.
void clearScreen();

// Makes attributes apply to the text written after it; false when the handle
// is no console.
bool applyAttributes(ConsoleHandle console, ConsoleAttributes attributes);
