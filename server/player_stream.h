#pragma once
#include <string>
#include <string_view>
struct PlayerStream {
    bool speaksTelnet = false;
    bool inputEnded = false;
    bool outputMidLine = false;
    bool afterCR = false;
    bool atLineStart = true;
    std::string toGame;
    std::string toPlayer;
};
void startPlayerStream(PlayerStream& stream);
void endPlayerStream(PlayerStream& stream);
void fromPlayer(PlayerStream& stream, std::string_view bytes);
void playerInputEnds(PlayerStream& stream);
void fromGame(PlayerStream& stream, std::string_view bytes);
void endPlayerLine(PlayerStream& stream);
