// Console presentation: the captured attributes, the colours, the banner, the
// prompt and the one crash path.
#pragma once

#include <string_view>

#include "colour.h"
#include "console.h"

extern ConsoleHandle hConsole;
extern ConsoleScreenBufferInfo consoleInfo;
extern ConsoleAttributes saved_attributes;

// Captures the output handle and the attributes in force; failures are ignored.
void init();

// Writes text whole (NUL bytes included) to standard output.
void writeText(std::string_view text);

// Writes text in colour, then restores saved_attributes.
void writeInColour(Colour colour, std::string_view text);

void banner();
void prompt();

// The crash path: red "Oh no, CRAAAAAAAAAAASH", attributes restored, status -1.
[[noreturn]] void somethingWrong();
