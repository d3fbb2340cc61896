#pragma once
// `kestiv-seat --status` for a person: the metrics' text read back and told
// in a few lines. No input or output here.
#include <string>
#include <vector>

struct Sample {
    std::string name;
    std::string labels;  // as written between the braces, empty for none
    double value = 0;
};

// Every sample of an exposition text, comments and blank lines skipped, in
// the order written. A line that is no sample is skipped too.
std::vector<Sample> readSamples(const std::string& text);

// The lines --status prints from a server's samples: the games, the line,
// the fates so far, and the busiest address groups.
std::string describeStatus(const std::vector<Sample>& samples);
