#include "fs/unpack.h"
#include "presentation.h"
#include "shell.h"

int main() {
    clearConsole();
    init();
    banner();
    unpackFileSystem();
    prompt();
    switch (runCommands(stdin)) {
        case SessionEnd::inputEnded: return 0;
        case SessionEnd::left: exitProcess(-1);
        case SessionEnd::crashed: somethingWrong();
    }
}
