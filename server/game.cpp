#include "game.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "address_prefixes.h"
#include "channel.h"
#include "keeper_socket.h"
#include "proxy_header.h"
#include "relay.h"
#include "settings.h"

namespace {

const std::string cannotStartMessage =
    "kestiv's terminal cannot start a game just now. Try again later.\r\n";
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

// Nothing of the server's is the game's: no listening socket of socat, no
// channel, only standard input, output and error.
void closeInherited() { syscall(SYS_close_range, 3U, ~0U, 0U); }

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

// Lets the player go before they arrive, telling the keeper why for its log.
int refuseBeforeArriving(int channel, const std::string& reason) {
    Message refusal;
    refusal.note = Note::refused;
    refusal.text = reason;
    sendMessage(channel, refusal);
    close(channel);
    return turnAway(badProxyHeaderMessage);
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

static_assert(longestAddressPrefixList <= messageTextBytes,
              "the keeper's hello carries KESTIV_PROXY_FROM");

// Whether the connection's peer is one of the proxies the keeper names,
// whose PROXY headers count; else `refusal` says why, for the log. Asked
// before any byte is read, so a connection from anyone else costs none.
bool fromProxy(const std::string& proxies, std::string& refusal) {
    std::vector<AddressPrefix> prefixes;
    parseAddressPrefixes(proxies, prefixes);
    PlayerAddress peer = connectionAddress();
    if (inAddressPrefixes(peer, prefixes)) {
        return true;
    }
    std::string described = describeAddress(peer);
    refusal = "turned away: its peer " + (described.empty() ? "has no address and" : described) +
              " is no proxy of KESTIV_PROXY_FROM";
    return false;
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

}  // namespace

int seatAndRunGame(const std::string& terminal) {
    closeInherited();
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t awaited = keptSignals();
    sigprocmask(SIG_BLOCK, &awaited, nullptr);
    int signals = signalfd(-1, &awaited, SFD_CLOEXEC | SFD_NONBLOCK);
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
    // A bridge's pipes carry a page's bytes, where no proxy puts a header
    // (websocketd takes none): its player is the address it gives.
    bool proxied = hello.numbers[proxyProtocol] != 0 && !onBridge();
    std::string refusal;
    if (proxied && !fromProxy(hello.text, refusal)) {
        return refuseBeforeArriving(channel, refusal);
    }
    if (proxied && !readProxyAddress(arrival.address)) {
        return refuseBeforeArriving(channel, "turned away: no valid PROXY header");
    }
    if (!proxied) {
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
    GameLimits limits{hello.numbers[gameSeconds], hello.numbers[idleSeconds],
                      hello.numbers[cpuSeconds], hello.numbers[memoryMiB]};
    RunningGame game;
    GameEnding ending = GameEnding::unrunnable;
    TerminalCopy copy{terminal,
                      hello.descriptor,
                      {hello.numbers[terminalDevice], hello.numbers[terminalInode],
                       hello.numbers[terminalSize], hello.numbers[terminalModified]}};
    switch (startGame(terminal, copy, limits, game, problem)) {
    case GameStart::started: ending = relayGame(game, limits, channel, signals); break;
    case GameStart::unrunnable: say(STDOUT_FILENO, cannotStartMessage); break;
    case GameStart::failed: close(channel); return cannotStart(problem);
    }
    Message ended;
    ended.note = Note::ended;
    ended.numbers[0] = static_cast<std::int64_t>(ending);
    sendMessage(channel, ended);
    endConnection(std::chrono::seconds(2), channel);
    return 0;
}
