// kestivfs's command line: the conventions every subcommand shares, and the
// status 2 and message of each misuse.
#include <gtest/gtest.h>

#include <string>

#include "crypto/content_transform.h"
#include "image/image_writer.h"
#include "kestivfs_run.h"

namespace {

const char* const kSubcommands[] = {"maze", "pack", "list", "cat", "verify", "key"};

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// The same answer to the same misuse from every subcommand.
TEST(Usage, EverySubcommandSharesTheConventions) {
    for (const std::string name : kSubcommands) {
        const struct {
            std::vector<std::string> args;
            int status;
            std::string firstLine;  // of stdout for help, of stderr otherwise
        } cases[] = {
            {{name, "--help"}, 0, "Usage: kestivfs " + name + " "},
            {{name, "-h"}, 0, "Usage: kestivfs " + name + " "},
            {{name, "--bogus", "--help"}, 0, "Usage: kestivfs " + name + " "},
            {{name, "--bogus"}, 2, "kestivfs " + name + ": unknown option '--bogus'"},
            {{name, "-x"}, 2, "kestivfs " + name + ": unknown option '-x'"},
            {{name, "--bogus=1"}, 2, "kestivfs " + name + ": unknown option '--bogus'"},
        };
        for (const auto& c : cases) {
            const ProcessResult run = kestivfs(c.args);
            const std::string shown = name + " " + c.args[1];
            EXPECT_EQ(run.status, c.status) << shown;
            if (c.status == 0) {
                EXPECT_EQ(run.out.rfind(c.firstLine, 0), 0u) << shown << "\n" << run.out;
                EXPECT_EQ(run.err, "") << shown;
            } else {
                EXPECT_EQ(run.out, "") << shown;
                EXPECT_EQ(firstLine(run.err), c.firstLine) << shown;
                EXPECT_EQ(run.err.substr(run.err.find('\n') + 1), "Try 'kestivfs " + name + " --help'.\n")
                    << shown;
            }
        }
    }
    const ProcessResult help = kestivfs({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const std::string name : kSubcommands)
        EXPECT_NE(help.out.find("\n  " + name + " "), std::string::npos)
            << name << " is not in the usage";
    EXPECT_EQ(kestivfs({"help", "cat"}).out, kestivfs({"cat", "--help"}).out);
}

class CommandLine : public testing::Test {
protected:
    void SetUp() override {
        std::string image;
        appendImageHeader(image);
        appendNode(image, 0, "/", "", 2);
        appendNode(image, 1, "README.txt", "plain\n", 0);
        appendNode(image, 1, "-", storeContent("a file named dash\n"), 0);
        imageBytes = image;
        writeBytes(scratch / "small.img", image);
    }
    ScratchFolder scratch;
    std::string imageBytes;
};

// "--" ends the options and "-" stands for standard input wherever an image is read.
TEST_F(CommandLine, DoubleDashEndsOptionsAndDashIsStandardInput) {
    const std::string small = scratch / "small.img";
    const struct {
        std::vector<std::string> args;
        bool imageOnStandardInput;
        int status;
        std::string out;
        std::string errFirstLine;
    } cases[] = {
        {{"cat", small, "README.txt"}, false, 0, "plain\n", ""},
        {{"cat", "-", "README.txt"}, true, 0, "plain\n", ""},
        {{"cat", small, "-"}, false, 0, "a file named dash\n", ""},
        {{"cat", "--", small, "-"}, false, 0, "a file named dash\n", ""},
        {{"cat", "-", "nothing"}, true, 1, "", "kestivfs: no nothing in standard input"},
        {{"list", "--summary", "-"},
         true,
         0,
         "3 nodes: 1 directories, 2 files\ndeepest level: 1\ntotal length: " +
             std::to_string(imageBytes.size()) + " bytes\n",
         ""},
        {{"list", "--", "--help"}, false, 1, "", "kestivfs: cannot open --help"},
        {{"list", "--summary=yes", small}, false, 2, "", "kestivfs list: --summary takes no value"},
        {{"verify", "-"}, true, 0, "ok: 3 nodes, 1 stored files turn back into text\n", ""},
        {{"verify", "--", "-x"}, false, 1, "", "kestivfs: cannot open -x"},
        {{"pack", "-", "-o", scratch / "out.img"}, false, 2, "", "kestivfs pack: DIR must be a folder, not standard input"},
        {{"pack", "-o", scratch / "out.img", "--", "-dir"}, false, 1, "", "kestivfs: -dir: does not exist"},
        {{"pack", scratch.path, "-o", "-"},
         false,
         2,
         "",
         "kestivfs pack: -o takes a file; an image is not written to standard output"},
        {{"maze", "-o", "-"}, false, 2, "", "kestivfs maze: -o takes a file; an image is not written to standard output"},
        {{"maze", "-o", scratch / "m.img", "--", "-y"}, false, 2, "", "kestivfs maze: unexpected argument '-y'"},
        {{"maze", "--seed=7", "--files=3", "--directories=2", "--depth=1", "--goal-depth=1", "-o",
          scratch / "m.img"},
         false,
         0,
         "",
         ""},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const std::string& arg : c.args) shown += arg + " ";
        const ProcessResult run =
            runProcess(KESTIVFS_PROGRAM, c.args, c.imageOnStandardInput ? imageBytes : "");
        EXPECT_EQ(run.status, c.status) << shown;
        EXPECT_EQ(run.out, c.out) << shown;
        EXPECT_EQ(firstLine(run.err), c.errFirstLine) << shown;
    }
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
        {{"maze", "--depth", "x", "-o", "m"},
         "kestivfs maze: --depth takes a number from 0 to 4294967295, not 'x'"},
        {{"maze", "--seed", "-1", "-o", "m"},
         "kestivfs maze: --seed takes a number from 0 to 18446744073709551615, not '-1'"},
        {{"maze", "--goal-depth", "23", "-o", "m"},
         "kestivfs maze: the goal depth must be 1 to the depth (22)"},
        {{"maze", "--depth", "30", "--goal-depth", "30", "--directories", "29", "-o", "m"},
         "kestivfs maze: a depth of 30 needs at least 30 directories (the root included)"},
        {{"maze", "--decoy-size", "100", "-o", "m"},
         "kestivfs maze: the decoy size must be a multiple of 16 from 32 to 1048576"},
        {{"maze", "--flag", std::string(54, 'f'), "-o", "m"},
         "kestivfs maze: the flag is 54 bytes; at most 53 fit in the goal file"},
        {{"maze", "--files", "2", "-o", "m"},
         "kestivfs maze: the number of files (README.txt, the goal and the empty file included) must be 3 to 10000000"},
        {{"list"}, "kestivfs list: IMAGE is missing"},
        {{"list", "a", "b"}, "kestivfs list: unexpected argument 'b'"},
        {{"list", "--text", "--summary", "x"}, "kestivfs list: --text and --summary exclude each other"},
        {{"cat", "x"}, "kestivfs cat: PATH is missing"},
        {{"cat", "x", "a\\q"},
         "kestivfs cat: a backslash in a path must start \\\\, \\/ or \\xHH (at byte 1)"},
        {{"verify"}, "kestivfs verify: IMAGE is missing"},
        {{"verify", "a", "b"}, "kestivfs verify: unexpected argument 'b'"},
        {{"pack", "d"}, "kestivfs pack: -o IMAGE is required"},
        {{"pack", "-o", "x"}, "kestivfs pack: DIR is missing"},
        {{"pack", "--follow", "d", "-o", "x"}, "kestivfs pack: unknown option '--follow'"},
        {{"key", "mine"}, "kestivfs key: unexpected argument 'mine'"},
    };
    for (const auto& c : cases) {
        const ProcessResult run = kestivfs(c.args);
        const std::string shown = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_EQ(firstLine(run.err), c.message) << shown;
    }
}

TEST(Usage, AMissingImageIsAnErrorNotAMisuse) {
    ScratchFolder scratch;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"list", scratch / "none.img"},
                                                 {"verify", scratch / "none.img"},
                                                 {"cat", scratch / "none.img", "README.txt"}}) {
        const ProcessResult run = kestivfs(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_EQ(run.err, "kestivfs: cannot open " + scratch / "none.img" + "\n") << args[0];
    }
}

}  // namespace
