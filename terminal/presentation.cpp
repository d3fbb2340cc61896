#include "presentation.h"

#include <cstdio>

#include "banner.h"

ConsoleHandle hConsole = nullptr;
ConsoleScreenBufferInfo consoleInfo = {};
ConsoleAttributes saved_attributes = 0;

void init() {
    hConsole = getStdOutputHandle();
    getConsoleScreenBufferInfo(hConsole, &consoleInfo);
    saved_attributes = consoleInfo.wAttributes;
}

void writeText(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void writeInColour(Colour colour, std::string_view text) {
    setConsoleTextAttribute(hConsole, colour);
    writeText(text);
    setConsoleTextAttribute(hConsole, saved_attributes);
}

void banner() { writeInColour(FOREGROUND_GREEN, kBanner); }

void prompt() { writeInColour(FOREGROUND_GREEN, "kestiv's terminal ---> "); }

void somethingWrong() {
    writeInColour(FOREGROUND_RED, "Oh no, CRAAAAAAAAAAASH");
    exitProcess(-1);
}
