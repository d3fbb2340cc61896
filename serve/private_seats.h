#pragma once
// A seats folder of one server's own, for a server run without systemd.
#include <string>

// Makes a fresh folder of mode 0700 under TMPDIR (or /tmp), runs `command`
// with KESTIV_SEATS naming it, passes on the signals that end a server, and
// removes the folder once the command has ended. Returns its exit status.
int serveWithPrivateSeats(char** command);
