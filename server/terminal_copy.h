#pragma once
// The server's own copy of the terminal it runs: games start from it, so a
// terminal rebuilt or removed in place changes nothing until the server
// takes it again.
#include <string>

// Copies the program at `path` into a sealed file in memory and returns its
// descriptor (close-on-exec), or -1 with `problem` saying why: no such file,
// not executable, or no program of this machine's kind.
int copyTerminal(const std::string& path, std::string& problem);
