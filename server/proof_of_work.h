#pragma once
// A proof of work a server may ask before a game: the player finds an answer
// such that the SHA-256 of the challenge followed by the answer begins with
// a given number of zero bits, which takes about 2^bits tries.
#include <string>

// A fresh challenge: 32 lowercase hexadecimal digits from getrandom. Empty
// when no random bytes could be had.
std::string makeChallenge();

// Whether `answer` (printable, without the line end, 1 to 64 bytes) proves
// `bits` of work on the challenge.
bool provesWork(const std::string& challenge, const std::string& answer, long bits);

// The line a player is told: what to do and how long they have.
std::string challengeText(const std::string& challenge, long bits, long seconds);

// The one-line python3 command, using only its standard library, that prints
// an answer.
std::string solverCommand(const std::string& challenge, long bits);
