#include "keeper.h"

#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>

#include "channel.h"
#include "connection_rate.h"
#include "game_ending.h"
#include "keeper_socket.h"
#include "metrics_endpoint.h"
#include "proof_of_work.h"
#include "terminal_copy.h"
#include "waiting_line.h"

namespace {

using Clock = std::chrono::steady_clock;

// epoll's tags for the keeper's own descriptors; a channel's tag is its
// connection's number, from firstConnection on.
constexpr ConnectionId listenerTag = 1;
constexpr ConnectionId signalsTag = 2;
constexpr ConnectionId timerTag = 3;
constexpr ConnectionId firstConnection = 16;
// Places in line are told again at most this often.
constexpr int placeTicks = 2;
// Descriptors the keeper needs besides its channels.
constexpr long ownDescriptors = 64;

const std::string shutdownMessage = "The server is shutting down: the game is over.\r\n";
const std::string cannotStartMessage =
    "kestiv's terminal cannot start a game just now. Try again later.\r\n";

enum class Stage { greeted, proving, waiting, playing };

struct Connection {
    int channel = -1;
    Stage stage = Stage::greeted;
    std::string group;  // empty until the seat says who arrived
    std::string network;
    bool ipv6 = false;
    long place = 0;
    ConnectionId arrival = 0;  // its number in the order of arrival, from 1
    Clock::time_point arrived;
    Clock::time_point seated;
    Clock::time_point deadline;  // of waiting or proving
    std::string challenge;
    GameEnding ending = GameEnding::unknown;
};

GameSettings limits;
SeatsAndLine line;
ConnectionRate rate;
// The keeper's own copy of the terminal, handed to every game.
TerminalCopy terminal;
std::unordered_map<ConnectionId, Connection> connections;
std::set<std::pair<Clock::time_point, ConnectionId>> deadlines;
int events = -1;
int listener = -1;
bool listenerWatched = false;
ConnectionId nextConnection = firstConnection;
// The line counts connections in the order the seats say who arrived, which
// is not the order the keeper accepted their channels in.
ConnectionId nextArrival = 1;
std::unordered_map<ConnectionId, ConnectionId> connectionOfArrival;
int stoppedBy = 0;
int exitStatus = 0;
// The server's own listeners, when it has them (--serve): socat first, then
// the bridge. The keeper alone (--keep) has none: systemd listens.
std::vector<pid_t> children;
bool ownsListeners = false;
bool listenerStopped = false;
// Set when a game's terminal could not be run at all, so that no game can
// start: the server takes no more players and ends once its games have.
bool terminalUnrunnable = false;
// What a host sees: every count, and the scrapes reading them.
LiveView live;

// Whether the keeper is winding down: it takes no new players.
bool closing() { return stoppedBy != 0 || terminalUnrunnable; }

// socat stops at once: a new connection is refused, which a balancer in
// front takes as a sign to send the player to another server.
void stopListening() {
    if (!children.empty() && !listenerStopped) {
        kill(children.front(), SIGKILL);
    }
    listenerStopped = true;
}

void logFate(ConnectionId id, const Connection& connection, const std::string& what) {
    std::string group = connection.group.empty() ? "no address" : connection.group;
    std::fprintf(stderr, "kestiv-seat: connection %llu from %s: %s\n",
                 static_cast<unsigned long long>(id - firstConnection + 1), group.c_str(),
                 what.c_str());
}

bool tell(const Connection& connection, Note note, const std::string& text = "") {
    Message message;
    message.note = note;
    message.text = text;
    return sendMessage(connection.channel, message);
}

std::string firstPlaceMessage(long place) {
    return "kestiv's terminal is playing every game it can: you are number " + std::to_string(place) +
           " in line. Stay connected: your game starts here when a seat frees.\r\n";
}

std::string newPlaceMessage(long place) {
    return "You are now number " + std::to_string(place) + " in line.\r\n";
}

std::string groupFullMessage(const Connection& connection) {
    std::string count = std::to_string(limits.gamesPerAddress);
    if (connection.ipv6) {
        return "kestiv's terminal plays at most " + count +
               " games at once with one network, counting players waiting, and yours (" +
               connection.group + ") has them all. Try again when one is over.\r\n";
    }
    return "kestiv's terminal plays at most " + count +
           " games at once with one address, and yours has them all. Try again when one is over.\r\n";
}

std::string networkFullMessage(const Connection& connection) {
    return "kestiv's terminal plays at most " + std::to_string(limits.gamesPerNetwork) +
           " games at once with the addresses of one network, counting players waiting, and yours (" +
           connection.network + ") has them all. Try again when one is over.\r\n";
}

std::string madeRoomMessage(const Connection& connection) {
    return "kestiv's terminal's line is full, and your network (" + connection.network +
           ") holds more of its places than any other: your place goes to a player from a network that "
           "had none. Try again in a few minutes.\r\n";
}

std::string tooOftenMessage(const Connection& connection) {
    std::string count = std::to_string(limits.connectionsPerMinute);
    if (connection.ipv6) {
        return "kestiv's terminal takes at most " + count +
               " connections a minute from one network, and yours (" + connection.group +
               ") connects too often. Try again in a minute.\r\n";
    }
    return "kestiv's terminal takes at most " + count +
           " connections a minute from one address, and yours connects too often. Try again in a minute.\r\n";
}

const std::string proversFullMessage =
    "kestiv's terminal has as many players proving their work as it can hold. Try again in a minute.\r\n";

const std::string lineFullMessage =
    "kestiv's terminal is playing every game it can and its line is full. Try again in a few "
    "minutes.\r\n";

void watchListener(bool watched) {
    if (listener < 0 || watched == listenerWatched) {
        return;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = listenerTag;
    epoll_ctl(events, watched ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, listener, &event);
    listenerWatched = watched;
}

void startPlaying(ConnectionId id) {
    Connection& connection = connections[id];
    deadlines.erase({connection.deadline, id});
    connection.stage = Stage::playing;
    connection.seated = Clock::now();
    if (connection.place != 0) {
        ++live.metrics.waitedThenPlayed;
        live.metrics.waits.observe(
            std::chrono::duration<double>(connection.seated - connection.arrived).count());
        auto waited =
            std::chrono::duration_cast<std::chrono::seconds>(connection.seated - connection.arrived);
        logFate(id, connection, "game started after " + std::to_string(waited.count()) + " s in line");
    } else {
        ++live.metrics.played;
        logFate(id, connection, "game started");
    }
    tell(connection, Note::play);
}

// Forgets the connection and hands its seat, if it had one, to the next in line.
void drop(ConnectionId id) {
    auto found = connections.find(id);
    if (found == connections.end()) {
        return;
    }
    epoll_ctl(events, EPOLL_CTL_DEL, found->second.channel, nullptr);
    close(found->second.channel);
    deadlines.erase({found->second.deadline, id});
    ConnectionId arrival = found->second.arrival;
    connections.erase(found);
    watchListener(true);
    if (arrival == 0) {
        return;
    }
    connectionOfArrival.erase(arrival);
    for (ConnectionId seated : leave(line, arrival)) {
        startPlaying(connectionOfArrival[seated]);
    }
}

void turnAway(ConnectionId id, Refusal refusal, const std::string& why, const std::string& message) {
    Connection& connection = connections[id];
    ++live.metrics.turnedAway[static_cast<size_t>(refusal)];
    logFate(id, connection, "turned away: " + why);
    tell(connection, Note::away, message);
    drop(id);
}

void queue(ConnectionId id) {
    Connection& connection = connections[id];
    connection.stage = Stage::waiting;
    connection.deadline = connection.arrived + std::chrono::seconds(limits.waitSeconds);
    deadlines.insert({connection.deadline, id});
    long told = connection.place;
    connection.place = placeInLine(line, connection.arrival);
    logFate(id, connection, "waits at " + std::to_string(connection.place));
    if (told == 0) {
        tell(connection, Note::wait, firstPlaceMessage(connection.place));
    } else if (told != connection.place) {
        tell(connection, Note::wait, newPlaceMessage(connection.place));
    }
}

// Asks for the proof of work; its time counts from now.
void askProof(ConnectionId id) {
    Connection& connection = connections[id];
    connection.stage = Stage::proving;
    connection.challenge = makeChallenge();
    connection.deadline = Clock::now() + std::chrono::seconds(limits.powSeconds);
    deadlines.insert({connection.deadline, id});
    logFate(id, connection, "asked to prove its work");
    tell(connection, Note::prove, challengeText(connection.challenge, limits.powBits, limits.powSeconds));
}

// Holds a place in line for a connection that proves its work meanwhile.
void askProofInLine(ConnectionId id) {
    Connection& connection = connections[id];
    connection.place = placeInLine(line, connection.arrival);
    logFate(id, connection,
            "waits at " + std::to_string(connection.place) + " and is asked to prove its work");
    tell(connection, Note::wait, firstPlaceMessage(connection.place));
    askProof(id);
}

// A connection's group and network, from the address its seat was told.
void placeOrigin(Connection& connection, const PlayerAddress& address) {
    connection.group = addressGroup(address, static_cast<int>(limits.ipv6Prefix));
    connection.network =
        addressNetwork(address, static_cast<int>(limits.ipv4NetworkPrefix),
                       static_cast<int>(std::min(limits.ipv6NetworkPrefix, limits.ipv6Prefix)));
    connection.ipv6 = address.family == AF_INET6 && connection.group.find('/') != std::string::npos;
}

void admitArrival(ConnectionId id) {
    Connection& connection = connections[id];
    Admitted admitted =
        admit(line, connection.arrival, {connection.group, connection.network}, limits.powBits > 0);
    if (admitted.displaced != 0) {
        ConnectionId displaced = connectionOfArrival[admitted.displaced];
        turnAway(displaced, Refusal::madeRoom,
                 "its place went to a network that had none: the line is full and its network held the most "
                 "places",
                 madeRoomMessage(connections[displaced]));
    }
    switch (admitted.admission) {
    case Admission::play: startPlaying(id); break;
    case Admission::wait: queue(id); break;
    case Admission::prove: askProof(id); break;
    case Admission::proveInLine: askProofInLine(id); break;
    case Admission::groupFull:
        turnAway(id, Refusal::groupFull,
                 std::string("its ") + (connection.ipv6 ? "network" : "address") + " holds " +
                     std::to_string(limits.gamesPerAddress) + " games and places in line",
                 groupFullMessage(connection));
        break;
    case Admission::networkFull:
        turnAway(id, Refusal::networkFull,
                 "its network " + connection.network + " holds " +
                     std::to_string(limits.gamesPerNetwork) + " games and places in line",
                 networkFullMessage(connection));
        break;
    case Admission::lineFull:
        turnAway(id, Refusal::lineFull, "the line is full", lineFullMessage);
        break;
    case Admission::proversFull:
        turnAway(id, Refusal::proversFull,
                 "as many connections prove their work as the server holds", proversFullMessage);
        break;
    }
}

void arrive(ConnectionId id, const Message& message) {
    Connection& connection = connections[id];
    if (stoppedBy != 0) {
        ++live.metrics.turnedAway[static_cast<size_t>(Refusal::shutdown)];
        tell(connection, Note::shutdown, shutdownMessage);
        drop(id);
        return;
    }
    placeOrigin(connection, message.address);
    if (terminalUnrunnable) {
        turnAway(id, Refusal::terminalUnrunnable, "the terminal cannot be run", cannotStartMessage);
        return;
    }
    auto now = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch());
    if (!allowConnection(rate, connection.group, now)) {
        turnAway(id, Refusal::tooOften,
                 "connects too often: more than " + std::to_string(limits.connectionsPerMinute) +
                     " connections a minute",
                 tooOftenMessage(connection));
        return;
    }
    connection.arrival = nextArrival++;
    connectionOfArrival[connection.arrival] = id;
    admitArrival(id);
}

void answer(ConnectionId id, const Message& message) {
    Connection& connection = connections[id];
    if (connection.stage != Stage::proving) {
        return;
    }
    deadlines.erase({connection.deadline, id});
    if (!provesWork(connection.challenge, message.text, limits.powBits)) {
        turnAway(id, Refusal::wrongProof, "a wrong proof of work",
                 "That answer does not prove the work asked. Connect again for a new "
                 "challenge.\r\n");
        return;
    }
    if (admitProven(line, connection.arrival) == Admission::play) {
        startPlaying(id);
    } else {
        queue(id);
    }
}

// A game's terminal could not be run: no game will start. A server with
// listeners of its own stops taking players, tells those in line, and ends
// once its games in play have, so that whatever runs it replaces it; under
// systemd, whose socket it does not own, each game says it cannot start.
void stopTakingPlayers() {
    if (!ownsListeners || closing()) {
        return;
    }
    terminalUnrunnable = true;
    std::fprintf(stderr,
                 "kestiv-seat: the terminal cannot be run: no more players; the server ends when its "
                 "games in play have\n");
    stopListening();
    std::vector<ConnectionId> unseated;
    for (auto& [id, connection] : connections) {
        if (connection.stage != Stage::playing && !connection.group.empty()) {
            unseated.push_back(id);
        }
    }
    for (ConnectionId id : unseated) {
        turnAway(id, Refusal::terminalUnrunnable, "the terminal cannot be run", cannotStartMessage);
    }
}

void hear(ConnectionId id) {
    auto found = connections.find(id);
    if (found == connections.end()) {
        return;
    }
    Connection& connection = found->second;
    Message message;
    if (!receiveMessage(connection.channel, message)) {
        if (connection.stage == Stage::playing) {
            GameEnding ending = connection.ending == GameEnding::unknown ? GameEnding::playerGone
                                                                         : connection.ending;
            ++live.metrics.endings[static_cast<size_t>(ending)];
            live.metrics.gameLengths.observe(
                std::chrono::duration<double>(Clock::now() - connection.seated).count());
            logFate(id, connection, std::string("ended: ") + describeEnding(ending));
        } else if (connection.stage != Stage::greeted || !connection.group.empty()) {
            ++live.metrics.leftLine;
            logFate(id, connection, "left the line: player gone");
        }
        drop(id);
        return;
    }
    switch (message.note) {
    case Note::arrive:
        if (connection.group.empty() && connection.stage == Stage::greeted) {
            arrive(id, message);
        }
        break;
    case Note::answer: answer(id, message); break;
    case Note::refused:
        // The refusals a seat makes: a peer that is no proxy, no valid PROXY header.
        ++live.metrics.turnedAway[static_cast<size_t>(Refusal::badProxyHeader)];
        logFate(id, connection, message.text);
        drop(id);
        break;
    case Note::ended:
        if (message.numbers[0] > 0 && message.numbers[0] < static_cast<std::int64_t>(GameEnding::count)) {
            connection.ending = static_cast<GameEnding>(message.numbers[0]);
        }
        if (connection.ending == GameEnding::unrunnable) {
            stopTakingPlayers();
        }
        break;
    default: break;
    }
}

void greet(int channel) {
    if (!peerIsThisUser(channel)) {
        close(channel);
        return;
    }
    ConnectionId id = nextConnection++;
    Connection& connection = connections[id];
    connection.channel = channel;
    connection.arrived = Clock::now();
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = id;
    epoll_ctl(events, EPOLL_CTL_ADD, channel, &event);
    Message hello;
    hello.note = Note::hello;
    hello.numbers[gameSeconds] = limits.gameSeconds;
    hello.numbers[idleSeconds] = limits.idleSeconds;
    hello.numbers[memoryMiB] = limits.gameMemoryMiB;
    hello.numbers[cpuSeconds] = limits.gameCpuSeconds;
    hello.numbers[proxyProtocol] = limits.proxyProtocol;
    hello.text = limits.proxyFrom;
    hello.descriptor = terminal.descriptor;
    hello.numbers[terminalDevice] = terminal.file.device;
    hello.numbers[terminalInode] = terminal.file.inode;
    hello.numbers[terminalSize] = terminal.file.size;
    hello.numbers[terminalModified] = terminal.file.modified;
    sendMessage(channel, hello);
}

void acceptAll() {
    for (;;) {
        int channel = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (channel >= 0) {
            greet(channel);
            continue;
        }
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // Out of descriptors: the games wait in the backlog until one ends.
            watchListener(false);
        }
        if (errno != EINTR && errno != ECONNABORTED) {
            return;
        }
    }
}

void tick(long ticks) {
    auto now = Clock::now();
    while (!deadlines.empty() && deadlines.begin()->first <= now) {
        ConnectionId id = deadlines.begin()->second;
        deadlines.erase(deadlines.begin());
        Connection& connection = connections[id];
        if (connection.stage == Stage::proving) {
            turnAway(id, Refusal::noProofInTime, "no proof of work in time",
                     "No answer came within " + describeDuration(limits.powSeconds) +
                         ". Connect again for a new challenge.\r\n");
        } else if (connection.stage == Stage::waiting) {
            turnAway(id, Refusal::waitedTooLong, "waited " + describeDuration(limits.waitSeconds),
                     "You have waited " + describeDuration(limits.waitSeconds) +
                         " and no seat has freed. Try again later.\r\n");
        }
    }
    expireScrapes(live);
    forgetFullBuckets(
        rate, std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()));
    if (ticks % placeTicks != 0) {
        return;
    }
    for (auto [arrival, place] : placesInLine(line)) {
        Connection& connection = connections[connectionOfArrival[arrival]];
        if (connection.place != place) {
            connection.place = place;
            tell(connection, Note::wait, newPlaceMessage(place));
        }
    }
}

void stop(int signalNumber) {
    if (stoppedBy != 0) {
        return;
    }
    stoppedBy = signalNumber;
    std::vector<ConnectionId> waiting;
    for (auto& [id, connection] : connections) {
        tell(connection, Note::shutdown, shutdownMessage);
        if (connection.stage != Stage::playing) {
            waiting.push_back(id);
        }
    }
    for (ConnectionId id : waiting) {
        if (connections[id].arrival != 0) {
            ++live.metrics.turnedAway[static_cast<size_t>(Refusal::shutdown)];
        }
        logFate(id, connections[id], "left the line: shutdown");
        drop(id);
    }
}

// Whether any child, orphans taken in included, has yet to be reaped.
bool childrenRemain() {
    siginfo_t info{};
    return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

std::string renderLiveView() {
    return renderMetrics(live.metrics, liveCounts(line, busiestGroupsShown), numberSettings(limits));
}

// The settings in force from now on: the limits of the seats and the line.
void takeSettings(const GameSettings& settings) {
    limits = settings;
    line.seats = settings.games;
    line.perGroup = settings.gamesPerAddress;
    line.perNetwork = settings.gamesPerNetwork;
    line.lineBound = settings.line;
    rate.perMinute = settings.connectionsPerMinute;
}

// Settings a running server cannot take again: its listeners' addresses.
std::vector<std::string> fixedSettingsChanged(const GameSettings& fresh) {
    std::vector<std::string> changed;
    for (auto [name, before, after] :
         {std::tuple{"KESTIV_METRICS", limits.metrics, fresh.metrics},
          std::tuple{"KESTIV_WEBSOCKET", limits.websocket, fresh.websocket},
          std::tuple{"KESTIV_WEBSOCKET_ORIGIN", limits.websocketOrigin, fresh.websocketOrigin}}) {
        if (before != after) {
            changed.push_back(std::string(name) + " changes only when the server starts again");
        }
    }
    return changed;
}

// Takes the settings and the terminal again, for the games that start from
// now on; games in play keep theirs. Anything wrong keeps the old ones.
void reload() {
    GameSettings fresh{};
    std::vector<std::string> problems = readGameSettings(fresh);
    for (const std::string& problem : fixedSettingsChanged(fresh)) {
        problems.push_back(problem);
    }
    std::string problem;
    if (problems.empty() && !roomForChannels(fresh, problem)) {
        problems.push_back(problem);
    }
    TerminalCopy copy;
    if (problems.empty() && !terminal.path.empty() && !copyTerminal(terminal.path, copy, problem)) {
        problems.push_back(problem);
    }
    if (!problems.empty()) {
        for (const std::string& each : problems) {
            std::fprintf(stderr, "kestiv-seat: not reloaded: %s\n", each.c_str());
        }
        std::fprintf(stderr, "kestiv-seat: the settings and the terminal in force stay\n");
        return;
    }
    if (copy.descriptor >= 0) {
        close(terminal.descriptor);
        terminal = copy;
    }
    takeSettings(fresh);
    std::fprintf(stderr, "kestiv-seat: reloaded%s%s; %s\n",
                 terminal.path.empty() ? "" : ": the terminal of ", terminal.path.c_str(),
                 settingsOnOneLine(fresh).c_str());
    for (ConnectionId seated : fillSeats(line)) {
        startPlaying(connectionOfArrival[seated]);
    }
}

}  // namespace

sigset_t stoppingSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        struct sigaction current {};
        sigaction(signalNumber, nullptr, &current);
        if (current.sa_handler != SIG_IGN) {
            sigaddset(&signals, signalNumber);
        }
    }
    return signals;
}

void blockKeeperSignals(const sigset_t& signals) {
    sigset_t blocked = signals;
    sigaddset(&blocked, SIGCHLD);
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
}

bool roomForChannels(const GameSettings& settings, std::string& problem) {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    long needed = settings.games + settings.line + ownDescriptors;
    if (files.rlim_cur != RLIM_INFINITY && static_cast<long>(files.rlim_cur) < needed) {
        problem = "KESTIV_GAMES and KESTIV_LINE need " + std::to_string(needed) +
                  " open files, and this process may have only " + std::to_string(files.rlim_cur) +
                  ": raise its limit (ulimit -n, LimitNOFILE=) or lower them";
        return false;
    }
    return true;
}

int keepSeats(const GameSettings& settings, int listening, int scrapes,
              const std::vector<pid_t>& vital, const sigset_t& stopping, const TerminalCopy& copy) {
    takeSettings(settings);
    terminal = copy;
    listener = listening;
    events = epoll_create1(EPOLL_CLOEXEC);
    sigset_t watched = stopping;
    sigaddset(&watched, SIGCHLD);
    int signals = signalfd(-1, &watched, SFD_CLOEXEC | SFD_NONBLOCK);
    int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    itimerspec second{{1, 0}, {1, 0}};
    timerfd_settime(timer, 0, &second, nullptr);
    for (auto [descriptor, tag] : {std::pair{signals, signalsTag}, std::pair{timer, timerTag}}) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = tag;
        epoll_ctl(events, EPOLL_CTL_ADD, descriptor, &event);
    }
    watchListener(true);
    watchScrapes(live, events, scrapes);
    children = vital;
    ownsListeners = !vital.empty();
    long ticks = 0;
    while (!closing() || !connections.empty() || childrenRemain()) {
        epoll_event ready[64];
        int count = epoll_wait(events, ready, 64, -1);
        for (int index = 0; index < count; ++index) {
            ConnectionId tag = ready[index].data.u64;
            if (isScrapeTag(tag)) {
                handleScrapes(live, tag, ready[index].events, renderLiveView);
            } else if (tag == listenerTag) {
                acceptAll();
            } else if (tag == timerTag) {
                std::uint64_t expirations = 0;
                if (read(timer, &expirations, sizeof expirations) == sizeof expirations) {
                    tick(++ticks);
                }
            } else if (tag == signalsTag) {
                signalfd_siginfo arrived{};
                while (read(signals, &arrived, sizeof arrived) == sizeof arrived) {
                    if (arrived.ssi_signo == SIGHUP) {
                        reload();
                    } else if (arrived.ssi_signo != SIGCHLD) {
                        std::fprintf(stderr, "kestiv-seat: stopping on %s\n",
                                     strsignal(static_cast<int>(arrived.ssi_signo)));
                        // The listeners stop at once; a bridge carries its
                        // players' last words and stops when they are said.
                        stopListening();
                        stop(static_cast<int>(arrived.ssi_signo));
                    }
                }
                int childStatus = 0;
                pid_t child = 0;
                while ((child = waitpid(-1, &childStatus, WNOHANG)) > 0) {
                    auto found = std::find(children.begin(), children.end(), child);
                    if (found == children.end()) {
                        continue;
                    }
                    listenerStopped = listenerStopped || found == children.begin();
                    children.erase(found);
                    if (!closing()) {
                        std::fprintf(stderr, "kestiv-seat: a listener ended by itself; stopping\n");
                        exitStatus = 1;
                        stop(SIGTERM);
                    }
                }
            }
            if (tag >= firstConnection && !isScrapeTag(tag)) {
                hear(tag);
            }
        }
        if (closing() && connections.empty()) {
            for (pid_t child : children) {
                kill(child, SIGTERM);
            }
        }
    }
    if (terminalUnrunnable) {
        std::fprintf(stderr, "kestiv-seat: stopped: the terminal cannot be run\n");
        return 1;
    }
    return exitStatus != 0 ? exitStatus : 128 + stoppedBy;
}
