#include <cstdio>

#include "session.h"

int main() {
    startSession();
    endSession(runCommands(stdin));
}
