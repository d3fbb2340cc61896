#pragma once
// A server run without systemd: a seats folder of its own, and its games
// ended with a message when it is stopped.
#include <string>

// Unless KESTIV_SEATS names one, makes a fresh folder of mode 0700 under
// TMPDIR (or /tmp) and runs `command` with KESTIV_SEATS naming it; passes the
// signals that end a server on to its process group, waits for every game,
// and removes its own folder. Returns the command's exit status.
int serveWithPrivateSeats(char** command);
