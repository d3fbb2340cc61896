#include "terminal_copy.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

bool isElf(int descriptor) {
    char magic[4] = {};
    return pread(descriptor, magic, sizeof magic, 0) == sizeof magic && std::memcmp(magic,
                                                                                    "\x7f"
                                                                                    "ELF",
                                                                                    sizeof magic) == 0;
}

bool copyAll(int from, int to, off_t size) {
    off_t offset = 0;
    while (offset < size) {
        ssize_t copied = sendfile(to, from, &offset, static_cast<size_t>(size - offset));
        if (copied <= 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

}  // namespace

TerminalFile terminalFile(const struct stat& status) {
    return {static_cast<std::int64_t>(status.st_dev), static_cast<std::int64_t>(status.st_ino),
            static_cast<std::int64_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

bool sameTerminalFile(const TerminalFile& one, const TerminalFile& other) {
    return one.device == other.device && one.inode == other.inode && one.size == other.size &&
           one.modified == other.modified;
}

bool copyTerminal(const std::string& path, TerminalCopy& made, std::string& problem) {
    int original = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (original < 0 || fstat(original, &status) != 0) {
        problem = "cannot read the terminal " + path + ": " + std::strerror(errno);
        if (original >= 0) {
            close(original);
        }
        return false;
    }
    // Only a program can be started from a copy: a script's interpreter
    // would look for it by a name that no other process can open.
    if (!S_ISREG(status.st_mode) || access(path.c_str(), X_OK) != 0 || !isElf(original)) {
        problem = "the terminal " + path + " is no program that can be run";
        close(original);
        return false;
    }
    int copy = memfd_create("kestiv-terminal", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    bool copied =
        copy >= 0 && fchmod(copy, 0555) == 0 && copyAll(original, copy, status.st_size) &&
        fcntl(copy, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0;
    int error = errno;
    close(original);
    if (!copied) {
        problem = "cannot copy the terminal " + path + ": " + std::strerror(error);
        if (copy >= 0) {
            close(copy);
        }
        return false;
    }
    made = {path, copy, terminalFile(status)};
    return true;
}
