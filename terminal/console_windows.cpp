// Console operations over the Windows console API and the C runtime.
#include "console.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

// The runtime's text-mode standard input turns CR LF into LF itself.
const bool kTextInputDropsCarriageReturn = true;

void clearConsole() {
    std::fflush(stdout);
    std::system("cls");
}

ConsoleHandle getStdOutputHandle() { return GetStdHandle(STD_OUTPUT_HANDLE); }

bool getConsoleScreenBufferInfo(ConsoleHandle console, ConsoleScreenBufferInfo* info) {
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (!GetConsoleScreenBufferInfo(console, &screen)) return false;
    info->wAttributes = screen.wAttributes;
    return true;
}

bool setConsoleTextAttribute(ConsoleHandle console, ConsoleAttributes attributes) {
    std::fflush(stdout);
    return SetConsoleTextAttribute(console, attributes) != 0;
}

void exitProcess(int status) {
    std::fflush(stdout);
    std::exit(status);
}
