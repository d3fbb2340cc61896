// Images at and past the edges of the format, each linked into its own terminal.
#include <gtest/gtest.h>

#include "terminal_session.h"

namespace {

const std::string P(kPrompt);
const std::string CRASH(kCrash);

struct ImageCase {
    const char* fixture;
    std::string input;
    std::string output;  // everything after the banner
    int status;
};

void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.fixture; }

class LinkedImage : public testing::TestWithParam<ImageCase> {};

TEST_P(LinkedImage, StartsOrCrashesBeforeThePrompt) {
    const ImageCase& c = GetParam();
    EXPECT_SESSION(runFixture(c.fixture, c.input), std::string(kBanner) + c.output, c.status);
}

std::string deepWalk(int levels) {
    std::string input;
    for (int i = 0; i < levels; ++i) input += "cd n\n";
    return input + "dir\ncd ..\ncd\ndir\n";
}

std::string deepWalkOutput(int levels) {
    std::string out = P;
    for (int i = 0; i < levels; ++i) out += P;
    return out + "leaf.txt\n" + P + P + P + "n\n" + P;
}

// Failures the terminal detects in its image end before the first prompt.
const ImageCase kCases[] = {
    {"empty", "dir\ncd ..\ndir\n", P + P + P + P, 0},
    {"version-negative", "dir\n", P + "kept\n" + P, 0},
    {"version-one", "dir\n", "Unsupported version of kestivFS" + CRASH, kLeftStatus},
    {"bad-magic", "dir\n", CRASH, kLeftStatus},
    {"no-bytes", "dir\n", CRASH, kLeftStatus},
    {"cut-in-magic", "dir\n", CRASH, kLeftStatus},
    {"cut-in-version", "dir\n", CRASH, kLeftStatus},
    {"header-only", "dir\n", CRASH, kLeftStatus},
    {"cut-in-root-record", "dir\n", CRASH, kLeftStatus},
    {"cut-before-root-count", "dir\n", CRASH, kLeftStatus},
    {"cut-in-child-name", "dir\n", CRASH, kLeftStatus},
    {"cut-before-last-count", "dir\n", CRASH, kLeftStatus},
    {"cut-in-content", "dir\n", CRASH, kLeftStatus},
    {"count-past-end", "dir\n", CRASH, kLeftStatus},
    {"huge-count", "dir\n", CRASH, kLeftStatus},
    {"trailing-bytes", "dir\n", P + "a\nb\n" + P, 0},
    {"big-content", "dir\ncd after\ndir\n", P + "big.txt\nafter\n" + P + P + "inside\n" + P, 0},
    {"deep-chain", deepWalk(5000), deepWalkOutput(5000), 0},
};

INSTANTIATE_TEST_SUITE_P(Images, LinkedImage, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ImageCase>& info) {
                             std::string name = info.param.fixture;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace
