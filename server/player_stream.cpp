#include "player_stream.h"
void startPlayerStream(PlayerStream&) {}
void endPlayerStream(PlayerStream&) {}
void fromPlayer(PlayerStream& s, std::string_view bytes) {
    for (char c : bytes) {
        if (s.inputEnded) return;
        if (s.afterCR) {
            s.afterCR = false;
            if (c == '\n' || c == '\0') {
                s.toGame += '\n';
                s.atLineStart = true;
                continue;
            }
            s.toGame += '\r';
            s.atLineStart = false;
        }
        if (c == '\r') {
            s.afterCR = true;
            continue;
        }
        if (c == '\x04' && s.atLineStart) {
            s.inputEnded = true;
            return;
        }
        s.toGame += c;
        s.atLineStart = c == '\n';
    }
}
void playerInputEnds(PlayerStream& s) {
    if (s.afterCR) s.toGame += '\r';
    s.afterCR = false;
    s.inputEnded = true;
}
void fromGame(PlayerStream& s, std::string_view bytes) {
    for (char c : bytes) {
        if (c == '\n') s.toPlayer += '\r';
        s.toPlayer += c;
    }
    if (!bytes.empty()) s.outputMidLine = bytes.back() != '\n';
}
void endPlayerLine(PlayerStream& s) {
    if (s.outputMidLine) {
        s.toPlayer += "\r\n";
        s.outputMidLine = false;
    }
}
