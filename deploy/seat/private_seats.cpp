#include "private_seats.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    const char* given = std::getenv("KESTIV_SEATS");
    bool ownFolder = given == nullptr || *given == '\0';
    const char* temporary = std::getenv("TMPDIR");
    std::string pattern = std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") +
                          "/kestiv-seats.XXXXXX";
    std::vector<char> folder(pattern.begin(), pattern.end());
    folder.push_back('\0');
    if (ownFolder && mkdtemp(folder.data()) == nullptr) {
        std::fprintf(stderr, "kestiv-seat: cannot make a seats folder %s: %s\n", pattern.c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (ownFolder) {
        setenv("KESTIV_SEATS", folder.data(), 1);
    }
    // The games outlive the server's socat, which leaves them when it is
    // stopped: this process waits for every one of them before it ends.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    sigset_t awaited;
    sigemptyset(&awaited);
    for (int signalNumber : {SIGCHLD, SIGHUP, SIGINT, SIGTERM}) {
        sigaddset(&awaited, signalNumber);
    }
    sigprocmask(SIG_BLOCK, &awaited, nullptr);
    pid_t server = fork();
    if (server == 0) {
        sigprocmask(SIG_UNBLOCK, &awaited, nullptr);
        setpgid(0, 0);
        execvp(command[0], command);
        std::fprintf(stderr, "kestiv-seat: cannot run %s: %s\n", command[0], std::strerror(errno));
        _exit(127);
    }
    if (server < 0) {
        std::fprintf(stderr, "kestiv-seat: cannot run %s: %s\n", command[0], std::strerror(errno));
        return 1;
    }
    setpgid(server, server);
    // A stopping signal goes to the server's whole process group, so that
    // every seat passes it on to its game's keeper.
    int status = 1 << 8;
    for (;;) {
        int arrived = sigwaitinfo(&awaited, nullptr);
        if (arrived == SIGCHLD) {
            pid_t reaped = 0;
            int reapedStatus = 0;
            while ((reaped = waitpid(-1, &reapedStatus, WNOHANG)) > 0) {
                if (reaped == server) {
                    status = reapedStatus;
                }
            }
            if (reaped < 0 && errno == ECHILD) {
                break;
            }
        } else if (arrived > 0) {
            kill(-server, arrived);
        }
    }
    if (ownFolder) {
        removeSeatsFolder(folder.data());
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}
