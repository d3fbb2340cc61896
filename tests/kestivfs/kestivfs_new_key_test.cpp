// kestivfs key: a key and IV of their own for every run, in the form of the
// two settings that configure takes.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "kestivfs_run.h"

namespace {

TEST(NewKey, PrintsBothSettingsFreshOnEveryRun) {
    const std::regex settings("-DKESTIV_KEY=([0-9a-f]{32}) -DKESTIV_IV=([0-9a-f]{32})\n");
    const ProcessResult runs[] = {kestivfs({"key"}), kestivfs({"key"})};
    std::smatch printed[2];
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(runs[i].status, 0);
        EXPECT_EQ(runs[i].err, "");
        ASSERT_TRUE(std::regex_match(runs[i].out, printed[i], settings)) << runs[i].out;
        EXPECT_NE(printed[i][1], printed[i][2]) << "the key is the IV";
    }
    EXPECT_NE(printed[0][1], printed[1][1]) << "two runs printed the same key";
    EXPECT_NE(printed[0][2], printed[1][2]) << "two runs printed the same IV";
}

}  // namespace
