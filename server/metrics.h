#pragma once
// Prometheus's text format (0.0.4), written here: Debian's prometheus-cpp has no static library.
//
// What a host sees of a running server: counters of every connection's fate
// and every game's ending, histograms of waits and game lengths, and the
// numbers of the moment, rendered as the exposition text that Prometheus
// scrapes and `kestiv-seat --status` reads. No input or output here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "game_ending.h"
#include "waiting_line.h"

// Why a connection was turned away.
enum class Refusal : std::uint8_t {
    groupFull,
    lineFull,
    wrongProof,
    noProofInTime,
    waitedTooLong,
    badProxyHeader,
    terminalUnrunnable,
    shutdown,
    networkFull,
    madeRoom,  // its place in line went to a network that held none
    proversFull,
    tooOften,
    count,
};

// Observations counted into buckets: counts[i] those at most bounds[i], the
// last count those above every bound.
struct Histogram {
    std::vector<double> bounds;
    std::vector<std::uint64_t> counts;
    double sum = 0;

    explicit Histogram(std::vector<double> upperBounds);
    void observe(double value);
};

// Every count since the server started.
struct ServerMetrics {
    std::uint64_t played = 0;            // seated at once
    std::uint64_t waitedThenPlayed = 0;  // seated after waiting in line
    std::uint64_t leftLine = 0;          // gone while waiting or proving
    std::array<std::uint64_t, static_cast<size_t>(Refusal::count)> turnedAway{};
    std::array<std::uint64_t, static_cast<size_t>(GameEnding::count)> endings{};
    Histogram waits{{1, 5, 15, 30, 60, 120, 300, 600, 900, 1800, 3600}};
    Histogram gameLengths{{10, 30, 60, 120, 300, 600, 900, 1200, 1800, 3600, 7200}};
};

// One address group's games in play and connections waiting or proving.
struct GroupCounts {
    std::string group;
    long games = 0;
    long waiting = 0;
};

// The numbers of the moment.
struct LiveCounts {
    long inPlay = 0;
    long waiting = 0;
    long proving = 0;
    std::vector<GroupCounts> busiest;  // most games and waiting first
};

// How many address groups the metrics name at most: the busiest.
constexpr size_t busiestGroupsShown = 10;

// The numbers of the moment in `line`, with its `most` busiest groups: most
// games plus waiting first, then by name.
LiveCounts liveCounts(const SeatsAndLine& line, size_t most);

// The label value naming a refusal or an ending, in snake_case.
const char* refusalLabel(Refusal refusal);
const char* endingLabel(GameEnding ending);

// The exposition text of every metric, each family with its HELP and TYPE
// lines; `settings` become kestiv_setting{name="..."} gauges.
std::string renderMetrics(const ServerMetrics& metrics, const LiveCounts& live,
                          const std::vector<std::pair<std::string, long>>& settings);
