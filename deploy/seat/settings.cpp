#include "settings.h"

#include <cstdlib>

namespace {

struct SettingRule {
    const char* name;
    long GameSettings::*field;
    long byDefault;
    long highest;
};

// The bounds keep every product made from a setting (MiB to bytes, seats to
// open files) far from overflow and from the limits of one machine.
constexpr SettingRule rules[] = {
    {"KESTIV_GAMES", &GameSettings::games, 100, 10000},
    {"KESTIV_GAMES_PER_ADDRESS", &GameSettings::gamesPerAddress, 4, 10000},
    {"KESTIV_GAME_SECONDS", &GameSettings::gameSeconds, 1800, 86400},
    {"KESTIV_IDLE_SECONDS", &GameSettings::idleSeconds, 300, 86400},
    {"KESTIV_GAME_MEMORY", &GameSettings::gameMemoryMiB, 128, 65536},
    {"KESTIV_GAME_CPU_SECONDS", &GameSettings::gameCpuSeconds, 10, 86400},
};

}  // namespace

bool parseSettingNumber(const std::string& text, long highest, long& value) {
    if (text.empty() || text.size() > 9 || text[0] == '0') {
        return false;
    }
    long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        number = number * 10 + (c - '0');
    }
    if (number > highest) {
        return false;
    }
    value = number;
    return true;
}

bool readGameSettings(GameSettings& settings, std::string& problem) {
    for (const SettingRule& rule : rules) {
        const char* text = std::getenv(rule.name);
        if (text == nullptr || *text == '\0') {
            settings.*rule.field = rule.byDefault;
        } else if (!parseSettingNumber(text, rule.highest, settings.*rule.field)) {
            problem = std::string(rule.name) + " must be a whole number from 1 to " +
                      std::to_string(rule.highest) +
                      ", in decimal digits without leading zeros, not '" + text + "'";
            return false;
        }
    }
    return true;
}

std::string listGameSettings(const GameSettings& settings) {
    std::string lines;
    for (const SettingRule& rule : rules) {
        lines += std::string(rule.name) + "=" + std::to_string(settings.*rule.field) + "\n";
    }
    return lines;
}

std::string describeDuration(long seconds) {
    if (seconds % 60 == 0) {
        return std::to_string(seconds / 60) + " minutes";
    }
    return std::to_string(seconds) + " seconds";
}
