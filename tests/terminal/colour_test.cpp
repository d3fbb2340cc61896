// With standard output on a terminal, colours and clearing become escape
// sequences around exactly the texts they belong to.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "terminal/banner.h"

namespace {

const std::string CLEAR = "\x1b[H\x1b[2J\x1b[3J";
const std::string BLUE = "\x1b[34m", GREEN = "\x1b[32m", RED = "\x1b[31m", RESET = "\x1b[0m";
const std::string P = GREEN + "kestiv's terminal ---> " + RESET;

struct TerminalRun {
    std::string out;
    int status;
};

// Runs a fixture terminal with input from a file and standard output on a
// pseudo-terminal whose output processing is off, so the bytes arrive as written.
TerminalRun runOnTerminal(const std::string& fixture, const std::string& input) {
    std::FILE* in = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::fflush(in);
    std::rewind(in);

    termios settings{};
    cfmakeraw(&settings);
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, &settings, nullptr);
    if (child == 0) {
        dup2(fileno(in), STDIN_FILENO);
        const std::string program = std::string(KESTIV_FIXTURE_DIR) + "/fixture-" + fixture;
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0)
            out.append(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;  // EIO once the child has closed its side
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(master);
    std::fclose(in);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::string start() { return CLEAR + GREEN + std::string(kBanner) + RESET + P; }

TEST(Colour, BannerAndPromptInGreenAfterTheClear) {
    const TerminalRun run = runOnTerminal("shell", "");
    EXPECT_EQ(run.out, start());
    EXPECT_EQ(run.status, 0);
}

TEST(Colour, DirectoriesInBlueEveryEntryFollowedByTheSavedAttributes) {
    const TerminalRun run = runOnTerminal("shell", "cd alpha\ndir\n");
    EXPECT_EQ(run.out, start() + P + BLUE + "beta\n" + RESET + "README.txt\n" + RESET +
                           "secret.txt\n" + RESET + P);
}

TEST(Colour, ClsClearsAgain) {
    EXPECT_EQ(runOnTerminal("shell", "cls\n").out, start() + CLEAR + P);
}

TEST(Colour, CrashMessageInRed) {
    const TerminalRun run = runOnTerminal("shell", "cd nowhere\n");
    EXPECT_EQ(run.out, start() + RED + "Oh no, CRAAAAAAAAAAASH" + RESET);
    EXPECT_EQ(run.status, 255);
}

TEST(Colour, TauntInRed) {
    const TerminalRun run = runOnTerminal("shell", "ls\n");
    EXPECT_EQ(run.out, start() + RED + "Hey, this is on Windows, can't you tell?" + RESET);
    EXPECT_EQ(run.status, 255);
}

TEST(Colour, TypeWritesInTheSavedAttributes) {
    EXPECT_EQ(runOnTerminal("shell", "type note.txt\n").out, start() + "A note.\nTwo lines.\n\n" + P);
}

TEST(Colour, UnsupportedVersionStaysRedIntoTheCrashMessage) {
    const TerminalRun run = runOnTerminal("version-one", "");
    EXPECT_EQ(run.out, CLEAR + GREEN + std::string(kBanner) + RESET + RED +
                           "Unsupported version of kestivFS" + RED + "Oh no, CRAAAAAAAAAAASH" + RESET);
    EXPECT_EQ(run.status, 255);
}

}  // namespace
