// The colours the shell writes in, by name, with their console text attribute
// words (the Windows console's own values): the one place the words appear.
#pragma once

#include "console.h"

enum Colour : ConsoleAttributes {
    FOREGROUND_BLUE = 1,
    FOREGROUND_GREEN = 2,
    FOREGROUND_RED = 4,
};
