#include "metrics.h"

#include <algorithm>
#include <charconv>

namespace {

// The shortest decimal that reads back as the same double.
std::string number(double value) {
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return std::string(text, end);
}

// A label value with the escapes the text format asks for.
std::string escaped(const std::string& value) {
    std::string text;
    for (char c : value) {
        if (c == '\\' || c == '"') {
            text += '\\';
            text += c;
        } else if (c == '\n') {
            text += "\\n";
        } else {
            text += c;
        }
    }
    return text;
}

void family(std::string& text, const char* name, const char* type, const char* help) {
    text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void sample(std::string& text, const std::string& name, const std::string& labels,
            const std::string& value) {
    text += name + (labels.empty() ? "" : "{" + labels + "}") + " " + value + "\n";
}

void histogram(std::string& text, const char* name, const char* help, const Histogram& observed) {
    family(text, name, "histogram", help);
    std::uint64_t cumulative = 0;
    for (size_t bucket = 0; bucket < observed.bounds.size(); ++bucket) {
        cumulative += observed.counts[bucket];
        sample(text, std::string(name) + "_bucket",
               "le=\"" + number(observed.bounds[bucket]) + "\"", std::to_string(cumulative));
    }
    cumulative += observed.counts.back();
    sample(text, std::string(name) + "_bucket", "le=\"+Inf\"", std::to_string(cumulative));
    sample(text, std::string(name) + "_sum", "", number(observed.sum));
    sample(text, std::string(name) + "_count", "", std::to_string(cumulative));
}

void connections(std::string& text, const ServerMetrics& metrics) {
    family(text, "kestiv_connections_total", "counter",
           "Connections by fate; those turned away by reason.");
    const char* name = "kestiv_connections_total";
    sample(text, name, "fate=\"played\"", std::to_string(metrics.played));
    sample(text, name, "fate=\"waited_then_played\"", std::to_string(metrics.waitedThenPlayed));
    sample(text, name, "fate=\"left_line\"", std::to_string(metrics.leftLine));
    for (size_t reason = 0; reason < metrics.turnedAway.size(); ++reason) {
        sample(text, name,
               std::string("fate=\"turned_away\",reason=\"") +
                   refusalLabel(static_cast<Refusal>(reason)) + "\"",
               std::to_string(metrics.turnedAway[reason]));
    }
}

void endings(std::string& text, const ServerMetrics& metrics) {
    family(text, "kestiv_game_endings_total", "counter", "Games ended, by reason.");
    for (size_t reason = 1; reason < metrics.endings.size(); ++reason) {
        sample(text, "kestiv_game_endings_total",
               std::string("reason=\"") + endingLabel(static_cast<GameEnding>(reason)) + "\"",
               std::to_string(metrics.endings[reason]));
    }
}

void groups(std::string& text, const LiveCounts& live) {
    family(text, "kestiv_group_games", "gauge", "Games in play of the busiest address groups.");
    for (const GroupCounts& group : live.busiest) {
        sample(text, "kestiv_group_games", "group=\"" + escaped(group.group) + "\"",
               std::to_string(group.games));
    }
    family(text, "kestiv_group_waiting", "gauge",
           "Players waiting or proving of the busiest address groups.");
    for (const GroupCounts& group : live.busiest) {
        sample(text, "kestiv_group_waiting", "group=\"" + escaped(group.group) + "\"",
               std::to_string(group.waiting));
    }
}

}  // namespace

Histogram::Histogram(std::vector<double> upperBounds)
    : bounds(std::move(upperBounds)), counts(bounds.size() + 1, 0) {}

void Histogram::observe(double value) {
    auto above = std::lower_bound(bounds.begin(), bounds.end(), value);
    ++counts[static_cast<size_t>(above - bounds.begin())];
    sum += value;
}

LiveCounts liveCounts(const SeatsAndLine& line, size_t most) {
    LiveCounts live;
    live.inPlay = line.inPlay;
    for (const auto& [name, group] : line.groups) {
        long proving = group.proving + static_cast<long>(group.unproven.size());
        live.proving += proving;
        // A connection without an address is a group of its own, named by
        // its number after '#': no group a host would look for.
        if (!name.starts_with('#')) {
            live.busiest.push_back(
                {name, group.playing, proving + static_cast<long>(group.waiting.size())});
        }
    }
    live.waiting = line.inLine + line.provingApart - live.proving;
    auto busier = [](const GroupCounts& a, const GroupCounts& b) {
        long aAll = a.games + a.waiting;
        long bAll = b.games + b.waiting;
        return aAll != bAll ? aAll > bAll : a.group < b.group;
    };
    size_t shown = std::min(most, live.busiest.size());
    std::partial_sort(live.busiest.begin(), live.busiest.begin() + static_cast<long>(shown),
                      live.busiest.end(), busier);
    live.busiest.resize(shown);
    return live;
}

const char* refusalLabel(Refusal refusal) {
    switch (refusal) {
    case Refusal::groupFull: return "group_full";
    case Refusal::lineFull: return "line_full";
    case Refusal::wrongProof: return "wrong_proof";
    case Refusal::noProofInTime: return "no_proof_in_time";
    case Refusal::waitedTooLong: return "waited_too_long";
    case Refusal::badProxyHeader: return "bad_proxy_header";
    case Refusal::terminalUnrunnable: return "terminal_unrunnable";
    case Refusal::shutdown: return "shutdown";
    case Refusal::networkFull: return "network_full";
    case Refusal::madeRoom: return "made_room";
    case Refusal::proversFull: return "provers_full";
    case Refusal::tooOften: return "too_often";
    default: return "unknown";
    }
}

const char* endingLabel(GameEnding ending) {
    switch (ending) {
    case GameEnding::inputEnded: return "input_ended";
    case GameEnding::leftOrCrashed: return "left_or_crashed";
    case GameEnding::timeUp: return "time_up";
    case GameEnding::idle: return "idle";
    case GameEnding::cpuCap: return "cpu_cap";
    case GameEnding::memoryCap: return "memory_cap";
    case GameEnding::shutdown: return "shutdown";
    case GameEnding::playerGone: return "player_gone";
    case GameEnding::unrunnable: return "terminal_unrunnable";
    default: return "unknown";
    }
}

std::string renderMetrics(const ServerMetrics& metrics, const LiveCounts& live,
                          const std::vector<std::pair<std::string, long>>& settings) {
    std::string text;
    family(text, "kestiv_games_in_play", "gauge", "Games in play.");
    sample(text, "kestiv_games_in_play", "", std::to_string(live.inPlay));
    family(text, "kestiv_players_waiting", "gauge", "Players waiting in line for a seat.");
    sample(text, "kestiv_players_waiting", "", std::to_string(live.waiting));
    family(text, "kestiv_players_proving", "gauge",
           "Players asked to prove their work, not yet answered.");
    sample(text, "kestiv_players_proving", "", std::to_string(live.proving));
    groups(text, live);
    connections(text, metrics);
    endings(text, metrics);
    histogram(text, "kestiv_wait_seconds",
              "Seconds in line of the players who waited, then played.", metrics.waits);
    histogram(text, "kestiv_game_seconds", "Lengths of the games ended, in seconds.", metrics.gameLengths);
    family(text, "kestiv_setting", "gauge", "The settings in force, by name.");
    for (const auto& [name, value] : settings) {
        sample(text, "kestiv_setting", "name=\"" + escaped(name) + "\"", std::to_string(value));
    }
    return text;
}
