#pragma once
// Where the seat keeper listens and how a game's seat reaches it: a unix
// SOCK_SEQPACKET socket, in the abstract namespace under a random name for a
// server run with --serve (KESTIV_KEEPER, given to its games), or named
// "keeper" in a folder of this user's alone (KESTIV_SEATS, or systemd's
// RUNTIME_DIRECTORY) for a keeper run by itself.
#include <string>

// The variable that names the keeper's abstract socket to its games.
constexpr const char* keeperNameVariable = "KESTIV_KEEPER";

// Checks that `folder` is a real folder, not a link, owned by this user and
// open to nobody else. Returns false with `problem` saying why not.
bool checkSeatsFolder(const std::string& folder, std::string& problem);

// The folder of a keeper run by itself: KESTIV_SEATS, else systemd's
// RUNTIME_DIRECTORY; empty when neither is set.
std::string seatsFolder();

// A listening socket in the abstract namespace under a fresh random name,
// which `name` receives. Returns -1 with `problem` set on failure.
int listenUnderRandomName(std::string& name, std::string& problem);

// A listening socket named "keeper" in the folder, replacing one left there.
int listenInFolder(const std::string& folder, std::string& problem);

// Connects to the keeper that KESTIV_KEEPER or the seats folder names, and
// takes KESTIV_KEEPER out of the environment, which the game must not see.
// Returns -1 with `problem` set on failure.
int connectToKeeper(std::string& problem);

// Whether the process at the other end of a unix socket runs as this user.
bool peerIsThisUser(int socket);
