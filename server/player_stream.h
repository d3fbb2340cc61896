#pragma once
// The bytes between a player's connection and their game's pseudo-terminal,
// which runs with no line discipline and no output processing of its own:
// what a terminal's line discipline and a telnet server would do to them is
// done here, and nothing else. A client that speaks telnet is told no to
// every option it offers or asks for, so both sides stay in the plain
// network virtual terminal that nc and a raw socket speak too.
#include <memory>
#include <string>
#include <string_view>

struct PlayerTelnet;
struct PlayerTelnetEnd {
    void operator()(PlayerTelnet* telnet) const;
};

struct PlayerStream {
    // The telnet protocol's state; held apart so that a stream may be moved
    // between calls, never copied.
    std::unique_ptr<PlayerTelnet, PlayerTelnetEnd> telnet;
    // The client has sent a telnet command (IAC and anything but IAC), so the
    // 0xFF bytes of its output are doubled.
    bool speaksTelnet = false;
    // The player ended their input: the end-of-file key at a line's start,
    // IAC EOF, the connection's end, or a telnet stream that cannot be read.
    bool inputEnded = false;
    bool outputMidLine = false;  // the last byte sent to the player was not a line end
    std::string toGame;          // decoded input waiting to be written to the game
    std::string toPlayer;        // encoded output and telnet answers waiting to be sent

    // Kept between calls, since a line end or a command may arrive split.
    bool afterCarriageReturn = false;  // the last input byte was a CR, already passed on as LF
    bool inputAtLineStart = true;      // no input byte since the last line end
    bool afterIac = false;             // the last byte sent was an IAC that escapes no IAC
};

// Sets the stream up for a new connection.
void startPlayerStream(PlayerStream& stream);
// Frees the protocol's state; safe to call twice, and done anyway when the
// stream is destroyed.
void endPlayerStream(PlayerStream& stream);

// Bytes the player sent: appends the game's input to toGame and any telnet
// answers to toPlayer. A line end (CR LF, CR NUL or LF, split across calls
// or not) becomes one LF, and a CR alone stays a CR; 0x04 at a line's start
// or IAC EOF ends the input. Once the input has ended, the player's bytes are dropped unread,
// telnet answers and all: nothing they send matters any more.
void fromPlayer(PlayerStream& stream, std::string_view bytes);
// The player's connection ended its input (read returned 0).
void playerInputEnds(PlayerStream& stream);

// Bytes the game wrote: appends them to toPlayer, each LF as CR LF and, for a
// client that speaks telnet, each 0xFF doubled; no other byte is added or lost.
void fromGame(PlayerStream& stream, std::string_view bytes);
// The game is over: appends CR LF to toPlayer when the player's screen is
// mid-line, so that whatever follows starts on a line of its own.
void endPlayerLine(PlayerStream& stream);
