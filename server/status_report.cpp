#include "status_report.h"

#include <algorithm>
#include <cstdlib>

#include "metrics.h"

namespace {

// The words a person reads for a refusal.
const char* describeRefusal(Refusal refusal) {
    switch (refusal) {
    case Refusal::groupFull: return "their address group was full";
    case Refusal::lineFull: return "the line was full";
    case Refusal::wrongProof: return "a wrong proof of work";
    case Refusal::noProofInTime: return "no proof of work in time";
    case Refusal::waitedTooLong: return "waited too long";
    case Refusal::badProxyHeader: return "a bad PROXY header";
    case Refusal::terminalUnrunnable: return "the terminal could not be run";
    case Refusal::shutdown: return "the server shut down";
    case Refusal::networkFull: return "their network was full";
    case Refusal::madeRoom: return "their place went to a network that had none";
    case Refusal::proversFull: return "too many players were proving their work";
    case Refusal::tooOften: return "they connected too often";
    default: return "unknown";
    }
}

long valueOf(const std::vector<Sample>& samples, const std::string& name, const std::string& labels = "") {
    for (const Sample& sample : samples) {
        if (sample.name == name && sample.labels == labels) {
            return static_cast<long>(sample.value);
        }
    }
    return 0;
}

// The value of the one label in `labels` (name="value"), its escapes undone.
std::string onlyLabelValue(const std::string& labels) {
    size_t start = labels.find('"');
    std::string value;
    for (size_t at = start + 1; at < labels.size() && labels[at] != '"'; ++at) {
        if (labels[at] == '\\' && at + 1 < labels.size()) {
            ++at;
            value += labels[at] == 'n' ? '\n' : labels[at];
        } else {
            value += labels[at];
        }
    }
    return value;
}

std::string busiestGroups(const std::vector<Sample>& samples) {
    std::vector<GroupCounts> groups;
    for (const Sample& sample : samples) {
        if (sample.name == "kestiv_group_games") {
            groups.push_back({onlyLabelValue(sample.labels), static_cast<long>(sample.value),
                              valueOf(samples, "kestiv_group_waiting", sample.labels)});
        }
    }
    std::stable_sort(groups.begin(), groups.end(), [](const GroupCounts& a, const GroupCounts& b) {
        return a.games + a.waiting > b.games + b.waiting;
    });
    if (groups.empty()) {
        return "busiest address groups: none\n";
    }
    std::string text = "busiest address groups:\n";
    for (const GroupCounts& group : groups) {
        text += "  " + group.group + ": " + std::to_string(group.games) + " in play, " +
                std::to_string(group.waiting) + " waiting\n";
    }
    return text;
}

}  // namespace

std::vector<Sample> readSamples(const std::string& text) {
    std::vector<Sample> samples;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        size_t space = line.rfind(' ');
        if (line.empty() || line[0] == '#' || space == std::string::npos) {
            continue;
        }
        Sample sample;
        std::string series = line.substr(0, space);
        size_t brace = series.find('{');
        sample.name = series.substr(0, brace);
        if (brace != std::string::npos && series.back() == '}') {
            sample.labels = series.substr(brace + 1, series.size() - brace - 2);
        }
        std::string value = line.substr(space + 1);
        char* parsed = nullptr;
        sample.value = std::strtod(value.c_str(), &parsed);
        if (parsed != value.c_str() && *parsed == '\0') {
            samples.push_back(sample);
        }
    }
    return samples;
}

std::string describeStatus(const std::vector<Sample>& samples) {
    auto setting = [&](const char* name) {
        return std::to_string(valueOf(samples, "kestiv_setting", std::string("name=\"") + name + "\""));
    };
    auto connections = [&](const std::string& labels) {
        return std::to_string(valueOf(samples, "kestiv_connections_total", labels));
    };
    std::string text =
        "games in play: " + std::to_string(valueOf(samples, "kestiv_games_in_play")) + " of " +
        setting("KESTIV_GAMES") + " seats\n" +
        "waiting: " + std::to_string(valueOf(samples, "kestiv_players_waiting")) +
        " in a line of " + setting("KESTIV_LINE") + "\n" +
        "proving their work: " + std::to_string(valueOf(samples, "kestiv_players_proving")) + "\n" +
        "played so far: " + connections("fate=\"played\"") + " at once, " +
        connections("fate=\"waited_then_played\"") + " after waiting; " +
        connections("fate=\"left_line\"") + " left the line\n" + "turned away so far:\n";
    for (size_t reason = 0; reason < static_cast<size_t>(Refusal::count); ++reason) {
        auto refusal = static_cast<Refusal>(reason);
        text += "  " +
                connections(std::string("fate=\"turned_away\",reason=\"") + refusalLabel(refusal) + "\"") +
                " " + describeRefusal(refusal) + "\n";
    }
    return text + busiestGroups(samples);
}
