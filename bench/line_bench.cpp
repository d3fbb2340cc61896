// The keeper tells every waiting player their place every 2 seconds, and a
// newcomer theirs at once: both cost one pass over the line in the order the
// seats would go. Measured here with the largest line the settings allow.
#include <benchmark/benchmark.h>

#include <string>

#include "waiting_line.h"

namespace {

// 100 seats held, then `waiting` connections in line from groups of 4 in
// networks of 4 groups, a script's way of waiting.
SeatsAndLine fullLine(long waiting) {
    SeatsAndLine line;
    line.seats = 100;
    line.perGroup = 4;
    line.perNetwork = 16;
    line.lineBound = 10000;
    for (ConnectionId id = 1; id <= static_cast<ConnectionId>(100 + waiting); ++id) {
        std::string group = std::to_string(id / 4);
        admit(line, id, {group, std::to_string(id / 16)}, false);
    }
    return line;
}

void placesOfEveryone(benchmark::State& state) {
    SeatsAndLine line = fullLine(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(placesInLine(line));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void placeOfTheNewest(benchmark::State& state) {
    SeatsAndLine line = fullLine(state.range(0));
    ConnectionId newest = static_cast<ConnectionId>(100 + state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(placeInLine(line, newest));
    }
}

}  // namespace

BENCHMARK(placesOfEveryone)->Arg(500)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(placeOfTheNewest)->Arg(500)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
