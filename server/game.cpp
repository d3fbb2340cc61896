#include "game.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "channel.h"
#include "keeper_socket.h"
#include "proxy_header.h"
#include "serve.h"
#include "settings.h"

namespace {

const std::string cannotStartLine = "kestiv's terminal cannot start a game just now. Try again later.";
const std::string cannotStartMessage = cannotStartLine + "\r\n";
const std::string keeperGoneMessage =
    "kestiv's terminal has stopped while you waited. Try again in a few minutes.\r\n";
const std::string shutdownMessage = "The server is shutting down: the game is over.\r\n";
// What a page reads last from a server that ended the connection, rather
// than lost it: an APC string, which terminals ignore.
const std::string bridgeEndMark = "\x1b_kestiv-end\x1b\\";
const std::string badProxyHeaderMessage =
    "kestiv's terminal takes its players only through the contest's own address. Connect to "
    "that one.\r\n";

// A proxy sends its header at once: a connection that has not within this
// time is no proxy's.
constexpr int proxyHeaderMilliseconds = 5000;
// The longest answer to a proof-of-work challenge that is read, line end
// included: enough for any answer, and no more of the player's bytes.
constexpr size_t longestAnswer = 80;
// How long the keeper may take to greet a new seat, however busy.
constexpr int keeperGreetingMilliseconds = 30000;
// Where the referee tells the seat its process id, then how the game ended.
constexpr int refereeDescriptor = 4;

// Nothing of the server's is the game's: no listening socket of socat, no
// channel, only standard input, output and error.
void closeInherited() { syscall(SYS_close_range, 3U, ~0U, 0U); }

// As closeInherited, but `kept` stays open when it is a descriptor above 2.
void closeInheritedBut(int kept) {
    if (kept < 3) {
        closeInherited();
        return;
    }
    syscall(SYS_close_range, 3U, static_cast<unsigned>(kept) - 1, 0U);
    syscall(SYS_close_range, static_cast<unsigned>(kept) + 1, ~0U, 0U);
}

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

// A line for a player who may read nothing: dropped rather than waited on
// when the connection holds all it can.
void sayIfRoom(const std::string& text) {
    pollfd output{STDOUT_FILENO, POLLOUT, 0};
    if (poll(&output, 1, 0) == 1 && (output.revents & POLLOUT)) {
        say(STDOUT_FILENO, text);
    }
}

// Whether the connection is a browser bridge's: pipes, not a socket, with the
// player's address in REMOTE_ADDR, as websocketd runs its programs.
bool onBridge() {
    struct stat input {};
    return fstat(STDIN_FILENO, &input) == 0 && !S_ISSOCK(input.st_mode) &&
           std::getenv("REMOTE_ADDR") != nullptr;
}

// Closing a connection with bytes of the player's still unread would send a
// reset, and a reset may overtake the game's last output. So the sending side
// is ended first, and what the player still sends is read and dropped for a
// while; `channel`, the seat, is let go before that.
// websocketd drops a page's WebSocket without a closing handshake as soon as
// the output ends, as a lost connection ends, and Firefox takes one dropped
// right after it opened for one never made. There the end mark goes last
// instead, and the page, which closes when it reads it, ends the connection;
// websocketd then closes the input. The seat is let go when this process
// ends, so a server that stops, and ends the bridge when its last seat is let
// go, cuts no game's last words.
void endConnection(std::chrono::milliseconds drainFor, int channel) {
    if (onBridge()) {
        sayIfRoom(bridgeEndMark);
    } else {
        if (channel >= 0) {
            close(channel);
        }
        if (shutdown(STDOUT_FILENO, SHUT_WR) != 0) {
            return;
        }
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
    endConnection(std::chrono::seconds(1), -1);
    return 0;
}

int cannotStart(const std::string& reason) {
    std::fprintf(stderr, "kestiv-seat: %s\n", reason.c_str());
    return turnAway(cannotStartMessage);
}

// Whether the player has gone: their side closed with nothing of theirs
// unread, as a connect-and-close flood leaves every connection it makes.
bool playerGone() {
    pollfd connection{STDIN_FILENO, POLLRDHUP, 0};
    if (poll(&connection, 1, 0) != 1) {
        return false;
    }
    if (connection.revents & (POLLERR | POLLNVAL)) {
        return true;
    }
    int unread = 0;
    return ioctl(STDIN_FILENO, FIONREAD, &unread) == 0 && unread == 0;
}

bool awaitMessage(int channel, Message& message, int milliseconds) {
    pollfd keeper{channel, POLLIN, 0};
    return poll(&keeper, 1, milliseconds) == 1 && receiveMessage(channel, message);
}

// The player's address: the connection's peer; for a connection that is no
// socket, such as a bridge's pipes, the address the bridge gives.
PlayerAddress connectionAddress() {
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (getpeername(STDIN_FILENO, reinterpret_cast<sockaddr*>(&peer), &size) == 0) {
        return addressOfPeer(reinterpret_cast<sockaddr*>(&peer), size);
    }
    PlayerAddress address;
    if (onBridge()) {
        parsePlayerAddress(std::getenv("REMOTE_ADDR"), address);
    }
    return address;
}

// Reads the PROXY header, exactly its bytes, within a short time. Returns
// false when the connection brings none.
bool readProxyAddress(PlayerAddress& address) {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(proxyHeaderMilliseconds);
    std::string received;
    for (;;) {
        ProxyHeader header = readProxyHeader(received);
        if (header.state == ProxyHeaderState::invalid) {
            return false;
        }
        if (header.state == ProxyHeaderState::complete) {
            address = header.ownAddress ? connectionAddress() : header.source;
            return true;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd connection{STDIN_FILENO, POLLIN, 0};
        if (left.count() <= 0 || poll(&connection, 1, static_cast<int>(left.count())) != 1) {
            return false;
        }
        char bytes[2048];
        ssize_t got = read(STDIN_FILENO, bytes, std::min(header.more, sizeof bytes));
        if (got <= 0) {
            return false;
        }
        received.append(bytes, static_cast<size_t>(got));
    }
}

bool applyLimits(const Message& hello, std::string& problem) {
    struct Limit {
        int resource;
        rlim_t soft;
        rlim_t hard;
        const char* what;
    };
    rlim_t memory = static_cast<rlim_t>(hello.numbers[memoryMiB]) << 20;
    rlim_t cpu = static_cast<rlim_t>(hello.numbers[cpuSeconds]);
    // The soft CPU limit's SIGXCPU tells the referee that the cap ended the
    // game; the hard one, a second later, stops a game that ignores it.
    const Limit limits[] = {
        {RLIMIT_AS, memory, memory, "the memory limit (KESTIV_GAME_MEMORY)"},
        {RLIMIT_CPU, cpu, cpu + 1, "the CPU-time limit (KESTIV_GAME_CPU_SECONDS)"},
        {RLIMIT_CORE, 0, 0, "the core-file limit"},
    };
    for (const Limit& limit : limits) {
        rlimit both{limit.soft, limit.hard};
        if (setrlimit(limit.resource, &both) != 0) {
            problem = std::string("cannot set ") + limit.what + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

sigset_t keptSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signalNumber : {SIGCHLD, SIGHUP, SIGTERM, SIGINT}) {
        sigaddset(&signals, signalNumber);
    }
    return signals;
}

enum class Wait { play, over };

// The player waits for a seat, proves their work when asked, or is let go.
// A stopping signal (systemd stopping the game's unit) lets them go with the
// server's words.
Wait waitForSeat(int channel, int signals) {
    bool proving = false;
    bool inputEnded = false;
    std::string answer;
    for (;;) {
        pollfd watched[3] = {{channel, POLLIN, 0},
                             {inputEnded && !proving ? -1 : STDIN_FILENO,
                              static_cast<short>(proving ? POLLIN : POLLRDHUP), 0},
                             {signals, POLLIN, 0}};
        if (poll(watched, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Wait::over;
        }
        if (watched[2].revents != 0) {
            say(STDOUT_FILENO, shutdownMessage);
            return Wait::over;
        }
        if (watched[0].revents != 0) {
            Message message;
            if (!receiveMessage(channel, message)) {
                say(STDOUT_FILENO, keeperGoneMessage);
                return Wait::over;
            }
            switch (message.note) {
            case Note::play: return Wait::play;
            case Note::wait: sayIfRoom(message.text); break;
            case Note::prove:
                say(STDOUT_FILENO, message.text);
                proving = true;
                break;
            case Note::away:
            case Note::shutdown: say(STDOUT_FILENO, message.text); return Wait::over;
            default: break;
            }
            continue;
        }
        if (proving && (watched[1].revents & POLLIN)) {
            // One byte at a time: the bytes after the answer's line are the game's.
            char byte;
            if (read(STDIN_FILENO, &byte, 1) != 1) {
                return Wait::over;
            }
            if (byte != '\n' && answer.size() < longestAnswer) {
                answer += byte;
                continue;
            }
            if (!answer.empty() && answer.back() == '\r') {
                answer.pop_back();
            }
            Message reply;
            reply.note = Note::answer;
            reply.text = answer;
            sendMessage(channel, reply);
            proving = false;
            continue;
        }
        if (watched[1].revents & (POLLERR | POLLNVAL)) {
            return Wait::over;  // the player left; the channel's closing tells the keeper
        }
        if (watched[1].revents & (POLLRDHUP | POLLHUP)) {
            // A player who sent their lines and then ended their input, as
            // a script may, keeps their place: the game reads the lines.
            int unread = 0;
            if (ioctl(STDIN_FILENO, FIONREAD, &unread) != 0 || unread == 0) {
                return Wait::over;
            }
            inputEnded = true;
        }
    }
}

// Runs the game under socat and waits for every process of it. Returns how
// it ended.
GameEnding runGame(int channel, int signals, const Message& hello, const std::string& self,
                   const std::string& terminal) {
    long idle = hello.numbers[idleSeconds];
    std::string referee =
        "EXEC:" + self + " --play " + std::to_string(hello.numbers[gameSeconds]) + " " +
        std::to_string(idle) + " " + std::to_string(hello.numbers[cpuSeconds]) + " " +
        std::to_string(hello.numbers[memoryMiB]) + " " + terminal + ",pty,setsid,ctty";
    // socat's own inactivity limit only backs up the referee's, for a player
    // who reads nothing and so leaves socat waiting to write.
    std::string socatIdle = std::to_string(idle + 30);
    int fromReferee[2];
    if (pipe2(fromReferee, O_CLOEXEC) != 0) {
        return GameEnding::unknown;
    }
    sigset_t awaited = keptSignals();
    pid_t relay = fork();
    if (relay == 0) {
        sigprocmask(SIG_UNBLOCK, &awaited, nullptr);
        std::signal(SIGPIPE, SIG_DFL);
        // A server stopping signals its whole process group; the relay must
        // outlive the referee to carry its last words.
        setpgid(0, 0);
        dup2(fromReferee[1], refereeDescriptor);
        dup2(STDIN_FILENO, 3);
        execlp("socat", "socat", "-u", "-T", socatIdle.c_str(), referee.c_str(), "STDOUT", nullptr);
        std::fprintf(stderr, "kestiv-seat: cannot run socat: %s\n", std::strerror(errno));
        _exit(127);
    }
    close(fromReferee[1]);
    if (relay < 0) {
        close(fromReferee[0]);
        return GameEnding::unknown;
    }
    pid_t refereeProcess = 0;
    if (read(fromReferee[0], &refereeProcess, sizeof refereeProcess) != sizeof refereeProcess) {
        refereeProcess = 0;
    }
    GameEnding ending = GameEnding::unknown;
    // The referee runs in a session of its own, out of the server's reach:
    // the keeper's word or a stopping signal is handed on to it, so that it
    // ends the game with a message.
    for (bool reaped = false; !reaped;) {
        pollfd watched[3] = {{signals, POLLIN, 0}, {fromReferee[0], POLLIN, 0}, {channel, POLLIN, 0}};
        if (poll(watched, 3, -1) < 0 && errno != EINTR) {
            break;
        }
        if (watched[2].revents != 0) {
            Message message;
            if (!receiveMessage(channel, message)) {
                // The keeper is gone: the game plays on under its own limits.
                close(channel);
                channel = -1;
            } else if (message.note == Note::shutdown && refereeProcess > 0) {
                kill(refereeProcess, SIGTERM);
            }
        }
        if (watched[1].revents != 0) {
            std::uint8_t told = 0;
            if (read(fromReferee[0], &told, 1) == 1 &&
                told < static_cast<std::uint8_t>(GameEnding::count)) {
                ending = static_cast<GameEnding>(told);
            } else {
                close(fromReferee[0]);
                fromReferee[0] = -1;
            }
        }
        signalfd_siginfo arrived{};
        if (watched[0].revents != 0 && read(signals, &arrived, sizeof arrived) == sizeof arrived) {
            if (arrived.ssi_signo == SIGCHLD) {
                pid_t child = 0;
                while ((child = waitpid(-1, nullptr, WNOHANG)) > 0) {
                }
                reaped = child < 0 && errno == ECHILD;
            } else if (refereeProcess > 0) {
                kill(refereeProcess, SIGTERM);
            }
        }
    }
    if (fromReferee[0] >= 0) {
        std::uint8_t told = 0;
        if (read(fromReferee[0], &told, 1) == 1 && told < static_cast<std::uint8_t>(GameEnding::count)) {
            ending = static_cast<GameEnding>(told);
        }
        close(fromReferee[0]);
    }
    return ending == GameEnding::unknown ? GameEnding::playerGone : ending;
}

// Bytes the game's terminal has written so far, from /proc: how idleness is
// told on a connection that is no TCP socket.
long bytesWritten(pid_t game) {
    std::ifstream io("/proc/" + std::to_string(game) + "/io");
    std::string field;
    long value = -1;
    while (io >> field >> value) {
        if (field == "wchar:") {
            return value;
        }
    }
    return -1;
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

void tellSeat(GameEnding ending) {
    std::uint8_t told = static_cast<std::uint8_t>(ending);
    if (write(refereeDescriptor, &told, 1) != 1) {
        // The seat is gone; there is nobody to tell.
    }
}

// How the terminal's end reads: its status, or the cap that stopped it.
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

}  // namespace

const char* describeEnding(GameEnding ending) {
    switch (ending) {
    case GameEnding::inputEnded: return "input ended";
    case GameEnding::leftOrCrashed: return "left the game or crashed";
    case GameEnding::timeUp: return "time up";
    case GameEnding::idle: return "idle";
    case GameEnding::cpuCap: return "CPU cap";
    case GameEnding::memoryCap: return "memory cap";
    case GameEnding::shutdown: return "shutdown";
    case GameEnding::playerGone: return "player gone";
    case GameEnding::unrunnable: return "the terminal cannot be run";
    default: return "unknown";
    }
}

int seatAndRunGame(const std::string& self, const std::string& terminal) {
    closeInherited();
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t awaited = keptSignals();
    sigprocmask(SIG_BLOCK, &awaited, nullptr);
    int signals = signalfd(-1, &awaited, SFD_CLOEXEC | SFD_NONBLOCK);
    if (!safeForSocat(self) || !safeForSocat(terminal)) {
        return cannotStart(
            "the paths of kestiv-seat and of the terminal may hold only letters, digits and / . _ + -");
    }
    // Nobody to seat: no word to the keeper, no game started.
    if (playerGone()) {
        return 0;
    }
    std::string problem;
    int channel = connectToKeeper(problem);
    if (channel < 0) {
        return cannotStart(problem);
    }
    Message hello;
    if (!awaitMessage(channel, hello, keeperGreetingMilliseconds) || hello.note != Note::hello) {
        return cannotStart("the seat keeper did not answer");
    }
    Message arrival;
    arrival.note = Note::arrive;
    if (hello.numbers[proxyProtocol] != 0 && !readProxyAddress(arrival.address)) {
        Message refusal;
        refusal.note = Note::refused;
        refusal.text = "turned away: no valid PROXY header";
        sendMessage(channel, refusal);
        close(channel);
        return turnAway(badProxyHeaderMessage);
    }
    if (hello.numbers[proxyProtocol] == 0) {
        arrival.address = connectionAddress();
    }
    // Should the keeper have gone meanwhile, its last word is still read.
    sendMessage(channel, arrival);
    if (waitForSeat(channel, signals) != Wait::play) {
        endConnection(std::chrono::seconds(1), channel);
        return 0;
    }
    if (playerGone()) {
        close(channel);
        return 0;
    }
    if (!applyLimits(hello, problem)) {
        close(channel);
        return cannotStart(problem);
    }
    // The referee outlives socat when socat is cut off; as its reaper this
    // process ends only after the whole game.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    GameEnding ending = runGame(channel, signals, hello, self, terminal);
    Message ended;
    ended.note = Note::ended;
    ended.numbers[0] = static_cast<std::int64_t>(ending);
    sendMessage(channel, ended);
    endConnection(std::chrono::seconds(2), channel);
    return 0;
}

int playGame(long gameSeconds, long idleSeconds, long cpuSeconds, long memoryMiB,
             const std::string& terminal) {
    pid_t self = getpid();
    if (write(refereeDescriptor, &self, sizeof self) != sizeof self) {
        // The seat is gone; the game is played all the same.
    }
    sigset_t awaited = keptSignals();
    sigprocmask(SIG_BLOCK, &awaited, nullptr);
    // The terminal's child writes here why it could not run; a successful
    // exec closes it unwritten.
    int execFailure[2];
    if (pipe2(execFailure, O_CLOEXEC) != 0) {
        execFailure[0] = execFailure[1] = -1;
    }
    pid_t game = fork();
    if (game == 0) {
        sigprocmask(SIG_UNBLOCK, &awaited, nullptr);
        dup2(3, STDIN_FILENO);
        closeInheritedBut(execFailure[1]);
        execl(terminal.c_str(), terminal.c_str(), nullptr);
        int error = errno;
        std::fprintf(stderr, "kestiv-seat: cannot run %s: %s\n", terminal.c_str(), std::strerror(error));
        if (write(execFailure[1], &error, sizeof error) != sizeof error) {
            // The referee is gone; nobody is left to tell.
        }
        _exit(127);
    }
    close(execFailure[1]);
    int error = 0;
    bool unrunnable = game > 0 && read(execFailure[0], &error, sizeof error) == sizeof error &&
                      lastingExecFailure(error);
    close(execFailure[0]);
    if (unrunnable) {
        waitpid(game, nullptr, 0);
        tellSeat(GameEnding::unrunnable);
        sayWithoutWaiting(STDOUT_FILENO, cannotStartLine + "\n");
        return 0;
    }
    using namespace std::chrono;
    const auto started = steady_clock::now();
    const auto gameEnd = started + seconds(gameSeconds);
    const milliseconds idleLimit = seconds(idleSeconds);
    // Without TCP_INFO, idleness is the time since the terminal last wrote.
    auto lastOutput = started;
    long written = -1;
    std::string message;
    GameEnding ending = GameEnding::unknown;
    while (ending == GameEnding::unknown) {
        auto now = steady_clock::now();
        milliseconds sinceStart = duration_cast<milliseconds>(now - started);
        long sinceOutput = millisecondsSinceOutput(3);
        bool fromProc = sinceOutput < 0;
        if (fromProc) {
            long nowWritten = bytesWritten(game);
            if (nowWritten != written) {
                written = nowWritten;
                lastOutput = now;
            }
            sinceOutput = duration_cast<milliseconds>(now - lastOutput).count();
        }
        milliseconds quiet = std::min(sinceStart, milliseconds(sinceOutput));
        if (now >= gameEnd) {
            ending = GameEnding::timeUp;
            message = "Time is up: a game lasts at most " + describeDuration(gameSeconds) + ".";
            break;
        }
        if (quiet >= idleLimit) {
            ending = GameEnding::idle;
            message = "No input for " + describeDuration(idleSeconds) + ": the game is over.";
            break;
        }
        milliseconds wait = std::min(duration_cast<milliseconds>(gameEnd - now), idleLimit - quiet);
        if (fromProc) {
            wait = std::min(wait, milliseconds(500));
        }
        wait = std::max(wait, milliseconds(10));
        timespec timeout{wait.count() / 1000, (wait.count() % 1000) * 1000000};
        int arrived = sigtimedwait(&awaited, nullptr, &timeout);
        int status = 0;
        rusage used{};
        if (arrived == SIGCHLD && wait4(game, &status, WNOHANG, &used) == game) {
            ending = terminalEnding(status, used, cpuSeconds);
            if (ending == GameEnding::cpuCap) {
                message = "The game used all of its " + describeDuration(cpuSeconds) +
                          " of CPU time: the game is over.";
            } else if (ending == GameEnding::memoryCap) {
                message = "The game used all of its " + std::to_string(memoryMiB) +
                          " MiB of memory: the game is over.";
            }
            tellSeat(ending);
            if (!message.empty()) {
                sayWithoutWaiting(STDOUT_FILENO, "\033[0m\n\n" + message + "\n");
            }
            return 0;
        }
        if (arrived == SIGTERM) {
            ending = GameEnding::shutdown;
            message = "The server is shutting down: the game is over.";
        } else if (arrived == SIGHUP || arrived == SIGINT) {
            // socat is gone, and with it the way to the player.
            ending = GameEnding::playerGone;
        }
    }
    kill(game, SIGKILL);
    waitpid(game, nullptr, 0);
    tellSeat(ending);
    if (!message.empty()) {
        sayWithoutWaiting(STDOUT_FILENO, "\033[0m\n\n" + message + "\n");
    }
    return 0;
}
