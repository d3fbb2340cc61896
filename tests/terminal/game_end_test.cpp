// What ends a game, item by item as HOW-TO-PLAY.txt and the players' page
// list it, held against the terminal players get, on a pseudo-terminal as a
// player's terminal shows it.
#include <gtest/gtest.h>

#include <string>

#include "terminal/banner.h"
#include "terminal_on_pty.h"

namespace {

const std::string CLEAR = "\x1b[H\x1b[2J\x1b[3J";
const std::string BLUE = "\x1b[34m", GREEN = "\x1b[32m", RED = "\x1b[31m", RESET = "\x1b[0m";
const std::string P = GREEN + "kestiv's terminal ---> " + RESET;
const std::string CRASH = RED + "Oh no, CRAAAAAAAAAAASH" + RESET;
const std::string TAUNT = RED + "Hey, this is on Windows, can't you tell?" + RESET;

TerminalRun play(const std::string& input) { return runOnTerminal(KESTIV_TERMINAL_PATH, input); }

// The first directory at the top of the maze: the first entry dir shows in blue.
std::string topDirectory() {
    const std::string out = play("dir\n").out;
    const std::size_t at = out.find(BLUE);
    if (at == std::string::npos) return "";
    const std::size_t name = at + BLUE.size();
    return out.substr(name, out.find('\n', name) - name);
}

TEST(GameEnd, TheStartClearsTheScreenAndItsScrollback) {
    const TerminalRun run = play("");
    EXPECT_EQ(run.out.substr(0, CLEAR.size()), CLEAR);
    EXPECT_EQ(run.out, CLEAR + GREEN + std::string(kBanner) + RESET + P);
}

TEST(GameEnd, EachLineOfTheListEndsTheGameAsItSays) {
    const std::string directory = topDirectory();
    ASSERT_FALSE(directory.empty()) << "no directory at the top of the maze";
    const struct {
        const char* item;
        std::string input;
        std::string after;  // what follows the first prompt
        int status;
    } cases[] = {
        {"an unknown command", "help\n", CRASH, 255},
        {"an empty line", "\n", CRASH, 255},
        {"a space at the end of a line", "dir \n", CRASH, 255},
        {"a space after a name", "cd " + directory + " \n", CRASH, 255},
        {"other letter case", "DIR\n", CRASH, 255},
        {"cd.. without its space", "cd..\n", CRASH, 255},
        {"cd to a name that is not there", "cd no such name\n", CRASH, 255},
        {"type of a name that is not there", "type no such name\n", CRASH, 255},
        {"type of a directory", "type " + directory + "\n", CRASH, 255},
        {"ls", "ls\n", TAUNT, 255},
        {"cat", "cat README.txt\n", TAUNT, 255},
        {"grep", "grep flag *\n", TAUNT, 255},
        {"exit", "exit\n", "", 255},
        {"quit", "quit\n", "", 255},
        {"the end of input", "", "", 0},
        {"and none of the commands of the game", "cls\ncd " + directory + "\ncd ..\ncd\n",
         CLEAR + P + P + P + P, 0},
    };
    for (const auto& c : cases) {
        const TerminalRun run = play(c.input);
        EXPECT_EQ(run.out, CLEAR + GREEN + std::string(kBanner) + RESET + P + c.after) << c.item;
        EXPECT_EQ(run.status, c.status) << c.item;
    }
}

}  // namespace
