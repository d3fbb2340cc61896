#pragma once
// The settings of a served game, read from the environment. Every default and
// every bound lives in settings.cpp and nowhere else.
#include <string>
#include <utility>
#include <vector>

struct GameSettings {
    long games;                   // KESTIV_GAMES
    long gamesPerAddress;         // KESTIV_GAMES_PER_ADDRESS, per address group
    long gamesPerNetwork;         // KESTIV_GAMES_PER_NETWORK, per network
    long gameSeconds;             // KESTIV_GAME_SECONDS
    long idleSeconds;             // KESTIV_IDLE_SECONDS
    long gameMemoryMiB;           // KESTIV_GAME_MEMORY
    long gameCpuSeconds;          // KESTIV_GAME_CPU_SECONDS
    long line;                    // KESTIV_LINE
    long waitSeconds;             // KESTIV_WAIT_SECONDS
    long ipv6Prefix;              // KESTIV_IPV6_PREFIX
    long ipv4NetworkPrefix;       // KESTIV_IPV4_NETWORK_PREFIX
    long ipv6NetworkPrefix;       // KESTIV_IPV6_NETWORK_PREFIX
    long connectionsPerMinute;    // KESTIV_CONNECTIONS_PER_MINUTE, per address group
    long proxyProtocol;           // KESTIV_PROXY_PROTOCOL
    long powBits;                 // KESTIV_POW_BITS
    long powSeconds;              // KESTIV_POW_SECONDS
    std::string proxyFrom;        // KESTIV_PROXY_FROM, the proxies whose PROXY headers count
    std::string metrics;          // KESTIV_METRICS, [ADDRESS:]PORT or empty
    std::string websocket;        // KESTIV_WEBSOCKET, [ADDRESS:]PORT or empty
    std::string websocketOrigin;  // KESTIV_WEBSOCKET_ORIGIN
};

// Reads every setting from the environment and, over it, from the file that
// KESTIV_SETTINGS_FILE names (NAME=value lines), the default where one is
// unset. Returns one sentence for each setting that is wrong, none when all
// are good.
std::vector<std::string> readGameSettings(GameSettings& settings);

// A warning for each KESTIV_ name in the environment that is no setting,
// naming the nearest setting.
std::vector<std::string> unknownSettingNames();

// The settings in effect, one NAME=VALUE line each.
std::string listGameSettings(const GameSettings& settings);

// The same NAME=VALUE pairs on one line, for the log.
std::string settingsOnOneLine(const GameSettings& settings);

// The settings that are numbers, each with its name, in the order listed.
std::vector<std::pair<std::string, long>> numberSettings(const GameSettings& settings);

// A whole number as a setting may hold it: decimal digits, no sign, no
// leading zero, from `lowest` to `highest`. Returns false for anything else.
bool parseSettingNumber(const std::string& text, long lowest, long highest, long& value);

// "N minutes" when N is whole minutes, else "N seconds" ("1 minute", "1
// second"): how a game's messages name a duration.
std::string describeDuration(long seconds);
