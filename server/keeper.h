#pragma once
// The seat keeper: one process per server that holds every seat, address
// group and the line in memory, in one single-threaded event loop. Each
// game's seat asks it over a channel it keeps open for the life of its game,
// so that nothing is left to clean up and no file holds any state.
#include <sys/types.h>
#include <csignal>
#include <vector>

#include "settings.h"
#include "terminal_copy.h"

// The signals that stop the server gracefully, and SIGHUP, which reloads it,
// less those ignored when it started (nohup, a script's &), which stay
// ignored.
sigset_t stoppingSignals();

// Blocks `signals` and SIGCHLD for the keeper's loop, which reads them.
void blockKeeperSignals(const sigset_t& signals);

// Runs the keeper on `listener`, a listening unix SOCK_SEQPACKET socket,
// serving its metrics to scrapers on `scrapes` (from listenForScrapes; -1
// for none), until a stopping signal has ended every game and every child,
// or a child in `vital` ends by itself. With `vital` listeners (socat first),
// a game whose terminal cannot be run stops them and ends the keeper once the
// games in play have. Children inherited as orphans are reaped too. Every
// game is handed `copy`, the keeper's copy of the terminal (none: games run
// their own); SIGHUP takes the settings and the terminal again for the games
// that start from then on. Returns the exit status: 128 + the signal that
// stopped it, or 1.
int keepSeats(const GameSettings& settings, int listener, int scrapes,
              const std::vector<pid_t>& vital, const sigset_t& stopping, const TerminalCopy& copy);

// Checks that the keeper may hold a channel for every game and every player
// in line, raising its limit of open files as far as it may. Returns false
// with `problem` saying what to change.
bool roomForChannels(const GameSettings& settings, std::string& problem);
