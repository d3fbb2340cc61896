// The POSIX console: an ANSI terminal (console_ansi.cpp) when standard output
// is one. A process's standard output stays what it was at start.
#include <unistd.h>

#include "console_platform.h"

const bool kOutputIsTerminal = isatty(STDOUT_FILENO) == 1;
