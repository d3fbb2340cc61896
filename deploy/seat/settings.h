#pragma once
// The settings of a served game, read from the environment. Every default and
// every upper bound lives in settings.cpp and nowhere else.
#include <string>

struct GameSettings {
    long games;            // KESTIV_GAMES
    long gamesPerAddress;  // KESTIV_GAMES_PER_ADDRESS
    long gameSeconds;      // KESTIV_GAME_SECONDS
    long idleSeconds;      // KESTIV_IDLE_SECONDS
    long gameMemoryMiB;    // KESTIV_GAME_MEMORY
    long gameCpuSeconds;   // KESTIV_GAME_CPU_SECONDS
};

// Reads every setting from the environment, the default where one is unset.
// Returns false with `problem` saying which setting is wrong and why.
bool readGameSettings(GameSettings& settings, std::string& problem);

// The settings in effect, one NAME=VALUE line each.
std::string listGameSettings(const GameSettings& settings);

// A whole number as a setting may hold it: decimal digits, no sign, no
// leading zero, from 1 to `highest`. Returns false for anything else.
bool parseSettingNumber(const std::string& text, long highest, long& value);

// "N minutes" when N is whole minutes, else "N seconds": how a game's
// messages name a duration.
std::string describeDuration(long seconds);
