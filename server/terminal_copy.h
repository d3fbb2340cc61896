#pragma once
// The server's own copy of the terminal it runs: games start from it, so a
// terminal rebuilt or removed in place changes nothing until the server
// takes it again.
#include <sys/stat.h>
#include <cstdint>
#include <string>

// Which file a copy was taken from, as it was then.
struct TerminalFile {
    std::int64_t device = 0;
    std::int64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds
};

// A copy of the terminal, and where and what it was taken from.
struct TerminalCopy {
    std::string path;     // empty: no copy, games run the terminal they are given
    int descriptor = -1;  // a sealed file in memory, close-on-exec
    TerminalFile file;
};

// Copies the program at `path` into a sealed file in memory. Returns false,
// with `problem` saying why, when there is no such file, it is not
// executable, or it is no program of this machine's kind.
bool copyTerminal(const std::string& path, TerminalCopy& copy, std::string& problem);

// What the file at `status` is, to compare with a copy's TerminalFile.
TerminalFile terminalFile(const struct stat& status);

// Whether two are the same file unchanged.
bool sameTerminalFile(const TerminalFile& one, const TerminalFile& other);
