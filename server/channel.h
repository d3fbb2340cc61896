#pragma once
// What a game's seat and the seat keeper say to each other over the
// channel, a unix SOCK_SEQPACKET connection that the seat holds open for the
// life of its game: its closing frees the seat.
#include <cstdint>
#include <string>

#include "address_group.h"

enum class Note : std::uint8_t {
    // The keeper to a seat.
    hello,     // the game's limits, in numbers (GameLimits), at once on accepting;
               // text: KESTIV_PROXY_FROM, the proxies whose PROXY headers count;
               // with the terminal to run, as a descriptor, when the keeper has one
    play,      // the game starts now
    wait,      // text: the player's place in line, to say; number 0: the place
    away,      // text: why the player is turned away, to say before letting go
    prove,     // text: the proof-of-work challenge, to say; the answer is awaited
    shutdown,  // text: the server is stopping, to say; a game in play ends
    // A seat to the keeper.
    arrive,   // the player's address
    answer,   // text: the player's answer to the challenge
    refused,  // text: why the seat let the player go before arriving (for the log)
    ended,    // number 0: how the game ended (GameEnding)
};

// The limits the keeper gives every game, in hello's numbers, and the file
// its copy of the terminal was taken from (TerminalFile).
enum GameLimit {
    gameSeconds,
    idleSeconds,
    memoryMiB,
    cpuSeconds,
    proxyProtocol,
    terminalDevice,
    terminalInode,
    terminalSize,
    terminalModified,
    limitCount
};

struct Message {
    Note note = Note::hello;
    std::int64_t numbers[limitCount] = {};
    PlayerAddress address;
    std::string text;
    int descriptor = -1;  // one passed along, open in the receiver
};

// The longest text a message carries.
constexpr std::size_t messageTextBytes = 2048;

// Sends the message whole, with its descriptor if it has one, without
// waiting when the channel is full. Returns false when it could not.
bool sendMessage(int channel, const Message& message);

// Receives one message, and the descriptor it brings, close-on-exec. Returns
// false when the channel has closed, failed, or brought something that is no
// message.
bool receiveMessage(int channel, Message& message);
