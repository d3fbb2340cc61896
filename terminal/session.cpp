#include "session.h"

#include "fs/unpack.h"
#include "presentation.h"

void startSession() {
    clearConsole();
    init();
    banner();
    unpackFileSystem();
    prompt();
}

void endSession(SessionEnd end) {
    if (end == SessionEnd::crashed) somethingWrong();
    exitProcess(end == SessionEnd::inputEnded ? 0 : -1);
}
