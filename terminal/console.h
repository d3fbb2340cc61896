// The five platform operations the shell needs from its console. Each
// platform implements them in its own console_<platform>.cpp; nothing above
// this header knows which platform it runs on.
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

// Clears the console window and homes the cursor, as the "cls" command does.
void clearConsole();

// The handle of the console that standard output writes to.
ConsoleHandle getStdOutputHandle();

// Fills info with the attributes in force; false when the handle is no console.
bool getConsoleScreenBufferInfo(ConsoleHandle console, ConsoleScreenBufferInfo* info);

// Flushes standard output, then makes attributes apply to all text written
// after it; false (and no effect) when the handle is no console.
bool setConsoleTextAttribute(ConsoleHandle console, ConsoleAttributes attributes);

// Flushes standard output and ends the process with status.
[[noreturn]] void exitProcess(int status);
