// kestiv-seat: the game server's side of one connection, for deploy/kestiv-game.
//
//   kestiv-seat TERMINAL                       seats the player and runs a game
//   kestiv-seat --play SECONDS IDLE TERMINAL   the game's keeper, as socat runs it
//   kestiv-seat --serve COMMAND...             runs a server with a private seats folder
//   kestiv-seat --settings                     checks the settings and lists those in effect
#include <cstdio>
#include <string>

#include "game.h"
#include "private_seats.h"
#include "settings.h"

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    long gameSeconds = 0;
    long idleSeconds = 0;
    if (argc == 5 && mode == "--play" && parseSettingNumber(argv[2], 86400, gameSeconds) &&
        parseSettingNumber(argv[3], 86400, idleSeconds)) {
        return playGame(gameSeconds, idleSeconds, argv[4]);
    }
    if (argc > 2 && mode == "--serve") {
        return serveWithPrivateSeats(argv + 2);
    }
    if (argc == 2 && mode == "--settings") {
        GameSettings settings{};
        std::string problem;
        if (!readGameSettings(settings, problem)) {
            std::fprintf(stderr, "kestiv-seat: %s\n", problem.c_str());
            return 1;
        }
        std::fputs(listGameSettings(settings).c_str(), stdout);
        return 0;
    }
    if (argc == 2 && !mode.starts_with("-")) {
        return seatAndRunGame(argv[0], argv[1]);
    }
    std::fputs("usage: kestiv-seat TERMINAL | --play SECONDS IDLE TERMINAL | --serve COMMAND... | --settings\n",
               stderr);
    return 2;
}
