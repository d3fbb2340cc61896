// Console operations over the Windows console API and the C runtime.
#include <windows.h>

#include <cstdlib>

#include "console_platform.h"

namespace {

// Decided once as the process starts: "cls" on a redirected output would
// write a form feed into it.
const bool kOutputIsConsole = [] {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}();

}  // namespace

// The runtime's text-mode standard input turns CR LF into LF itself.
const bool kTextInputDropsCarriageReturn = true;

void clearScreen() {
    if (kOutputIsConsole) std::system("cls");
}

ConsoleHandle getStdOutputHandle() { return GetStdHandle(STD_OUTPUT_HANDLE); }

bool getConsoleScreenBufferInfo(ConsoleHandle console, ConsoleScreenBufferInfo* info) {
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (!GetConsoleScreenBufferInfo(console, &screen)) return false;
    info->wAttributes = screen.wAttributes;
    return true;
}

bool applyAttributes(ConsoleHandle console, ConsoleAttributes attributes) {
    return SetConsoleTextAttribute(console, attributes) != 0;
}
