#include "player_stream.h"

#include <cstddef>  // before libtelnet.h, which uses size_t without including it
#include <new>

#include <libtelnet.h>

struct PlayerTelnet {
    telnet_t* telnet = nullptr;
    // The stream being read, set at every call: the stream may have moved since.
    PlayerStream* stream = nullptr;
};

void PlayerTelnetEnd::operator()(PlayerTelnet* telnet) const {
    telnet_free(telnet->telnet);
    delete telnet;
}

namespace {

constexpr char endOfFileKey = '\x04';

// No option is supported on either side, so every one offered or asked for
// is refused and the client stays in the plain network virtual terminal.
const telnet_telopt_t noOptions[] = {{-1, 0, 0}};

// The game's input, after telnet: CR LF and CR NUL made one LF, the
// end-of-file key at a line's start taken as the end of the input. A CR
// waits for the byte after it: alone, it is a byte like any other.
void takeInput(PlayerStream& stream, std::string_view bytes) {
    for (char byte : bytes) {
        if (stream.inputEnded) {
            return;
        }
        if (stream.afterCarriageReturn) {
            stream.afterCarriageReturn = false;
            bool lineEnd = byte == '\n' || byte == '\0';
            stream.toGame += lineEnd ? '\n' : '\r';
            stream.inputAtLineStart = lineEnd;
            if (lineEnd) {
                continue;
            }
        }
        if (byte == '\r') {
            stream.afterCarriageReturn = true;
        } else if (byte == endOfFileKey && stream.inputAtLineStart) {
            stream.inputEnded = true;
        } else {
            stream.toGame += byte;
            stream.inputAtLineStart = byte == '\n';
        }
    }
}

// The input ends: a CR still waiting for the byte after it goes on alone.
void endInput(PlayerStream& stream) {
    if (!stream.inputEnded && stream.afterCarriageReturn) {
        stream.toGame += '\r';
    }
    stream.afterCarriageReturn = false;
    stream.inputEnded = true;
}

void onTelnetEvent(telnet_t*, telnet_event_t* event, void* userData) {
    PlayerStream& stream = *static_cast<PlayerTelnet*>(userData)->stream;
    if (stream.inputEnded) {
        return;
    }
    switch (event->type) {
    case TELNET_EV_DATA: takeInput(stream, {event->data.buffer, event->data.size}); return;
    case TELNET_EV_SEND: stream.toPlayer.append(event->data.buffer, event->data.size); return;
    case TELNET_EV_WARNING: return;
    case TELNET_EV_ERROR: stream.inputEnded = true; return;
    case TELNET_EV_IAC:
        if (event->iac.cmd == TELNET_EOF) {
            endInput(stream);
        }
        return;
    case TELNET_EV_COMPRESS:
        // libtelnet inflates whatever follows a client's unasked-for start of
        // compression: a player could send a compressed flood of input.
        stream.inputEnded = true;
        return;
    default: return;
    }
}

// libtelnet tells of no refusal a client sends (WONT, DONT), so a command
// is seen here: IAC and any byte but a second IAC, which is data.
void noticeTelnet(PlayerStream& stream, std::string_view bytes) {
    for (char byte : bytes) {
        bool iac = byte == '\xff';
        stream.speaksTelnet = stream.speaksTelnet || (stream.afterIac && !iac);
        stream.afterIac = iac && !stream.afterIac;
    }
}

}  // namespace

void startPlayerStream(PlayerStream& stream) {
    stream = PlayerStream{};
    stream.telnet.reset(new PlayerTelnet);
    stream.telnet->telnet = telnet_init(noOptions, onTelnetEvent, 0, stream.telnet.get());
    if (stream.telnet->telnet == nullptr) {
        throw std::bad_alloc();
    }
}

void endPlayerStream(PlayerStream& stream) { stream.telnet.reset(); }

void fromPlayer(PlayerStream& stream, std::string_view bytes) {
    if (stream.inputEnded || bytes.empty()) {
        return;
    }
    if (!stream.speaksTelnet) {
        noticeTelnet(stream, bytes);
    }
    stream.telnet->stream = &stream;
    telnet_recv(stream.telnet->telnet, bytes.data(), bytes.size());
}

void playerInputEnds(PlayerStream& stream) { endInput(stream); }

void fromGame(PlayerStream& stream, std::string_view bytes) {
    if (bytes.empty()) {
        return;
    }
    stream.outputMidLine = bytes.back() != '\n';
    const std::string_view special =
        stream.speaksTelnet ? std::string_view("\n\xff") : std::string_view("\n");
    while (!bytes.empty()) {
        std::size_t plain = bytes.find_first_of(special);
        stream.toPlayer.append(bytes.substr(0, plain));
        if (plain == std::string_view::npos) {
            break;
        }
        stream.toPlayer +=
            bytes[plain] == '\n' ? std::string_view("\r\n") : std::string_view("\xff\xff");
        bytes.remove_prefix(plain + 1);
    }
}

void endPlayerLine(PlayerStream& stream) {
    if (stream.outputMidLine) {
        stream.toPlayer += "\r\n";
        stream.outputMidLine = false;
    }
}
