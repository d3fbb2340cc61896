#include "player_stream.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int iac = 255, dont = 254, doOption = 253, wont = 252, will = 251, sb = 250, se = 240;
constexpr int eof = 236, nop = 241;

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int value : values) {
        text += static_cast<char>(value);
    }
    return text;
}

// IAC, then the verb and the option, for each pair.
std::string commands(std::initializer_list<std::pair<int, int>> verbsAndOptions) {
    std::string text;
    for (auto [verb, option] : verbsAndOptions) {
        text += bytes({iac, verb, option});
    }
    return text;
}

struct StartedStream {
    PlayerStream stream;
    StartedStream() { startPlayerStream(stream); }
    ~StartedStream() { endPlayerStream(stream); }
};

// What a stream makes of the player's bytes given in the pieces listed.
struct Read {
    std::string toGame;
    std::string toPlayer;
    bool inputEnded;
    bool speaksTelnet;
};

Read read(const std::vector<std::string>& pieces) {
    StartedStream started;
    for (const std::string& piece : pieces) {
        fromPlayer(started.stream, piece);
    }
    const PlayerStream& stream = started.stream;
    return {stream.toGame, stream.toPlayer, stream.inputEnded, stream.speaksTelnet};
}

// The bytes given whole, cut in two at every place, and one at a time: a
// line end or a telnet command may arrive split anywhere.
std::vector<std::vector<std::string>> everyCut(const std::string& input) {
    std::vector<std::vector<std::string>> cuts{{input}};
    for (std::size_t at = 1; at < input.size(); ++at) {
        cuts.push_back({input.substr(0, at), input.substr(at)});
    }
    std::vector<std::string> single;
    for (char byte : input) {
        single.emplace_back(1, byte);
    }
    cuts.push_back(single);
    return cuts;
}

struct InputCase {
    std::string name;
    std::string input;
    std::string toGame;
    bool inputEnded;
};

void expectReadEverywayAs(const InputCase& test, const std::string& toPlayer = "") {
    for (const auto& pieces : everyCut(test.input)) {
        Read got = read(pieces);
        SCOPED_TRACE(test.name + " in " + std::to_string(pieces.size()) + " pieces");
        EXPECT_EQ(got.toGame, test.toGame);
        EXPECT_EQ(got.inputEnded, test.inputEnded);
        EXPECT_EQ(got.toPlayer, toPlayer);
    }
}

TEST(PlayerStreamInput, EveryKindOfLineEndBecomesOneLf) {
    const InputCase cases[] = {
        {"CR LF", "dir\r\nls\r\n", "dir\nls\n", false},
        {"CR NUL", std::string("dir\r\0", 5), "dir\n", false},
        {"CR NUL then text", std::string("dir\r\0ls\r\0", 9), "dir\nls\n", false},
        {"LF alone", "dir\nls\n", "dir\nls\n", false},
        {"CR alone is no line end", "dir\rls", "dir\rls", false},
        {"CR CR LF", "a\r\r\nb", "a\r\nb", false},
        {"LF CR", "a\n\rb", "a\n\rb", false},
        {"CR LF LF", "a\r\n\nb", "a\n\nb", false},
        {"empty lines", std::string("\r\n\r\n\n\r\0", 7), "\n\n\n\n", false},
        {"CR LF NUL: the NUL is the next line's", std::string("a\r\n\0", 4), std::string("a\n\0", 3), false},
        {"NUL not after CR", std::string("\0a\n\0", 4), std::string("\0a\n\0", 4), false},
        {"control and high bytes", "\x01\x1b[A\x7f\x80\xfe\t", "\x01\x1b[A\x7f\x80\xfe\t", false},
    };
    for (const InputCase& test : cases) {
        expectReadEverywayAs(test);
    }
}

TEST(PlayerStreamInput, EndOfFileKeyEndsTheInputOnlyAtALineStart) {
    const InputCase cases[] = {
        {"first byte", "\x04", "", true},
        {"first byte, then more", std::string("\x04") + "dir\n", "", true},
        {"after CR LF", "dir\r\n\x04ls\r\n", "dir\n", true},
        {"after CR NUL", std::string("dir\r\0\x04ls", 8), "dir\n", true},
        {"after CR alone, mid-line", "dir\r\x04ls", "dir\r\x04ls", false},
        {"after LF", "dir\n\x04\n", "dir\n", true},
        {"mid-line", "di\x04r\n", "di\x04r\n", false},
        {"at a line's end", "dir\x04\r\n", "dir\x04\n", false},
        {"second on a line", "a\x04\x04\n", "a\x04\x04\n", false},
    };
    for (const InputCase& test : cases) {
        expectReadEverywayAs(test);
    }
}

TEST(PlayerStreamInput, TelnetCommandsNeverReachTheGame) {
    const InputCase cases[] = {
        {"IAC EOF mid-line", "di" + bytes({iac, eof}) + "r\n", "di", true},
        {"IAC EOF at a line's start", "dir\r\n" + bytes({iac, eof}), "dir\n", true},
        {"IAC IAC is the byte 0xFF", "a" + bytes({iac, iac}) + "b\n", "a" + bytes({iac}) + "b\n", false},
        {"IAC NOP", "a" + bytes({iac, nop}) + "b", "ab", false},
        {"a subnegotiation", "a" + bytes({iac, sb, 24, 0}) + "xterm" + bytes({iac, se}) + "b", "ab", false},
        {"CR, a command, LF", "a\r" + bytes({iac, nop}) + "\nb", "a\nb", false},
    };
    for (const InputCase& test : cases) {
        expectReadEverywayAs(test);
    }
}

TEST(PlayerStreamInput, OnlyACommandMarksAClientAsSpeakingTelnet) {
    EXPECT_FALSE(read({"dir\r\n\xfe\x80"}).speaksTelnet);
    EXPECT_FALSE(read({bytes({iac, iac})}).speaksTelnet);
    EXPECT_TRUE(read({bytes({iac, nop})}).speaksTelnet);
    EXPECT_FALSE(read({bytes({iac, iac, iac, iac})}).speaksTelnet);
    EXPECT_TRUE(read({bytes({iac, wont, 1})}).speaksTelnet);
    EXPECT_TRUE(read({bytes({iac}), bytes({dont, 1})}).speaksTelnet);
    EXPECT_TRUE(read({bytes({iac, iac, iac}), bytes({nop})}).speaksTelnet);
    EXPECT_TRUE(read({bytes({iac, sb, 24, 0, iac, se})}).speaksTelnet);
}

// What real clients send when they connect, recorded once on loopback from a
// listener that wrote down every byte and, like this stream, refused every
// option; their answers are the refusals expected.
struct ClientCase {
    std::string client;
    std::string sent;
    std::string refusals;
    std::string toGame;
    bool inputEnded;
};

TEST(PlayerStreamInput, RealClientsNegotiationIsRefusedAndNeverReachesTheGame) {
    const std::string plinkOffers = commands(
        {{will, 31}, {will, 32}, {will, 24}, {will, 39}, {doOption, 1}, {will, 3}, {doOption, 3}});
    const std::string plinkRefused =
        commands({{dont, 31}, {dont, 32}, {dont, 24}, {dont, 39}, {wont, 1}, {dont, 3}, {wont, 3}});
    const ClientCase cases[] = {
        // plink -telnet (putty-tools 0.78) typing "dir" and Enter, its input a pipe:
        // NAWS, TSPEED, TTYPE, NEW-ENVIRON, ECHO, SGA; once NEW-ENVIRON is refused, ENVIRON.
        {"plink -telnet", plinkOffers + commands({{will, 36}}) + "dir\n",
         plinkRefused + commands({{dont, 36}}), "dir\n", false},
        // plink -telnet whose input ends at once: it sends IAC EOF.
        {"plink -telnet, input ended", plinkOffers + bytes({iac, eof}), plinkRefused, "", true},
        // inetutils telnet 2.4 in "mode character" (from .telnetrc) typing "dir" and Enter:
        // SGA and ECHO asked for.
        {"telnet, mode character", commands({{doOption, 3}, {doOption, 1}}) + "dir\r\n",
         commands({{wont, 3}, {wont, 1}}), "dir\n", false},
    };
    for (const ClientCase& test : cases) {
        expectReadEverywayAs({test.client, test.sent, test.toGame, test.inputEnded}, test.refusals);
        EXPECT_TRUE(read({test.sent}).speaksTelnet) << test.client;
    }
}

TEST(PlayerStreamInput, NothingIsTakenAfterTheInputEnds) {
    StartedStream started;
    PlayerStream& stream = started.stream;
    fromPlayer(stream, "dir\r");
    playerInputEnds(stream);
    EXPECT_TRUE(stream.inputEnded);
    // The CR had no byte after it: it is the game's as it is.
    EXPECT_EQ(stream.toGame, "dir\r");
    fromPlayer(stream, "\nls\n" + bytes({iac, doOption, 1}));
    EXPECT_EQ(stream.toGame, "dir\r");
    EXPECT_EQ(stream.toPlayer, "");
}

TEST(PlayerStreamInput, ACrWaitingWhenTelnetEndsTheInputGoesOnAlone) {
    Read got = read({"dir\r" + bytes({iac, eof})});
    EXPECT_EQ(got.toGame, "dir\r");
    EXPECT_TRUE(got.inputEnded);
}

TEST(PlayerStreamInput, CompressionTheClientStartsUnaskedEndsTheInput) {
    Read got = read({"a" + bytes({iac, sb, 86, iac, se}) + "\x78\x9c\x4b\x04\x00\x00\x62\x00\x62\n"});
    EXPECT_EQ(got.toGame, "a");
    EXPECT_TRUE(got.inputEnded);
}

TEST(PlayerStreamInput, AStreamMovedBetweenCallsKeepsItsState) {
    StartedStream started;
    fromPlayer(started.stream, "dir\r");
    PlayerStream moved = std::move(started.stream);
    fromPlayer(moved, "\n" + bytes({iac, doOption, 1}));
    EXPECT_EQ(moved.toGame, "dir\n");
    EXPECT_EQ(moved.toPlayer, bytes({iac, wont, 1}));
    endPlayerStream(moved);
    endPlayerStream(moved);
    EXPECT_EQ(moved.telnet, nullptr);
}

struct OutputCase {
    std::string name;
    bool speaksTelnet;
    std::string output;
    std::string toPlayer;
    bool outputMidLine;
};

TEST(PlayerStreamOutput, EveryLfIsSentAsCrLfAndFfDoubledForTelnetOnly) {
    const OutputCase cases[] = {
        {"lines", false, "a\nb\n", "a\r\nb\r\n", false},
        {"mid-line", false, "a\nb", "a\r\nb", true},
        {"the game's own CR stays", false, "a\r\nb\r", "a\r\r\nb\r", true},
        {"empty lines", false, "\n\n", "\r\n\r\n", false},
        {"0xFF to a raw client", false, "\xff\n\xff", "\xff\r\n\xff", true},
        {"0xFF to a telnet client", true, "\xff\n\xff\xff", "\xff\xff\r\n\xff\xff\xff\xff", true},
        {"other bytes", true, std::string("\0\x04\x1b\x80\xfe", 5),
         std::string("\0\x04\x1b\x80\xfe", 5), true},
    };
    for (const OutputCase& test : cases) {
        SCOPED_TRACE(test.name);
        StartedStream started;
        started.stream.speaksTelnet = test.speaksTelnet;
        fromGame(started.stream, test.output);
        EXPECT_EQ(started.stream.toPlayer, test.toPlayer);
        EXPECT_EQ(started.stream.outputMidLine, test.outputMidLine);
    }
}

TEST(PlayerStreamOutput, AClientSpeakingTelnetGetsItsFfDoubled) {
    StartedStream started;
    fromPlayer(started.stream, bytes({iac, nop}));
    fromGame(started.stream, "\xff");
    EXPECT_EQ(started.stream.toPlayer, "\xff\xff");
}

TEST(PlayerStreamOutput, TheLastLineIsEndedOnlyWhenMidLine) {
    StartedStream started;
    PlayerStream& stream = started.stream;
    endPlayerLine(stream);
    EXPECT_EQ(stream.toPlayer, "");
    fromGame(stream, "CRAAASH");
    fromGame(stream, "");
    EXPECT_TRUE(stream.outputMidLine);
    endPlayerLine(stream);
    endPlayerLine(stream);
    EXPECT_EQ(stream.toPlayer, "CRAAASH\r\n");
    fromGame(stream, "bye\n");
    endPlayerLine(stream);
    EXPECT_EQ(stream.toPlayer, "CRAAASH\r\nbye\r\n");
}

TEST(PlayerStreamOutput, AMebibyteOfLinesConvertsExactly) {
    std::string output;
    std::string expected;
    for (int line = 0; output.size() < (1 << 20); ++line) {
        std::string text = std::to_string(line) +
                           std::string(line % 97, static_cast<char>('a' + line % 26)) +
                           (line % 7 == 0 ? "\r" : "") + (line % 11 == 0 ? "\xff" : "");
        output += text + "\n";
        expected += text;
        if (line % 11 == 0) {
            expected += '\xff';
        }
        expected += "\r\n";
    }
    StartedStream started;
    started.stream.speaksTelnet = true;
    // Cut where the pseudo-terminal's reads might: anywhere, a line end and 0xFF included.
    for (std::size_t at = 0; at < output.size(); at += 4093) {
        fromGame(started.stream, std::string_view(output).substr(at, 4093));
    }
    EXPECT_EQ(started.stream.toPlayer.size(), expected.size());
    EXPECT_TRUE(started.stream.toPlayer == expected);
    EXPECT_FALSE(started.stream.outputMidLine);
}

}  // namespace
