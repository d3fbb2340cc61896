// The browser page's entry. A page cannot block on a read, so main starts the
// game and returns to the page with the runtime kept alive; the page then
// hands over input as it comes, each Enter's line or a whole script at once,
// and the same command loop as the console's runs over it.
#include <emscripten.h>

#include <cstddef>
#include <cstdio>

#include "session.h"

int main() {
    startSession();
    emscripten_exit_with_live_runtime();
}

// Carries out the complete lines in bytes; a last line without a line end
// counts, as at the end of a console's input. Ends the program when a line
// ends the game. Everything written has reached standard output's device.
extern "C" EMSCRIPTEN_KEEPALIVE void enterInput(char* bytes, std::size_t size) {
    if (size == 0) return;
    std::FILE* input = fmemopen(bytes, size, "r");
    const SessionEnd end = runCommands(input);
    std::fclose(input);
    if (end != SessionEnd::inputEnded) endSession(end);
    std::fflush(stdout);
}

// The player ended input: the program ends with status 0.
extern "C" EMSCRIPTEN_KEEPALIVE void endInput() { endSession(SessionEnd::inputEnded); }
