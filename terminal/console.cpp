// The part of the console operations that is the same on every platform: text
// written so far reaches the console before it is cleared or recoloured.
#include <cstdio>
#include <cstdlib>

#include "console_platform.h"

void clearConsole() {
    std::fflush(stdout);
    clearScreen();
}

bool setConsoleTextAttribute(ConsoleHandle console, ConsoleAttributes attributes) {
    std::fflush(stdout);
    return applyAttributes(console, attributes);
}

// The runtime's exit flushes and closes every C stream.
void exitProcess(int status) { std::exit(status); }
