// What each platform provides beneath the console operations of console.h.
// Standard output has been flushed before either is called.
#pragma once

#include "console.h"

// Clears the window and homes the cursor; nothing when the output is no console.
void clearScreen();

// Makes attributes apply to the text written after it; false when the handle
// is no console.
bool applyAttributes(ConsoleHandle console, ConsoleAttributes attributes);
