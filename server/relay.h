#pragma once
// The game in play: the relay between the player's connection and the
// game's pseudo-terminal, and the limits of time it keeps.
#include "game_process.h"

// Relays `game` between the player (reading standard input, writing standard
// output: one socket, or a bridge's two pipes) and its pseudo-terminal until
// the game has ended and what it wrote has reached the player, each LF as CR
// LF. Ends the game at its time limit, when it has sent the player nothing
// for its idle limit, when the player has gone, on a stopping signal read
// from `signals` (a signalfd that also reads SIGCHLD), or when the keeper on
// `channel` says the server stops (its closing leaves the game to its own
// limits, and `channel` -1). A game ended by a limit or the server ends with the message that
// says so, and the player's last line is ended. Returns how it ended.
GameEnding relayGame(RunningGame& game, const GameLimits& limits, int& channel, int signals);
