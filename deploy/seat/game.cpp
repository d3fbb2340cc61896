#include "game.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "seats.h"

namespace {

const std::string fullMessage =
    "kestiv's terminal is full just now: all its games are being played. Try again in a few minutes.\r\n";
const std::string cannotStartMessage =
    "kestiv's terminal cannot start a game just now. Try again later.\r\n";

// socat takes a game's command line up to a comma and splits it at spaces.
bool safeForSocat(const std::string& path) {
    return !path.empty() && path.find_first_not_of(
                                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                "0123456789/._+-") == std::string::npos;
}

void say(int descriptor, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        ssize_t now = write(descriptor, text.data() + written, text.size() - written);
        if (now < 0 && errno == EINTR) {
            continue;
        }
        if (now <= 0) {
            return;
        }
        written += static_cast<size_t>(now);
    }
}

// Closing a connection with bytes of the player's still unread would send a
// reset, and a reset may overtake the game's last output. So the sending side
// is ended first, and what the player still sends is read and dropped for a
// while.
void endConnection(std::chrono::milliseconds drainFor) {
    if (shutdown(STDOUT_FILENO, SHUT_WR) != 0) {
        return;
    }
    auto deadline = std::chrono::steady_clock::now() + drainFor;
    char discarded[1 << 14];
    for (long drained = 0; drained < (16L << 20);) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd connection{STDIN_FILENO, POLLIN, 0};
        if (left.count() <= 0 || poll(&connection, 1, static_cast<int>(left.count())) <= 0) {
            return;
        }
        ssize_t got = read(STDIN_FILENO, discarded, sizeof discarded);
        if (got <= 0) {
            return;
        }
        drained += got;
    }
}

int turnAway(const std::string& message) {
    say(STDOUT_FILENO, message);
    endConnection(std::chrono::seconds(1));
    return 0;
}

int cannotStart(const std::string& reason) {
    std::fprintf(stderr, "kestiv-seat: %s\n", reason.c_str());
    return turnAway(cannotStartMessage);
}

bool applyLimits(const GameSettings& settings, std::string& problem) {
    struct Limit {
        int resource;
        rlim_t value;
        const char* what;
    };
    const Limit limits[] = {
        {RLIMIT_AS, static_cast<rlim_t>(settings.gameMemoryMiB) << 20,
         "the memory limit (KESTIV_GAME_MEMORY)"},
        {RLIMIT_CPU, static_cast<rlim_t>(settings.gameCpuSeconds),
         "the CPU-time limit (KESTIV_GAME_CPU_SECONDS)"},
        {RLIMIT_CORE, 0, "the core-file limit"},
    };
    for (const Limit& limit : limits) {
        rlimit both{limit.value, limit.value};
        if (setrlimit(limit.resource, &both) != 0) {
            problem = std::string("cannot set ") + limit.what + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

// Milliseconds since the game last sent the player anything, or -1 when the
// connection is no TCP connection and cannot tell.
long millisecondsSinceOutput(int connection) {
    tcp_info info{};
    socklen_t size = sizeof info;
    if (getsockopt(connection, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) {
        return -1;
    }
    return info.tcpi_last_data_sent;
}

void sayWithoutWaiting(int descriptor, const std::string& text) {
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) | O_NONBLOCK);
    say(descriptor, text);
}

// KESTIV_SEATS is taken as it is: a link there is refused. systemd's runtime
// folder of a dynamic user is a link it made itself, in a folder only root
// may change, so that one is followed.
std::string givenSeatsFolder() {
    const char* given = std::getenv("KESTIV_SEATS");
    if (given != nullptr && *given != '\0') {
        return given;
    }
    given = std::getenv("RUNTIME_DIRECTORY");
    if (given == nullptr || *given == '\0') {
        return "";
    }
    char resolved[PATH_MAX];
    return realpath(given, resolved) != nullptr ? resolved : given;
}

// The keeper writes its process id here for the seat, which hands it a
// stopping server's signal.
constexpr int keeperPidDescriptor = 4;

sigset_t keptSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signalNumber : {SIGCHLD, SIGHUP, SIGTERM, SIGINT}) {
        sigaddset(&signals, signalNumber);
    }
    return signals;
}

}  // namespace

int seatAndRunGame(const std::string& self, const std::string& terminal) {
    std::signal(SIGPIPE, SIG_IGN);
    GameSettings settings{};
    std::string problem;
    if (!readGameSettings(settings, problem)) {
        return cannotStart(problem);
    }
    if (!safeForSocat(self) || !safeForSocat(terminal)) {
        return cannotStart(
            "the paths of kestiv-seat and of the terminal may hold only letters, digits and / . _ + -");
    }
    std::string seats = givenSeatsFolder();
    if (seats.empty()) {
        return cannotStart("no seats folder: KESTIV_SEATS is not set, nor systemd's RUNTIME_DIRECTORY");
    }
    int seat = -1;
    switch (takeSeat(seats, settings.games, settings.gamesPerAddress, peerAddress(), seat, problem)) {
    case SeatOutcome::full: return turnAway(fullMessage);
    case SeatOutcome::addressFull:
        return turnAway(
            "kestiv's terminal plays at most " + std::to_string(settings.gamesPerAddress) +
            " games at once with one address, and yours has them all. Try again when one is over.\r\n");
    case SeatOutcome::broken: return cannotStart(problem);
    case SeatOutcome::taken: break;
    }
    if (!applyLimits(settings, problem)) {
        return cannotStart(problem);
    }
    // The game's keeper outlives socat when socat is cut off; as the keeper's
    // reaper this process ends only after the whole game.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::string idle = std::to_string(settings.idleSeconds);
    std::string keeper = "EXEC:" + self + " --play " + std::to_string(settings.gameSeconds) + " " +
                         idle + " " + terminal + ",pty,setsid,ctty";
    // socat's own inactivity limit only backs up the keeper's, for a player
    // who reads nothing and so leaves socat waiting to write.
    std::string socatIdle = std::to_string(settings.idleSeconds + 30);
    int keeperPid[2];
    if (pipe2(keeperPid, O_CLOEXEC) != 0) {
        return cannotStart(std::string("cannot start the game: ") + std::strerror(errno));
    }
    sigset_t awaited = keptSignals();
    sigprocmask(SIG_BLOCK, &awaited, nullptr);
    pid_t relay = fork();
    if (relay == 0) {
        sigprocmask(SIG_UNBLOCK, &awaited, nullptr);
        std::signal(SIGPIPE, SIG_DFL);
        // A server stopping signals its whole process group; the relay must
        // outlive the keeper to carry its last words.
        setpgid(0, 0);
        if (keeperPid[1] == keeperPidDescriptor) {
            fcntl(keeperPidDescriptor, F_SETFD, 0);
        } else {
            dup2(keeperPid[1], keeperPidDescriptor);
        }
        dup2(STDIN_FILENO, 3);
        execlp("socat", "socat", "-u", "-T", socatIdle.c_str(), keeper.c_str(), "STDOUT", nullptr);
        std::fprintf(stderr, "kestiv-seat: cannot run socat: %s\n", std::strerror(errno));
        _exit(127);
    }
    close(keeperPid[1]);
    if (relay < 0) {
        return cannotStart(std::string("cannot start the game: ") + std::strerror(errno));
    }
    pid_t keeperProcess = 0;
    if (read(keeperPid[0], &keeperProcess, sizeof keeperProcess) != sizeof keeperProcess) {
        keeperProcess = 0;
    }
    close(keeperPid[0]);
    // The keeper runs in a session of its own, out of the server's reach: a
    // stopping server's signal is handed on to it, so that it ends the game
    // with a message.
    for (;;) {
        int arrived = sigwaitinfo(&awaited, nullptr);
        if (arrived == SIGCHLD) {
            pid_t reaped = 0;
            while ((reaped = waitpid(-1, nullptr, WNOHANG)) > 0) {
            }
            if (reaped < 0 && errno == ECHILD) {
                break;
            }
        } else if (arrived > 0 && keeperProcess > 0) {
            kill(keeperProcess, SIGTERM);
        }
    }
    close(seat);
    endConnection(std::chrono::seconds(2));
    return 0;
}

int playGame(long gameSeconds, long idleSeconds, const std::string& terminal) {
    pid_t self = getpid();
    if (write(keeperPidDescriptor, &self, sizeof self) == sizeof self) {
        close(keeperPidDescriptor);
    }
    sigset_t awaited = keptSignals();
    sigprocmask(SIG_BLOCK, &awaited, nullptr);
    pid_t game = fork();
    if (game == 0) {
        sigprocmask(SIG_UNBLOCK, &awaited, nullptr);
        dup2(3, STDIN_FILENO);
        close(3);
        execl(terminal.c_str(), terminal.c_str(), nullptr);
        std::fprintf(stderr, "kestiv-seat: cannot run %s: %s\n", terminal.c_str(), std::strerror(errno));
        _exit(127);
    }
    using namespace std::chrono;
    const auto started = steady_clock::now();
    const auto gameEnd = started + seconds(gameSeconds);
    const milliseconds idleLimit = seconds(idleSeconds);
    std::string ending;
    while (ending.empty()) {
        auto now = steady_clock::now();
        milliseconds sinceStart = duration_cast<milliseconds>(now - started);
        long sinceOutput = millisecondsSinceOutput(3);
        milliseconds quiet =
            sinceOutput < 0 ? milliseconds(0) : std::min(sinceStart, milliseconds(sinceOutput));
        milliseconds wait = std::min(duration_cast<milliseconds>(gameEnd - now),
                                     sinceOutput < 0 ? idleLimit : idleLimit - quiet);
        if (now >= gameEnd) {
            ending = "\033[0m\n\nTime is up: a game lasts at most " + describeDuration(gameSeconds) + ".\n";
            break;
        }
        if (sinceOutput >= 0 && quiet >= idleLimit) {
            ending = "\033[0m\n\nNo input for " + describeDuration(idleSeconds) + ": the game is over.\n";
            break;
        }
        wait = std::max(wait, milliseconds(10));
        timespec timeout{wait.count() / 1000, (wait.count() % 1000) * 1000000};
        int arrived = sigtimedwait(&awaited, nullptr, &timeout);
        if (arrived == SIGCHLD && waitpid(game, nullptr, WNOHANG) == game) {
            return 0;
        }
        if (arrived == SIGTERM) {
            ending = "\033[0m\n\nThe server is shutting down: the game is over.\n";
            break;
        }
        if (arrived == SIGHUP || arrived == SIGINT) {
            // socat is gone, and with it the way to the player.
            break;
        }
    }
    kill(game, SIGKILL);
    waitpid(game, nullptr, 0);
    sayWithoutWaiting(STDOUT_FILENO, ending);
    return 0;
}
