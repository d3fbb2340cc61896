// kestivfs's command line: help for every command, status 2 for every misuse.
#include <gtest/gtest.h>

#include <string>

#include "kestivfs_run.h"

namespace {

TEST(Usage, EveryCommandHasHelp) {
    for (const char* command : {"maze", "pack", "list", "cat", "verify"}) {
        const ProcessResult help = kestivfs({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("Usage: kestivfs ") + command + " ", 0), 0u) << help.out;
        EXPECT_EQ(help.err, "") << command;
    }
    const ProcessResult help = kestivfs({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: kestivfs COMMAND", 0), 0u);
}

TEST(Usage, MisuseExitsWithTwoAndSaysWhy) {
    const struct {
        std::vector<std::string> args;
        std::string message;  // the first line on stderr
    } cases[] = {
        {{}, "Usage: kestivfs COMMAND [ARGUMENTS]"},
        {{"frobnicate"}, "kestivfs: unknown command 'frobnicate'"},
        {{"maze"}, "kestivfs maze: -o IMAGE is required"},
        {{"maze", "-o"}, "kestivfs maze: -o needs a value"},
        {{"maze", "--depth", "x", "-o", "m"}, "kestivfs maze: --depth takes a number from 0 to 4294967295, not 'x'"},
        {{"maze", "--seed", "-1", "-o", "m"}, "kestivfs maze: --seed takes a number from 0 to 18446744073709551615, not '-1'"},
        {{"maze", "--bogus", "-o", "m"}, "kestivfs maze: unknown argument '--bogus'"},
        {{"maze", "--goal-depth", "23", "-o", "m"}, "kestivfs maze: the goal depth must be 1 to the depth (22)"},
        {{"maze", "--depth", "30", "--goal-depth", "30", "--directories", "29", "-o", "m"},
         "kestivfs maze: a depth of 30 needs at least 30 directories (the root included)"},
        {{"maze", "--decoy-size", "100", "-o", "m"},
         "kestivfs maze: the decoy size must be a multiple of 16 from 32 to 1048576"},
        {{"maze", "--flag", std::string(54, 'f'), "-o", "m"},
         "kestivfs maze: the flag is 54 bytes; at most 53 fit in the goal file"},
        {{"maze", "--files", "2", "-o", "m"},
         "kestivfs maze: the number of files (README.txt, the goal and the empty file included) must be 3 to 10000000"},
        {{"list"}, "kestivfs list: IMAGE is missing"},
        {{"list", "--tree", "x"}, "kestivfs list: unknown option '--tree'"},
        {{"list", "a", "b"}, "kestivfs list: one IMAGE only"},
        {{"list", "--text", "--summary", "x"}, "kestivfs list: --text and --summary exclude each other"},
        {{"cat", "x"}, "kestivfs cat: needs IMAGE and PATH"},
        {{"cat", "x", "a\\q"}, "kestivfs cat: a backslash in a path must start \\\\, \\/ or \\xHH (at byte 1)"},
        {{"verify"}, "kestivfs verify: needs exactly one IMAGE"},
        {{"verify", "a", "b"}, "kestivfs verify: needs exactly one IMAGE"},
        {{"pack", "d"}, "kestivfs pack: -o IMAGE is required"},
        {{"pack", "-o", "x"}, "kestivfs pack: DIR is missing"},
        {{"pack", "--follow", "d", "-o", "x"}, "kestivfs pack: unknown option '--follow'"},
    };
    for (const auto& c : cases) {
        const ProcessResult run = kestivfs(c.args);
        const std::string shown = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), c.message) << shown;
    }
}

TEST(Usage, AMissingImageIsAnErrorNotAMisuse) {
    ScratchFolder scratch;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", scratch / "none.img"}, {"verify", scratch / "none.img"},
          {"cat", scratch / "none.img", "README.txt"}}) {
        const ProcessResult run = kestivfs(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_EQ(run.err, "kestivfs: cannot open " + scratch / "none.img" + "\n") << args[0];
    }
}

}  // namespace
