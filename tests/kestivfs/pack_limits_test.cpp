#include <gtest/gtest.h>

#include "pack_limits.h"

namespace {

// Limits no real folder on Linux reaches (names stop at 255 bytes), checked here
// where the writer decides them.
TEST(PackLimits, EachFieldStopsAtWhatTheImageAndTheTerminalHold) {
    const struct {
        const char* label;
        std::uint64_t name, content, children;
        bool fits;
    } cases[] = {
        {"empty node", 0, 0, 0, true},
        {"longest name", 65'535, 0, 0, true},
        {"name one byte over", 65'536, 0, 0, false},
        {"largest stored content", 0, 0x7fffffff, 0, true},
        {"stored content of 2 GiB", 0, 0x80000000, 0, false},
        {"most children", 1, 0, 0xffffffff, true},
        {"one child too many", 1, 0, 0x100000000, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nodeLimitProblem(c.name, c.content, c.children).empty(), c.fits) << c.label;
}

TEST(PackLimits, StoredSizeAddsAPadOfOneToSixteen) {
    EXPECT_EQ(storedBytesOf(0), 16u);
    EXPECT_EQ(storedBytesOf(15), 16u);
    EXPECT_EQ(storedBytesOf(16), 32u);
    EXPECT_EQ(storedBytesOf(6'943), 6'944u);
    EXPECT_EQ(storedBytesOf(2'147'483'631), 2'147'483'632u);
    EXPECT_TRUE(nodeLimitProblem(0, storedBytesOf(2'147'483'631), 0).empty());
    EXPECT_FALSE(nodeLimitProblem(0, storedBytesOf(2'147'483'632), 0).empty());
}

TEST(PackLimits, ImageMustFitTheLinkedThirtyTwoBitLength) {
    EXPECT_TRUE(imageLimitProblem(31).empty());
    EXPECT_TRUE(imageLimitProblem(0xffffffff).empty());
    EXPECT_FALSE(imageLimitProblem(0x100000000).empty());
}

}  // namespace
