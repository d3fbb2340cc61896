#include "settings.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

#include "address_prefixes.h"

extern char** environ;

namespace {

struct SettingRule {
    const char* name;
    long GameSettings::*field;
    long byDefault;
    long lowest;
    long highest;
};

// The bounds keep every product made from a setting (MiB to bytes, seats and
// waiting players to open descriptors) far from overflow and from the limits
// of one machine. A proof of work of 24 bits took the players' python3
// command about a minute on a busy 2-core machine, and each bit doubles it
// (docs/figures.md): 26 is minutes, more would shut people out.
// A network holds four address groups' worth of games by default: a lab or a
// household of a few players fits, one renter of a /24 or a /48 gets no more
// than four machines would. 60 connections a minute is a game a second, which
// no person typing reaches.
constexpr SettingRule rules[] = {
    {"KESTIV_GAMES", &GameSettings::games, 100, 1, 10000},
    {"KESTIV_GAMES_PER_ADDRESS", &GameSettings::gamesPerAddress, 4, 1, 10000},
    {"KESTIV_GAMES_PER_NETWORK", &GameSettings::gamesPerNetwork, 16, 1, 10000},
    {"KESTIV_GAME_SECONDS", &GameSettings::gameSeconds, 1800, 1, 86400},
    {"KESTIV_IDLE_SECONDS", &GameSettings::idleSeconds, 300, 1, 86400},
    {"KESTIV_GAME_MEMORY", &GameSettings::gameMemoryMiB, 128, 1, 65536},
    {"KESTIV_GAME_CPU_SECONDS", &GameSettings::gameCpuSeconds, 10, 1, 86400},
    {"KESTIV_LINE", &GameSettings::line, 500, 0, 10000},
    {"KESTIV_WAIT_SECONDS", &GameSettings::waitSeconds, 900, 1, 86400},
    {"KESTIV_IPV6_PREFIX", &GameSettings::ipv6Prefix, 64, 32, 128},
    {"KESTIV_IPV4_NETWORK_PREFIX", &GameSettings::ipv4NetworkPrefix, 24, 8, 32},
    {"KESTIV_IPV6_NETWORK_PREFIX", &GameSettings::ipv6NetworkPrefix, 48, 16, 128},
    {"KESTIV_CONNECTIONS_PER_MINUTE", &GameSettings::connectionsPerMinute, 60, 1, 100000},
    {"KESTIV_PROXY_PROTOCOL", &GameSettings::proxyProtocol, 0, 0, 1},
    {"KESTIV_POW_BITS", &GameSettings::powBits, 0, 0, 26},
    {"KESTIV_POW_SECONDS", &GameSettings::powSeconds, 60, 1, 3600},
};

// Names that are settings without being numbers: the keeper's folder, the
// proxies, the metrics' address, the browser bridge, and the keeper's socket
// name, which the keeper gives its games, and the file of settings over the
// environment.
constexpr const char* textSettings[] = {
    "KESTIV_SEATS",        "KESTIV_PROXY_FROM",       "KESTIV_METRICS",
    "KESTIV_WEBSOCKET",    "KESTIV_WEBSOCKET_ORIGIN", "KESTIV_KEEPER",
    "KESTIV_SETTINGS_FILE"};

using SettingValues = std::map<std::string, std::string>;

std::string environmentValue(const char* name) {
    const char* text = std::getenv(name);
    return text != nullptr ? text : "";
}

bool isSettingName(const std::string& name) {
    return std::any_of(std::begin(rules), std::end(rules),
                       [&](auto& rule) { return name == rule.name; }) ||
           std::any_of(std::begin(textSettings), std::end(textSettings),
                       [&](auto& text) { return name == text; });
}

// The file's NAME=value lines over the environment's values; blank lines and
// lines from # on are no settings.
void readSettingsFile(const std::string& path, SettingValues& values, std::vector<std::string>& problems) {
    std::ifstream file(path);
    if (!file) {
        problems.push_back("KESTIV_SETTINGS_FILE names " + path + ", which cannot be read");
        return;
    }
    std::string text;
    for (long number = 1; std::getline(file, text); ++number) {
        if (text.empty() || text[0] == '#') {
            continue;
        }
        size_t equals = text.find('=');
        std::string name = text.substr(0, equals);
        std::string where = path + " line " + std::to_string(number) + ": ";
        if (equals == std::string::npos || !isSettingName(name) || name == "KESTIV_SETTINGS_FILE") {
            problems.push_back(where + "not a line NAME=value with the name of a setting: '" + text + "'");
            continue;
        }
        values[name] = text.substr(equals + 1);
    }
}

SettingValues settingValues(std::vector<std::string>& problems) {
    SettingValues values;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string pair = *entry;
        if (pair.starts_with("KESTIV_") && pair.find('=') != std::string::npos) {
            values[pair.substr(0, pair.find('='))] = pair.substr(pair.find('=') + 1);
        }
    }
    std::string file = environmentValue("KESTIV_SETTINGS_FILE");
    if (!file.empty()) {
        readSettingsFile(file, values, problems);
    }
    return values;
}

std::string valueOf(const SettingValues& values, const char* name) {
    auto found = values.find(name);
    return found != values.end() ? found->second : "";
}

// [ADDRESS:]PORT, the address an IPv4 one or an IPv6 one in brackets.
bool validListenAddress(const std::string& text) {
    size_t colon = text.rfind(':');
    std::string port = colon == std::string::npos ? text : text.substr(colon + 1);
    long number = 0;
    if (!parseSettingNumber(port, 1, 65535, number)) {
        return false;
    }
    if (colon == std::string::npos) {
        return true;
    }
    std::string address = text.substr(0, colon);
    unsigned char bytes[16];
    if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
        return inet_pton(AF_INET6, address.substr(1, address.size() - 2).c_str(), bytes) == 1;
    }
    return inet_pton(AF_INET, address.c_str(), bytes) == 1;
}

// KESTIV_PROXY_FROM's problems: it must name the proxies when PROXY headers
// are read, since a header from anyone else would let them claim any address.
void checkProxyFrom(const GameSettings& settings, std::vector<std::string>& problems) {
    if (settings.proxyFrom.empty()) {
        if (settings.proxyProtocol != 0) {
            problems.push_back(
                "KESTIV_PROXY_FROM must name the proxies whose PROXY headers count (such as "
                "10.0.0.0/8,192.0.2.7) when KESTIV_PROXY_PROTOCOL is 1: else any player could claim "
                "any address");
        }
        return;
    }
    if (settings.proxyFrom.size() > longestAddressPrefixList) {
        problems.push_back("KESTIV_PROXY_FROM may be " + std::to_string(longestAddressPrefixList) +
                           " characters long at most, not " + std::to_string(settings.proxyFrom.size()));
        return;
    }
    std::vector<AddressPrefix> prefixes;
    for (const std::string& problem : parseAddressPrefixes(settings.proxyFrom, prefixes)) {
        problems.push_back(
            "KESTIV_PROXY_FROM must be a comma-separated list of addresses and "
            "networks (ADDRESS or ADDRESS/BITS): " +
            problem);
    }
}

size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

bool parseSettingNumber(const std::string& text, long lowest, long highest, long& value) {
    if (text.empty() || text.size() > 9 || (text[0] == '0' && text.size() > 1)) {
        return false;
    }
    long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        number = number * 10 + (c - '0');
    }
    if (number < lowest || number > highest) {
        return false;
    }
    value = number;
    return true;
}

std::vector<std::string> readGameSettings(GameSettings& settings) {
    std::vector<std::string> problems;
    SettingValues values = settingValues(problems);
    for (const SettingRule& rule : rules) {
        std::string text = valueOf(values, rule.name);
        if (text.empty()) {
            settings.*rule.field = rule.byDefault;
        } else if (!parseSettingNumber(text, rule.lowest, rule.highest, settings.*rule.field)) {
            problems.push_back(std::string(rule.name) + " must be a whole number from " +
                               std::to_string(rule.lowest) + " to " + std::to_string(rule.highest) +
                               ", in decimal digits without leading zeros, not '" + text + "'");
        }
    }
    settings.proxyFrom = valueOf(values, "KESTIV_PROXY_FROM");
    checkProxyFrom(settings, problems);
    settings.metrics = valueOf(values, "KESTIV_METRICS");
    if (!settings.metrics.empty() && !validListenAddress(settings.metrics)) {
        problems.push_back("KESTIV_METRICS must be PORT, IPV4-ADDRESS:PORT or [IPV6-ADDRESS]:PORT, not '" +
                           settings.metrics + "'");
    }
    settings.websocket = valueOf(values, "KESTIV_WEBSOCKET");
    settings.websocketOrigin = valueOf(values, "KESTIV_WEBSOCKET_ORIGIN");
    if (!settings.websocket.empty() && !validListenAddress(settings.websocket)) {
        problems.push_back("KESTIV_WEBSOCKET must be PORT, IPV4-ADDRESS:PORT or [IPV6-ADDRESS]:PORT, not '" +
                           settings.websocket + "'");
    }
    if (!settings.websocket.empty() && settings.websocketOrigin.empty()) {
        problems.push_back(
            "KESTIV_WEBSOCKET_ORIGIN must name the site whose page may play (such as "
            "kestiv.example.org) when KESTIV_WEBSOCKET is set");
    }
    if (settings.websocketOrigin.find_first_of(" \t\r\n") != std::string::npos) {
        problems.push_back("KESTIV_WEBSOCKET_ORIGIN may hold no spaces, not '" +
                           settings.websocketOrigin + "'");
    }
    return problems;
}

std::vector<std::string> unknownSettingNames() {
    std::vector<std::string> known;
    for (const SettingRule& rule : rules) {
        known.push_back(rule.name);
    }
    known.insert(known.end(), std::begin(textSettings), std::end(textSettings));
    std::vector<std::string> warnings;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string name(*entry, std::strcspn(*entry, "="));
        if (!name.starts_with("KESTIV_") || std::find(known.begin(), known.end(), name) != known.end()) {
            continue;
        }
        auto nearest = std::min_element(known.begin(), known.end(), [&](auto& a, auto& b) {
            return editDistance(name, a) < editDistance(name, b);
        });
        warnings.push_back(name + " is no setting of kestiv's terminal and is ignored; did you mean " +
                           *nearest + "?");
    }
    return warnings;
}

std::string listGameSettings(const GameSettings& settings) {
    std::string lines;
    for (const SettingRule& rule : rules) {
        lines += std::string(rule.name) + "=" + std::to_string(settings.*rule.field) + "\n";
    }
    // Listed even when empty, off, so that every place that states every
    // setting states these.
    lines += "KESTIV_PROXY_FROM=" + settings.proxyFrom + "\n";
    lines += "KESTIV_METRICS=" + settings.metrics + "\n";
    if (!settings.websocket.empty()) {
        lines += "KESTIV_WEBSOCKET=" + settings.websocket + "\n";
        lines += "KESTIV_WEBSOCKET_ORIGIN=" + settings.websocketOrigin + "\n";
    }
    return lines;
}

std::string settingsOnOneLine(const GameSettings& settings) {
    std::string listed = listGameSettings(settings);
    std::replace(listed.begin(), listed.end(), '\n', ' ');
    return listed.substr(0, listed.size() - 1);
}

std::vector<std::pair<std::string, long>> numberSettings(const GameSettings& settings) {
    std::vector<std::pair<std::string, long>> numbers;
    for (const SettingRule& rule : rules) {
        numbers.emplace_back(rule.name, settings.*rule.field);
    }
    return numbers;
}

std::string describeDuration(long seconds) {
    if (seconds % 60 == 0) {
        return std::to_string(seconds / 60) + (seconds == 60 ? " minute" : " minutes");
    }
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}
