// With standard output on a terminal, colours and clearing become escape
// sequences around exactly the texts they belong to.
#include <gtest/gtest.h>

#include <string>

#include "terminal/banner.h"
#include "terminal_on_pty.h"

namespace {

const std::string CLEAR = "\x1b[H\x1b[2J\x1b[3J";
const std::string BLUE = "\x1b[34m", GREEN = "\x1b[32m", RED = "\x1b[31m", RESET = "\x1b[0m";
const std::string P = GREEN + "kestiv's terminal ---> " + RESET;

// A fixture terminal on a pseudo-terminal.
TerminalRun runFixtureOnTerminal(const std::string& fixture, const std::string& input) {
    return runOnTerminal(std::string(KESTIV_FIXTURE_DIR) + "/fixture-" + fixture, input);
}

std::string start() { return CLEAR + GREEN + std::string(kBanner) + RESET + P; }

TEST(Colour, BannerAndPromptInGreenAfterTheClear) {
    const TerminalRun run = runFixtureOnTerminal("shell", "");
    EXPECT_EQ(run.out, start());
    EXPECT_EQ(run.status, 0);
}

TEST(Colour, DirectoriesInBlueEveryEntryFollowedByTheSavedAttributes) {
    const TerminalRun run = runFixtureOnTerminal("shell", "cd alpha\ndir\n");
    EXPECT_EQ(run.out, start() + P + BLUE + "beta\n" + RESET + "README.txt\n" + RESET +
                           "secret.txt\n" + RESET + P);
}

TEST(Colour, ClsClearsAgain) {
    EXPECT_EQ(runFixtureOnTerminal("shell", "cls\n").out, start() + CLEAR + P);
}

TEST(Colour, CrashMessageInRed) {
    const TerminalRun run = runFixtureOnTerminal("shell", "cd nowhere\n");
    EXPECT_EQ(run.out, start() + RED + "Oh no, CRAAAAAAAAAAASH" + RESET);
    EXPECT_EQ(run.status, 255);
}

TEST(Colour, TauntInRed) {
    const TerminalRun run = runFixtureOnTerminal("shell", "ls\n");
    EXPECT_EQ(run.out, start() + RED + "Hey, this is on Windows, can't you tell?" + RESET);
    EXPECT_EQ(run.status, 255);
}

TEST(Colour, TypeWritesInTheSavedAttributes) {
    EXPECT_EQ(runFixtureOnTerminal("shell", "type note.txt\n").out,
              start() + "A note.\nTwo lines.\n\n" + P);
}

TEST(Colour, UnsupportedVersionStaysRedIntoTheCrashMessage) {
    const TerminalRun run = runFixtureOnTerminal("version-one", "");
    EXPECT_EQ(run.out, CLEAR + GREEN + std::string(kBanner) + RESET + RED +
                           "Unsupported version of kestivFS" + RED + "Oh no, CRAAAAAAAAAAASH" + RESET);
    EXPECT_EQ(run.status, 255);
}

}  // namespace
