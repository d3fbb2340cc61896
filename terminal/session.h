// A game from the first clear to the end of the process, in the pieces that
// every entry point (the console's loop, the browser page's calls) shares.
#pragma once

#include "shell.h"

// Clears the console, captures it, shows the banner, unpacks the tree and
// writes the first prompt; a bad image ends the process here.
void startSession();

// Ends the process as end says: status 0 when input ended, -1 when the
// player left, the crash path after a failure.
[[noreturn]] void endSession(SessionEnd end);
