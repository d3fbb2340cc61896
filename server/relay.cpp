#include "relay.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>

#include "channel.h"
#include "player_stream.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Output read from the game and not yet sent beyond which the game is read
// no more, so that a player who reads nothing holds it still.
constexpr size_t heldOutput = 1 << 16;
// How long the game's last words may take to reach a slow player.
constexpr auto lastWordsLimit = std::chrono::seconds(5);

struct Relay {
    Relay(RunningGame& running, const GameLimits& gameLimits, int& keeper, int signalSource)
        : game(running), limits(gameLimits), channel(keeper), signals(signalSource) {}
    RunningGame& game;
    const GameLimits& limits;
    int& channel;
    int signals;
    PlayerStream stream;
    GameEnding ending = GameEnding::unknown;
    bool reaped = false;
    bool drained = false;  // the pseudo-terminal has given all the game wrote
    bool playerGone = false;
    Clock::time_point started = Clock::now();
    Clock::time_point lastSent = started;
    Clock::time_point reapedAt;
};

void setNonBlocking(int descriptor, bool on) {
    int flags = fcntl(descriptor, F_GETFL);
    fcntl(descriptor, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

// The relay ends the game itself: the reason stands, whatever its status says.
void endGame(Relay& relay, GameEnding why) {
    if (relay.ending == GameEnding::unknown && !relay.reaped) {
        relay.ending = why;
        kill(relay.game.process, SIGKILL);
    }
}

void readSignals(Relay& relay) {
    signalfd_siginfo arrived{};
    while (read(relay.signals, &arrived, sizeof arrived) == sizeof arrived) {
        if (arrived.ssi_signo != SIGCHLD) {
            endGame(relay, GameEnding::shutdown);
        }
    }
    int status = 0;
    rusage used{};
    if (!relay.reaped && wait4(relay.game.process, &status, WNOHANG, &used) == relay.game.process) {
        relay.reaped = true;
        relay.reapedAt = Clock::now();
        if (relay.ending == GameEnding::unknown) {
            relay.ending = terminalEnding(status, used, relay.limits.cpuSeconds);
        }
    }
}

void hearKeeper(Relay& relay) {
    Message message;
    if (!receiveMessage(relay.channel, message)) {
        // The keeper is gone: the game plays on under its own limits.
        close(relay.channel);
        relay.channel = -1;
    } else if (message.note == Note::shutdown) {
        endGame(relay, GameEnding::shutdown);
    }
}

void readGame(Relay& relay) {
    char bytes[1 << 14];
    ssize_t got = read(relay.game.pseudoTerminal, bytes, sizeof bytes);
    if (got > 0) {
        fromGame(relay.stream, std::string_view(bytes, static_cast<size_t>(got)));
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        relay.drained = true;  // EIO: the game's side has closed
    }
}

void writeGame(Relay& relay) {
    std::string& pending = relay.stream.toGame;
    ssize_t put = write(relay.game.input, pending.data(), pending.size());
    if (put > 0) {
        pending.erase(0, static_cast<size_t>(put));
    } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
        // The terminal reads no more: what the player sends is dropped.
        pending.clear();
        endGameInput(relay.game);
    }
}

void readPlayer(Relay& relay) {
    char bytes[1 << 14];
    ssize_t got = read(STDIN_FILENO, bytes, sizeof bytes);
    if (got > 0) {
        fromPlayer(relay.stream, std::string_view(bytes, static_cast<size_t>(got)));
    } else if (got == 0) {
        playerInputEnds(relay.stream);
    } else if (errno != EAGAIN && errno != EINTR) {
        relay.playerGone = true;
        endGame(relay, GameEnding::playerGone);
    }
}

void writePlayer(Relay& relay) {
    std::string& pending = relay.stream.toPlayer;
    ssize_t put = write(STDOUT_FILENO, pending.data(), pending.size());
    if (put > 0) {
        pending.erase(0, static_cast<size_t>(put));
        relay.lastSent = Clock::now();
    } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
        relay.playerGone = true;
        pending.clear();
        endGame(relay, GameEnding::playerGone);
    }
}

// The time limits, checked on every turn; returns the milliseconds to the next.
int keepTimeLimits(Relay& relay) {
    auto now = Clock::now();
    auto gameEnd = relay.started + std::chrono::seconds(relay.limits.gameSeconds);
    auto idleEnd = relay.lastSent + std::chrono::seconds(relay.limits.idleSeconds);
    if (relay.ending == GameEnding::unknown && now >= gameEnd) {
        endGame(relay, GameEnding::timeUp);
    }
    if (relay.ending == GameEnding::unknown && now >= idleEnd) {
        endGame(relay, GameEnding::idle);
    }
    auto next = std::min(gameEnd, idleEnd);
    if (relay.reaped) {
        next = relay.reapedAt + lastWordsLimit;
    }
    auto wait = std::chrono::duration_cast<milliseconds>(next - now).count();
    return static_cast<int>(std::clamp<long long>(wait, 10, 60000));
}

bool over(const Relay& relay) {
    return relay.reaped && (relay.drained || Clock::now() >= relay.reapedAt + lastWordsLimit);
}

void turn(Relay& relay) {
    int timeout = keepTimeLimits(relay);
    bool reading = relay.ending == GameEnding::unknown;
    bool inputPending = !relay.stream.toGame.empty() && relay.game.input >= 0;
    pollfd watched[6] = {
        {relay.signals, POLLIN, 0},
        {relay.channel, POLLIN, 0},
        {relay.drained || relay.stream.toPlayer.size() >= heldOutput ? -1 : relay.game.pseudoTerminal,
         POLLIN, 0},
        {inputPending ? relay.game.input : -1, POLLOUT, 0},
        {reading && !relay.stream.inputEnded && !inputPending ? STDIN_FILENO : -1, POLLIN, 0},
        {relay.stream.toPlayer.empty() || relay.playerGone ? -1 : STDOUT_FILENO, POLLOUT, 0},
    };
    if (poll(watched, 6, timeout) <= 0) {
        return;
    }
    if (watched[0].revents != 0) {
        readSignals(relay);
    }
    if (watched[1].revents != 0) {
        hearKeeper(relay);
    }
    if (watched[2].revents != 0) {
        readGame(relay);
    }
    if (watched[3].revents != 0) {
        writeGame(relay);
    }
    if (watched[4].revents != 0) {
        readPlayer(relay);
    }
    if (watched[5].revents != 0) {
        writePlayer(relay);
    }
    if (relay.game.input < 0) {
        relay.stream.toGame.clear();  // the terminal reads no more
    }
    if (relay.stream.inputEnded && relay.stream.toGame.empty()) {
        endGameInput(relay.game);
    }
}

// What is left for the player after the game: sent within a short time.
void sendLastWords(Relay& relay) {
    auto deadline = Clock::now() + lastWordsLimit;
    while (!relay.stream.toPlayer.empty() && !relay.playerGone && Clock::now() < deadline) {
        pollfd output{STDOUT_FILENO, POLLOUT, 0};
        auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        if (poll(&output, 1, static_cast<int>(std::max<long long>(left, 1))) > 0) {
            writePlayer(relay);
        }
    }
}

}  // namespace

GameEnding relayGame(RunningGame& game, const GameLimits& limits, int& channel, int signals) {
    Relay relay(game, limits, channel, signals);
    startPlayerStream(relay.stream);
    setNonBlocking(STDIN_FILENO, true);
    setNonBlocking(STDOUT_FILENO, true);
    while (!over(relay)) {
        turn(relay);
    }
    if (relay.ending == GameEnding::unknown) {
        relay.ending = GameEnding::playerGone;
    }
    fromGame(relay.stream, endingMessage(relay.ending, limits));
    endPlayerLine(relay.stream);
    sendLastWords(relay);
    endPlayerStream(relay.stream);
    setNonBlocking(STDIN_FILENO, false);
    setNonBlocking(STDOUT_FILENO, false);
    endGameInput(game);
    close(game.pseudoTerminal);
    game.pseudoTerminal = -1;
    return relay.ending;
}
