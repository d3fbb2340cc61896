#include "metrics.h"

#include <gtest/gtest.h>

#include "status_report.h"

namespace {

// A small state: one game played at once and one after a wait of 7.5 s,
// one ended by time up after 1800 s, one player turned away for a full line.
ServerMetrics smallState() {
    ServerMetrics metrics;
    metrics.played = 1;
    metrics.waitedThenPlayed = 1;
    metrics.waits.observe(7.5);
    metrics.turnedAway[static_cast<size_t>(Refusal::lineFull)] = 1;
    metrics.endings[static_cast<size_t>(GameEnding::timeUp)] = 1;
    metrics.gameLengths.observe(1800);
    return metrics;
}

TEST(Metrics, SmallStateRendersExactly) {
    LiveCounts live{2, 1, 0, {{"127.0.0.2", 2, 1}}};
    std::string text = renderMetrics(smallState(), live, {{"KESTIV_GAMES", 2}, {"KESTIV_LINE", 500}});
    EXPECT_EQ(text,
              "# HELP kestiv_games_in_play Games in play.\n"
              "# TYPE kestiv_games_in_play gauge\n"
              "kestiv_games_in_play 2\n"
              "# HELP kestiv_players_waiting Players waiting in line for a seat.\n"
              "# TYPE kestiv_players_waiting gauge\n"
              "kestiv_players_waiting 1\n"
              "# HELP kestiv_players_proving Players asked to prove their work, not yet answered.\n"
              "# TYPE kestiv_players_proving gauge\n"
              "kestiv_players_proving 0\n"
              "# HELP kestiv_group_games Games in play of the busiest address groups.\n"
              "# TYPE kestiv_group_games gauge\n"
              "kestiv_group_games{group=\"127.0.0.2\"} 2\n"
              "# HELP kestiv_group_waiting Players waiting or proving of the busiest address groups.\n"
              "# TYPE kestiv_group_waiting gauge\n"
              "kestiv_group_waiting{group=\"127.0.0.2\"} 1\n"
              "# HELP kestiv_connections_total Connections by fate; those turned away by reason.\n"
              "# TYPE kestiv_connections_total counter\n"
              "kestiv_connections_total{fate=\"played\"} 1\n"
              "kestiv_connections_total{fate=\"waited_then_played\"} 1\n"
              "kestiv_connections_total{fate=\"left_line\"} 0\n"
              "kestiv_connections_total{fate=\"turned_away\",reason=\"group_full\"} 0\n"
              "kestiv_connections_total{fate=\"turned_away\",reason=\"line_full\"} 1\n"
              "kestiv_connections_total{fate=\"turned_away\",reason=\"wrong_proof\"} 0\n"
              "kestiv_connections_total{fate=\"turned_away\",reason=\"no_proof_in_time\"} 0\n"
              "kestiv_connections_total{fate=\"turned_away\",reason=\"waited_too_long\"} 0\n"
              "kestiv_connections_total{fate=\"turned_away\",reason=\"bad_proxy_header\"} 0\n"
              "kestiv_connections_total{fate=\"turned_away\",reason=\"terminal_unrunnable\"} 0\n"
              "kestiv_connections_total{fate=\"turned_away\",reason=\"shutdown\"} 0\n"
              "kestiv_connections_total{fate=\"turned_away\",reason=\"network_full\"} 0\n"
              "kestiv_connections_total{fate=\"turned_away\",reason=\"made_room\"} 0\n"
              "kestiv_connections_total{fate=\"turned_away\",reason=\"provers_full\"} 0\n"
              "kestiv_connections_total{fate=\"turned_away\",reason=\"too_often\"} 0\n"
              "# HELP kestiv_game_endings_total Games ended, by reason.\n"
              "# TYPE kestiv_game_endings_total counter\n"
              "kestiv_game_endings_total{reason=\"input_ended\"} 0\n"
              "kestiv_game_endings_total{reason=\"left_or_crashed\"} 0\n"
              "kestiv_game_endings_total{reason=\"time_up\"} 1\n"
              "kestiv_game_endings_total{reason=\"idle\"} 0\n"
              "kestiv_game_endings_total{reason=\"cpu_cap\"} 0\n"
              "kestiv_game_endings_total{reason=\"memory_cap\"} 0\n"
              "kestiv_game_endings_total{reason=\"shutdown\"} 0\n"
              "kestiv_game_endings_total{reason=\"player_gone\"} 0\n"
              "kestiv_game_endings_total{reason=\"terminal_unrunnable\"} 0\n"
              "# HELP kestiv_wait_seconds Seconds in line of the players who waited, then played.\n"
              "# TYPE kestiv_wait_seconds histogram\n"
              "kestiv_wait_seconds_bucket{le=\"1\"} 0\n"
              "kestiv_wait_seconds_bucket{le=\"5\"} 0\n"
              "kestiv_wait_seconds_bucket{le=\"15\"} 1\n"
              "kestiv_wait_seconds_bucket{le=\"30\"} 1\n"
              "kestiv_wait_seconds_bucket{le=\"60\"} 1\n"
              "kestiv_wait_seconds_bucket{le=\"120\"} 1\n"
              "kestiv_wait_seconds_bucket{le=\"300\"} 1\n"
              "kestiv_wait_seconds_bucket{le=\"600\"} 1\n"
              "kestiv_wait_seconds_bucket{le=\"900\"} 1\n"
              "kestiv_wait_seconds_bucket{le=\"1800\"} 1\n"
              "kestiv_wait_seconds_bucket{le=\"3600\"} 1\n"
              "kestiv_wait_seconds_bucket{le=\"+Inf\"} 1\n"
              "kestiv_wait_seconds_sum 7.5\n"
              "kestiv_wait_seconds_count 1\n"
              "# HELP kestiv_game_seconds Lengths of the games ended, in seconds.\n"
              "# TYPE kestiv_game_seconds histogram\n"
              "kestiv_game_seconds_bucket{le=\"10\"} 0\n"
              "kestiv_game_seconds_bucket{le=\"30\"} 0\n"
              "kestiv_game_seconds_bucket{le=\"60\"} 0\n"
              "kestiv_game_seconds_bucket{le=\"120\"} 0\n"
              "kestiv_game_seconds_bucket{le=\"300\"} 0\n"
              "kestiv_game_seconds_bucket{le=\"600\"} 0\n"
              "kestiv_game_seconds_bucket{le=\"900\"} 0\n"
              "kestiv_game_seconds_bucket{le=\"1200\"} 0\n"
              "kestiv_game_seconds_bucket{le=\"1800\"} 1\n"
              "kestiv_game_seconds_bucket{le=\"3600\"} 1\n"
              "kestiv_game_seconds_bucket{le=\"7200\"} 1\n"
              "kestiv_game_seconds_bucket{le=\"+Inf\"} 1\n"
              "kestiv_game_seconds_sum 1800\n"
              "kestiv_game_seconds_count 1\n"
              "# HELP kestiv_setting The settings in force, by name.\n"
              "# TYPE kestiv_setting gauge\n"
              "kestiv_setting{name=\"KESTIV_GAMES\"} 2\n"
              "kestiv_setting{name=\"KESTIV_LINE\"} 500\n");
}

// The buckets count every observation at most their bound, an observation
// on a bound included; +Inf and _count count all, _sum adds them up.
TEST(Metrics, HistogramBucketsAreCumulative) {
    Histogram histogram({1, 10});
    for (double value : {0.5, 1.0, 3.0, 10.0, 11.0, 2000.25}) {
        histogram.observe(value);
    }
    ServerMetrics metrics;
    metrics.waits = histogram;
    std::vector<Sample> samples = readSamples(renderMetrics(metrics, {}, {}));
    struct Expected {
        const char* name;
        const char* labels;
        double value;
    } expected[] = {
        {"kestiv_wait_seconds_bucket", "le=\"1\"", 2},
        {"kestiv_wait_seconds_bucket", "le=\"10\"", 4},
        {"kestiv_wait_seconds_bucket", "le=\"+Inf\"", 6},
        {"kestiv_wait_seconds_sum", "", 2025.75},
        {"kestiv_wait_seconds_count", "", 6},
    };
    for (const Expected& sample : expected) {
        auto found = std::find_if(samples.begin(), samples.end(), [&](const Sample& s) {
            return s.name == sample.name && s.labels == sample.labels;
        });
        ASSERT_NE(found, samples.end()) << sample.name << "{" << sample.labels << "}";
        EXPECT_EQ(found->value, sample.value) << sample.name << "{" << sample.labels << "}";
    }
}

// A group's name is an address, but whatever it holds cannot break out of
// its label.
TEST(Metrics, LabelValuesAreEscaped) {
    LiveCounts live{0, 0, 0, {{"a\"b\\c\nd", 1, 0}}};
    std::string text = renderMetrics({}, live, {});
    EXPECT_NE(text.find("kestiv_group_games{group=\"a\\\"b\\\\c\\nd\"} 1\n"), std::string::npos);
}

TEST(Metrics, LiveCountsNameTheBusiestGroups) {
    SeatsAndLine line;
    line.seats = 2;
    line.perGroup = 4;
    line.perNetwork = 16;
    line.lineBound = 10;
    ConnectionId next = 1;
    for (const char* group : {"10.0.0.2", "10.0.0.1", "10.0.0.1", "10.0.0.3", "10.0.0.1", ""}) {
        admit(line, next++, {group, group}, false);
    }
    admit(line, next, {"10.0.0.4", "10.0.0.4"}, true);
    LiveCounts live = liveCounts(line, 2);
    EXPECT_EQ(live.inPlay, 2);
    EXPECT_EQ(live.waiting, 4);
    EXPECT_EQ(live.proving, 1);
    ASSERT_EQ(live.busiest.size(), 2u);
    EXPECT_EQ(live.busiest[0].group, "10.0.0.1");
    EXPECT_EQ(live.busiest[0].games, 1);
    EXPECT_EQ(live.busiest[0].waiting, 2);
    EXPECT_EQ(live.busiest[1].group, "10.0.0.2");
    EXPECT_EQ(live.busiest[1].games, 1);
    EXPECT_EQ(live.busiest[1].waiting, 0);
}

TEST(Metrics, StatusTellsTheRenderedNumbers) {
    LiveCounts live{2, 1, 0, {{"127.0.0.2", 2, 1}, {"2001:db8::/64", 0, 1}}};
    std::string text = renderMetrics(smallState(), live, {{"KESTIV_GAMES", 2}, {"KESTIV_LINE", 500}});
    EXPECT_EQ(describeStatus(readSamples(text)),
              "games in play: 2 of 2 seats\n"
              "waiting: 1 in a line of 500\n"
              "proving their work: 0\n"
              "played so far: 1 at once, 1 after waiting; 0 left the line\n"
              "turned away so far:\n"
              "  0 their address group was full\n"
              "  1 the line was full\n"
              "  0 a wrong proof of work\n"
              "  0 no proof of work in time\n"
              "  0 waited too long\n"
              "  0 a bad PROXY header\n"
              "  0 the terminal could not be run\n"
              "  0 the server shut down\n"
              "  0 their network was full\n"
              "  0 their place went to a network that had none\n"
              "  0 too many players were proving their work\n"
              "  0 they connected too often\n"
              "busiest address groups:\n"
              "  127.0.0.2: 2 in play, 1 waiting\n"
              "  2001:db8::/64: 0 in play, 1 waiting\n");
    EXPECT_NE(describeStatus({}).find("\nbusiest address groups: none\n"), std::string::npos);
}

}  // namespace
