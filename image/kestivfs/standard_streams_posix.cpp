#include <unistd.h>

#include "standard_streams.h"

bool standardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void makeStandardOutputBinary() {}

void makeStandardInputBinary() {}
