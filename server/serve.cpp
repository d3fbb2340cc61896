#include "serve.h"

#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <vector>

#include "keeper.h"
#include "keeper_socket.h"
#include "metrics_endpoint.h"
#include "settings.h"
#include "terminal_copy.h"

namespace {

// How long socat or the bridge may take to listen before the server gives up.
constexpr auto listenerStartLimit = std::chrono::seconds(20);
// socat's listen queue: a burst fits, and a flood holds a newcomer little (docs/figures.md).
constexpr int listenBacklog = 256;
// How long a stopping bridge waits for its games' last words.
constexpr auto lastWordsLimit = std::chrono::seconds(10);
// socat's own cap on games and players in line, a backstop to the keeper's:
// room beside them for players being turned away.
constexpr long turnedAwayAtOnce = 256;

struct Listen {
    std::string address;  // empty for every address; IPv6 in brackets
    long port = 0;
};

bool parseListen(const std::string& text, Listen& listen) {
    size_t colon = text.rfind(':');
    if (!parseSettingNumber(text.substr(colon == std::string::npos ? 0 : colon + 1), 1, 65535,
                            listen.port)) {
        return false;
    }
    listen.address = colon == std::string::npos ? "" : text.substr(0, colon);
    return true;
}

std::string socatListener(const Listen& listen, const GameSettings& settings) {
    std::string port = std::to_string(listen.port);
    std::string common =
        ",reuseaddr,fork,backlog=" + std::to_string(listenBacklog) +
        ",max-children=" + std::to_string(settings.games + settings.line + turnedAwayAtOnce);
    if (listen.address.empty()) {
        return "TCP6-LISTEN:" + port + ",ipv6only=0" + common;
    }
    if (listen.address.front() == '[') {
        return "TCP6-LISTEN:" + port + ",bind=" + listen.address + common;
    }
    return "TCP4-LISTEN:" + port + ",bind=" + listen.address + common;
}

std::string describeListen(const Listen& listen) {
    return (listen.address.empty() ? std::string("every address, IPv4 and IPv6,") : listen.address) +
           " port " + std::to_string(listen.port);
}

// Starts a child that dies with this process, in a process group of its
// own, so that a terminal's Ctrl-C reaches the keeper alone.
pid_t startChild(const std::vector<std::string>& command) {
    pid_t keeper = getpid();
    pid_t child = fork();
    if (child != 0) {
        return child;
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != keeper) {
        _exit(1);
    }
    setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    std::vector<char*> arguments;
    for (const std::string& word : command) {
        arguments.push_back(const_cast<char*>(word.c_str()));
    }
    arguments.push_back(nullptr);
    execvp(arguments[0], arguments.data());
    std::fprintf(stderr, "kestiv-seat: cannot run %s: %s\n", arguments[0], std::strerror(errno));
    _exit(127);
}

// websocketd on `bridge`, for the pages of the site of
// KESTIV_WEBSOCKET_ORIGIN, running `self` as a game's seat for every
// WebSocket: the player's bytes in binary messages, the game's as they come.
// A game finds the keeper as a TCP game does, by the variables passed on.
std::vector<std::string> bridgeCommand(const Listen& bridge, const GameSettings& settings,
                                       const std::string& self, const std::string& terminal) {
    std::vector<std::string> command = {
        "websocketd",
        "--port=" + std::to_string(bridge.port),
        "--binary=true",
        "--origin=" + settings.websocketOrigin,
        "--passenv=PATH,KESTIV_SEATS,RUNTIME_DIRECTORY," + std::string(keeperNameVariable),
        "--loglevel=error"};
    if (!bridge.address.empty()) {
        command.push_back("--address=" + bridge.address);
    }
    command.push_back(self);
    command.push_back(terminal);
    return command;
}

// The processes that `parent` started and that still run: a process's
// children are listed by the thread that started each.
std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> found;
    std::error_code error;
    std::string tasks = "/proc/" + std::to_string(parent) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream listed(task.path() / "children");
        pid_t child = 0;
        while (listed >> child) {
            found.push_back(child);
        }
    }
    return found;
}

// Whether the process has a listening TCP socket on the port.
bool listensOn(pid_t process, long port) {
    std::set<std::string> inodes;
    std::error_code error;
    std::string folder = "/proc/" + std::to_string(process);
    for (const auto& entry : std::filesystem::directory_iterator(folder + "/fd", error)) {
        std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target.starts_with("socket:[")) {
            inodes.insert(target.substr(8, target.size() - 9));
        }
    }
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04lX", port);
    for (const char* table : {"/net/tcp", "/net/tcp6"}) {
        std::ifstream lines(folder + table);
        std::string line;
        std::getline(lines, line);
        while (std::getline(lines, line)) {
            char local[64], remote[64], state[8];
            unsigned long inode = 0;
            if (std::sscanf(line.c_str(), "%*s %63s %63s %7s %*s %*s %*s %*s %*s %lu", local,
                            remote, state, &inode) == 4 &&
                std::string(state) == "0A" && std::string(local).ends_with(wanted) &&
                inodes.count(std::to_string(inode))) {
                return true;
            }
        }
    }
    return false;
}

// Waits for each listener to listen. Returns false, with the status to end
// with, when one ends first or never does.
bool awaitListening(const std::vector<std::pair<pid_t, long>>& listeners, int& status) {
    auto deadline = std::chrono::steady_clock::now() + listenerStartLimit;
    for (auto [process, port] : listeners) {
        while (!listensOn(process, port)) {
            int childStatus = 0;
            if (waitpid(process, &childStatus, WNOHANG) == process) {
                status = WIFEXITED(childStatus) && WEXITSTATUS(childStatus) != 0
                             ? WEXITSTATUS(childStatus)
                             : 1;
                return false;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                std::fprintf(stderr, "kestiv-seat: nothing listens on port %ld\n", port);
                status = 1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return true;
}

void warnOfUnknownNames() {
    for (const std::string& warning : unknownSettingNames()) {
        std::fprintf(stderr, "kestiv-seat: warning: %s\n", warning.c_str());
    }
}

bool reportProblems(const std::vector<std::string>& problems, const char* who) {
    for (const std::string& problem : problems) {
        std::fprintf(stderr, "%s: %s\n", who, problem.c_str());
    }
    return problems.empty();
}

// systemd's readiness protocol: READY=1 in a datagram to NOTIFY_SOCKET.
void notifyReady() {
    const char* given = std::getenv("NOTIFY_SOCKET");
    std::string path = given != nullptr ? given : "";
    if (path.empty() || path.size() >= sizeof(sockaddr_un::sun_path)) {
        return;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    if (path[0] == '@') {
        address.sun_path[0] = '\0';
    }
    int notify = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const char ready[] = "READY=1";
    sendto(notify, ready, sizeof ready - 1, 0, reinterpret_cast<sockaddr*>(&address),
           static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size()));
    close(notify);
}

// The metrics' listener when KESTIV_METRICS is set, else -1; false, with
// the problem, when it cannot listen.
bool listenForScrapesIfAsked(const GameSettings& settings, int& scrapes, const char* who) {
    scrapes = -1;
    if (settings.metrics.empty()) {
        return true;
    }
    std::string problem;
    scrapes = listenForScrapes(settings.metrics, problem);
    if (scrapes < 0) {
        std::fprintf(stderr, "%s: %s\n", who, problem.c_str());
        return false;
    }
    return true;
}

// socat takes a command line up to a comma and splits it at spaces.
bool safeForSocat(const std::string& path) {
    return !path.empty() && path.find_first_not_of(
                                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                "0123456789/._+-") == std::string::npos;
}

}  // namespace

int serve(const std::string& self, const std::string& listenText, const std::string& terminal) {
    const char* who = "serve-with-socat";
    GameSettings settings{};
    std::vector<std::string> problems = readGameSettings(settings);
    warnOfUnknownNames();
    Listen listen;
    Listen bridge;
    if (!parseListen(listenText, listen)) {
        problems.push_back(
            "the address to listen on must be PORT, IPV4-ADDRESS:PORT or "
            "[IPV6-ADDRESS]:PORT, not '" +
            listenText + "'");
    }
    if (!settings.websocket.empty()) {
        parseListen(settings.websocket, bridge);
    }
    if (!safeForSocat(self) || !safeForSocat(terminal)) {
        problems.push_back(
            "the paths of the terminal and of kestiv-seat may hold only letters, digits and / . _ + -");
    }
    std::string problem;
    TerminalCopy copy;
    if (!copyTerminal(terminal, copy, problem)) {
        problems.push_back(problem);
    }
    if (problems.empty() && !roomForChannels(settings, problem)) {
        problems.push_back(problem);
    }
    if (!reportProblems(problems, who)) {
        return 2;
    }
    int scrapes = -1;
    if (!listenForScrapesIfAsked(settings, scrapes, who)) {
        return 1;
    }
    std::string name;
    int listener = listenUnderRandomName(name, problem);
    if (listener < 0) {
        std::fprintf(stderr, "%s: %s\n", who, problem.c_str());
        return 1;
    }
    setenv(keeperNameVariable, name.c_str(), 1);
    sigset_t stopping = stoppingSignals();
    blockKeeperSignals(stopping);
    // Games whose socat is gone come to the keeper, which reaps them.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::vector<pid_t> children;
    std::vector<std::pair<pid_t, long>> listeners;
    children.push_back(startChild(
        {"socat", socatListener(listen, settings), "EXEC:" + self + " " + terminal + ",nofork"}));
    listeners.push_back({children.back(), listen.port});
    std::string also;
    if (!settings.websocket.empty()) {
        children.push_back(startChild(bridgeCommand(bridge, settings, self, terminal)));
        listeners.push_back({children.back(), bridge.port});
        also = "; WebSocket bridge on " + describeListen(bridge) + " for pages of " +
               settings.websocketOrigin;
    }
    unsetenv(keeperNameVariable);
    int status = 1;
    if (!awaitListening(listeners, status)) {
        for (pid_t child : children) {
            kill(child, SIGKILL);
        }
        return status;
    }
    std::printf("%s: kestiv's terminal listens on %s%s; %s\n", who, describeListen(listen).c_str(),
                also.c_str(), settingsOnOneLine(settings).c_str());
    std::fflush(stdout);
    return keepSeats(settings, listener, scrapes, children, stopping, copy);
}

int bridgeAlone(const std::string& self, const std::string& listenText, const std::string& terminal) {
    // The address given is the bridge's, with KESTIV_WEBSOCKET's rules.
    setenv("KESTIV_WEBSOCKET", listenText.c_str(), 1);
    GameSettings settings{};
    std::vector<std::string> problems = readGameSettings(settings);
    warnOfUnknownNames();
    if (access(terminal.c_str(), X_OK) != 0) {
        problems.push_back("no terminal to run at " + terminal);
    }
    if (!reportProblems(problems, "kestiv-seat")) {
        return 2;
    }
    Listen bridge;
    parseListen(settings.websocket, bridge);
    sigset_t stopping = stoppingSignals();
    sigset_t watched = stopping;
    sigaddset(&watched, SIGCHLD);
    sigprocmask(SIG_BLOCK, &watched, nullptr);
    pid_t websocketd = startChild(bridgeCommand(bridge, settings, self, terminal));
    int status = 1;
    if (!awaitListening({{websocketd, bridge.port}}, status)) {
        kill(websocketd, SIGKILL);
        return status;
    }
    std::fprintf(stderr, "kestiv-seat: WebSocket bridge on %s for pages of %s\n",
                 describeListen(bridge).c_str(), settings.websocketOrigin.c_str());
    for (;;) {
        siginfo_t arrived{};
        if (sigwaitinfo(&watched, &arrived) < 0) {
            continue;
        }
        if (arrived.si_signo == SIGCHLD) {
            if (waitpid(websocketd, nullptr, WNOHANG) == websocketd) {
                std::fprintf(stderr, "kestiv-seat: websocketd ended by itself\n");
                return 1;
            }
            continue;
        }
        // Every game is told to stop, and ends with its message; websocketd
        // carries the last words and stops when they are said.
        std::fprintf(stderr, "kestiv-seat: stopping on %s\n", strsignal(arrived.si_signo));
        for (pid_t seat : childrenOf(websocketd)) {
            kill(seat, SIGTERM);
        }
        auto deadline = std::chrono::steady_clock::now() + lastWordsLimit;
        while (!childrenOf(websocketd).empty() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(websocketd, SIGTERM);
        waitpid(websocketd, nullptr, 0);
        return 128 + arrived.si_signo;
    }
}

int keepAlone(const std::string& terminal) {
    GameSettings settings{};
    warnOfUnknownNames();
    std::vector<std::string> problems = readGameSettings(settings);
    std::string problem;
    TerminalCopy copy;
    if (!terminal.empty() && !copyTerminal(terminal, copy, problem)) {
        problems.push_back(problem);
    }
    std::string folder = seatsFolder();
    if (folder.empty()) {
        problems.push_back(
            "no folder for the keeper's socket: set KESTIV_SEATS, or systemd's "
            "RuntimeDirectory=");
    }
    if (problems.empty() && !roomForChannels(settings, problem)) {
        problems.push_back(problem);
    }
    if (!reportProblems(problems, "kestiv-seat")) {
        return 2;
    }
    int scrapes = -1;
    if (!listenForScrapesIfAsked(settings, scrapes, "kestiv-seat")) {
        return 1;
    }
    int listener = listenInFolder(folder, problem);
    if (listener < 0) {
        std::fprintf(stderr, "kestiv-seat: %s\n", problem.c_str());
        return 1;
    }
    sigset_t stopping = stoppingSignals();
    blockKeeperSignals(stopping);
    std::fprintf(stderr, "kestiv-seat: keeping seats at %s/keeper; %s\n", folder.c_str(),
                 settingsOnOneLine(settings).c_str());
    notifyReady();
    return keepSeats(settings, listener, scrapes, {}, stopping, copy);
}

int checkSettings() {
    GameSettings settings{};
    std::vector<std::string> problems = readGameSettings(settings);
    warnOfUnknownNames();
    const char* seats = std::getenv("KESTIV_SEATS");
    std::string problem;
    if (seats != nullptr && *seats != '\0' && !checkSeatsFolder(seats, problem)) {
        problems.push_back("KESTIV_SEATS: " + problem);
    }
    if (!reportProblems(problems, "kestiv-seat")) {
        return 1;
    }
    std::fputs(listGameSettings(settings).c_str(), stdout);
    return 0;
}
