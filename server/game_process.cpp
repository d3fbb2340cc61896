#include "game_process.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings.h"

namespace {

// What the terminal's child sends back when it could not become the game.
struct ChildFailure {
    int error = 0;
    bool lasting = false;
};

// Whether the terminal failed to run for a reason that stays: its file
// missing, not executable, or no program. Short of memory or processes, or
// a file being written, may pass.
bool lastingExecFailure(int error) {
    for (int lasting :
         {ENOENT, EACCES, EPERM, ENOEXEC, ENOTDIR, ELOOP, EISDIR, ENAMETOOLONG, ELIBBAD, EINVAL}) {
        if (error == lasting) {
            return true;
        }
    }
    return false;
}

int openPseudoTerminal(std::string& follower) {
    int controller = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (controller < 0) {
        return -1;
    }
    termios modes{};
    char* name = nullptr;
    if (grantpt(controller) != 0 || unlockpt(controller) != 0 ||
        (name = ptsname(controller)) == nullptr || tcgetattr(controller, &modes) != 0) {
        close(controller);
        return -1;
    }
    follower = name;
    // No translation of the output: the relay makes the line ends.
    cfmakeraw(&modes);
    tcsetattr(controller, TCSANOW, &modes);
    fcntl(controller, F_SETFL, fcntl(controller, F_GETFL) | O_NONBLOCK);
    return controller;
}

// Closes every descriptor from 3 on but the two kept (-1: none).
void closeAllBut(int kept, int alsoKept) {
    unsigned from = 3;
    for (int each : {std::min(kept, alsoKept), std::max(kept, alsoKept)}) {
        if (each >= static_cast<int>(from)) {
            if (static_cast<unsigned>(each) > from) {
                syscall(SYS_close_range, from, static_cast<unsigned>(each) - 1, 0U);
            }
            from = static_cast<unsigned>(each) + 1;
        }
    }
    syscall(SYS_close_range, from, ~0U, 0U);
}

// Sets the game's caps; one that cannot be set is named in the log.
bool applyLimits(const GameLimits& limits) {
    rlim_t memory = static_cast<rlim_t>(limits.memoryMiB) << 20;
    rlim_t cpu = static_cast<rlim_t>(limits.cpuSeconds);
    // The soft CPU limit's SIGXCPU tells that the cap ended the game; the
    // hard one, a second later, stops a game that ignores it.
    const struct {
        int resource;
        rlimit limit;
        const char* what;
    } caps[] = {
        {RLIMIT_AS, {memory, memory}, "the memory limit (KESTIV_GAME_MEMORY)"},
        {RLIMIT_CPU, {cpu, cpu + 1}, "the CPU-time limit (KESTIV_GAME_CPU_SECONDS)"},
        {RLIMIT_CORE, {0, 0}, "the core-file limit"},
    };
    for (const auto& cap : caps) {
        if (setrlimit(cap.resource, &cap.limit) != 0) {
            int error = errno;
            std::fprintf(stderr, "kestiv-seat: cannot set %s: %s\n", cap.what, std::strerror(error));
            errno = error;
            return false;
        }
    }
    return true;
}

// Runs the terminal's file while it is the one copied: its own name then
// names the process, which a copy's cannot.
void runTerminal(const std::string& terminal, const TerminalCopy& copy) {
    char* arguments[] = {const_cast<char*>(terminal.c_str()), nullptr};
    struct stat now {};
    if (copy.descriptor >= 0 &&
        (stat(terminal.c_str(), &now) != 0 || !sameTerminalFile(terminalFile(now), copy.file))) {
        syscall(SYS_execveat, copy.descriptor, "", arguments, environ, AT_EMPTY_PATH);
    } else {
        execv(terminal.c_str(), arguments);
    }
}

[[noreturn]] void becomeGame(pid_t server, const std::string& follower, int input,
                             const std::string& terminal, const TerminalCopy& copy,
                             const GameLimits& limits, int failures) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    ChildFailure failure;
    if (getppid() == server && setsid() >= 0) {
        // The first terminal a session leader opens becomes its controlling one.
        int opened = open(follower.c_str(), O_RDWR);
        if (opened >= 0 && dup2(input, STDIN_FILENO) >= 0 && dup2(opened, STDOUT_FILENO) >= 0) {
            // Nothing of the server's is the game's: only standard input,
            // output and error (the server's log).
            closeAllBut(failures, copy.descriptor);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            std::signal(SIGPIPE, SIG_DFL);
            if (applyLimits(limits)) {
                runTerminal(terminal, copy);
                failure.error = errno;
                failure.lasting = lastingExecFailure(failure.error);
                std::fprintf(stderr, "kestiv-seat: cannot run %s: %s\n", terminal.c_str(),
                             std::strerror(failure.error));
            }
        }
    }
    if (failure.error == 0) {
        failure.error = errno != 0 ? errno : EAGAIN;
    }
    if (write(failures, &failure, sizeof failure) != sizeof failure) {
        // The server is gone; nobody is left to tell.
    }
    _exit(127);
}

}  // namespace

GameStart startGame(const std::string& terminal, const TerminalCopy& copy, const GameLimits& limits,
                    RunningGame& game, std::string& problem) {
    std::string follower;
    int controller = openPseudoTerminal(follower);
    if (controller < 0) {
        problem = std::string("no pseudo-terminal for a game: ") + std::strerror(errno);
        return GameStart::failed;
    }
    // The terminal reads a pipe, as it reads a script's lines: every byte
    // reaches it as it is, and its closing is the end of the input.
    int input[2];
    // The child writes here why it did not become the game; a successful
    // exec closes it unwritten.
    int failures[2];
    if (pipe2(input, O_CLOEXEC) != 0) {
        problem = std::string("no pipe for a game: ") + std::strerror(errno);
        close(controller);
        return GameStart::failed;
    }
    if (pipe2(failures, O_CLOEXEC) != 0) {
        problem = std::string("no pipe for a game: ") + std::strerror(errno);
        for (int descriptor : {controller, input[0], input[1]}) {
            close(descriptor);
        }
        return GameStart::failed;
    }
    pid_t server = getpid();
    pid_t process = fork();
    if (process == 0) {
        becomeGame(server, follower, input[0], terminal, copy, limits, failures[1]);
    }
    int forkError = errno;
    close(failures[1]);
    close(input[0]);
    ChildFailure failure;
    bool failed = process > 0 && read(failures[0], &failure, sizeof failure) == sizeof failure;
    close(failures[0]);
    if (process < 0 || failed) {
        if (process > 0) {
            waitpid(process, nullptr, 0);
        }
        close(controller);
        close(input[1]);
        problem = std::string("cannot start a game: ") +
                  std::strerror(process < 0 ? forkError : failure.error);
        return failed && failure.lasting ? GameStart::unrunnable : GameStart::failed;
    }
    fcntl(input[1], F_SETFL, fcntl(input[1], F_GETFL) | O_NONBLOCK);
    game.process = process;
    game.pseudoTerminal = controller;
    game.input = input[1];
    return GameStart::started;
}

void endGameInput(RunningGame& game) {
    if (game.input >= 0) {
        close(game.input);
        game.input = -1;
    }
}

GameEnding terminalEnding(int status, const rusage& used, long cpuLimit) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status) == 0 ? GameEnding::inputEnded : GameEnding::leftOrCrashed;
    }
    long cpuUsed = used.ru_utime.tv_sec + used.ru_stime.tv_sec;
    int signalNumber = WTERMSIG(status);
    if (signalNumber == SIGXCPU || (signalNumber == SIGKILL && cpuUsed >= cpuLimit)) {
        return GameEnding::cpuCap;
    }
    // An allocation the memory cap refuses ends the terminal by std::terminate.
    if (signalNumber == SIGABRT) {
        return GameEnding::memoryCap;
    }
    return GameEnding::leftOrCrashed;
}

std::string endingMessage(GameEnding ending, const GameLimits& limits) {
    std::string message;
    switch (ending) {
    case GameEnding::timeUp:
        message = "Time is up: a game lasts at most " + describeDuration(limits.gameSeconds) + ".";
        break;
    case GameEnding::idle:
        message = "No input for " + describeDuration(limits.idleSeconds) + ": the game is over.";
        break;
    case GameEnding::cpuCap:
        message = "The game used all of its " + describeDuration(limits.cpuSeconds) +
                  " of CPU time: the game is over.";
        break;
    case GameEnding::memoryCap:
        message = "The game used all of its " + std::to_string(limits.memoryMiB) +
                  " MiB of memory: the game is over.";
        break;
    case GameEnding::shutdown: message = "The server is shutting down: the game is over."; break;
    default: return "";
    }
    return "\033[0m\n\n" + message + "\n";
}
