// The browser page's console: an ANSI terminal (console_ansi.cpp) when the
// page that starts the program says it shows one, as its terminal widget
// does; a test that compares with redirected native output says it does not.
#include <emscripten.h>

#include "console_platform.h"

EM_JS(bool, pageShowsTerminal, (), { return !!Module['outputIsTerminal']; });

const bool kOutputIsTerminal = pageShowsTerminal();
