// kestiv-seat: the game server's side of its players, for deploy/.
//
//   kestiv-seat TERMINAL                 a player's game on standard input and output:
//                                        asks the seat keeper for a seat, then plays
//   kestiv-seat --serve [ADDRESS:]PORT TERMINAL
//                                        a whole server: the keeper, socat and the bridge
//   kestiv-seat --keep [TERMINAL]        the keeper alone, for systemd's units
//   kestiv-seat --bridge [ADDRESS:]PORT TERMINAL
//                                        the browser bridge alone, for systemd's units
//   kestiv-seat --settings               checks the settings and lists those in effect
//   kestiv-seat --status                 the running server's numbers, from KESTIV_METRICS
#include <cstdio>
#include <string>

#include "game.h"
#include "serve.h"
#include "settings.h"
#include "status.h"

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 4 && mode == "--serve") {
        return serve(argv[0], argv[2], argv[3]);
    }
    if (argc == 4 && mode == "--bridge") {
        return bridgeAlone(argv[0], argv[2], argv[3]);
    }
    if ((argc == 2 || argc == 3) && mode == "--keep") {
        return keepAlone(argc == 3 ? argv[2] : "");
    }
    if (argc == 2 && mode == "--settings") {
        return checkSettings();
    }
    if (argc == 2 && mode == "--status") {
        return showStatus();
    }
    if (argc == 2 && !mode.starts_with("-")) {
        return seatAndRunGame(argv[1]);
    }
    std::fputs(
        "usage: kestiv-seat TERMINAL | --serve [ADDRESS:]PORT TERMINAL | --keep [TERMINAL] |"
        " --bridge [ADDRESS:]PORT TERMINAL | --settings | --status\n",
        stderr);
    return 2;
}
