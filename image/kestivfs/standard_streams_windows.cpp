#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include "standard_streams.h"

bool standardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void makeStandardOutputBinary() { _setmode(_fileno(stdout), _O_BINARY); }

void makeStandardInputBinary() { _setmode(_fileno(stdin), _O_BINARY); }
