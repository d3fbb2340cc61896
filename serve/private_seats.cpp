#include "private_seats.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

void removeSeatsFolder(const std::string& folder) {
    int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
        return;
    }
    DIR* listing = fdopendir(descriptor);
    while (dirent* entry = readdir(listing)) {
        if (entry->d_name[0] != '.') {
            unlinkat(descriptor, entry->d_name, 0);
        }
    }
    closedir(listing);
    rmdir(folder.c_str());
}

}  // namespace

int serveWithPrivateSeats(char** command) {
    const char* temporary = std::getenv("TMPDIR");
    std::string pattern = std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") +
                          "/kestiv-seats.XXXXXX";
    std::vector<char> folder(pattern.begin(), pattern.end());
    folder.push_back('\0');
    if (mkdtemp(folder.data()) == nullptr) {
        std::fprintf(stderr, "kestiv-seat: cannot make a seats folder %s: %s\n", pattern.c_str(), std::strerror(errno));
        return 1;
    }
    setenv("KESTIV_SEATS", folder.data(), 1);
    sigset_t awaited;
    sigemptyset(&awaited);
    for (int signalNumber : {SIGCHLD, SIGHUP, SIGINT, SIGTERM}) {
        sigaddset(&awaited, signalNumber);
    }
    sigprocmask(SIG_BLOCK, &awaited, nullptr);
    pid_t server = fork();
    if (server == 0) {
        sigprocmask(SIG_UNBLOCK, &awaited, nullptr);
        execvp(command[0], command);
        std::fprintf(stderr, "kestiv-seat: cannot run %s: %s\n", command[0], std::strerror(errno));
        _exit(127);
    }
    int status = 1 << 8;
    while (server > 0) {
        int arrived = sigwaitinfo(&awaited, nullptr);
        if (arrived == SIGCHLD) {
            if (waitpid(server, &status, WNOHANG) == server) {
                break;
            }
        } else if (arrived > 0) {
            kill(server, arrived);
        }
    }
    removeSeatsFolder(folder.data());
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}
