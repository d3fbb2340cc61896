// The real terminal with the maze it was built with: the texts a player reads
// are exactly the ones the generator meant, and the goal can be reached.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "maze.h"
#include "run_process.h"
#include "terminal/banner.h"

namespace {

const std::string P = "kestiv's terminal ---> ";

MazeOptions builtMazeOptions() {
    MazeOptions options = defaultMazeOptions();
    options.seed = KESTIV_MAZE_SEED;
    options.directories = KESTIV_MAZE_DIRECTORIES;
    options.files = KESTIV_MAZE_FILES;
    options.depth = KESTIV_MAZE_DEPTH;
    options.goalDepth = KESTIV_MAZE_GOAL_DEPTH;
    options.decoySize = KESTIV_MAZE_DECOY_SIZE;
    options.flag = KESTIV_FLAG;
    if (options.directories != defaultMazeOptions().directories ||
        options.files != defaultMazeOptions().files)
        options.nameBytes = 0;
    return options;
}

class MazeSession : public testing::Test {
protected:
    static void SetUpTestSuite() { maze = new Maze(generateMaze(builtMazeOptions())); }
    static void TearDownTestSuite() { delete maze; }

    // The cd lines from the root down to node's directory, and the prompts they earn.
    static std::pair<std::string, std::string> walkTo(std::uint32_t node) {
        std::vector<std::uint32_t> chain;
        for (std::uint32_t at = maze->nodes[node].parent; at != 0; at = maze->nodes[at].parent)
            chain.push_back(at);
        std::reverse(chain.begin(), chain.end());
        std::string input, output;
        for (std::uint32_t directory : chain) {
            input += "cd " + maze->nodes[directory].name + "\n";
            output += P;
        }
        return {input, output};
    }

    static ProcessResult run(const std::string& input) {
        return runProcess(KESTIV_TERMINAL_PATH, {}, input);
    }

    static std::string session(const std::string& afterFirstPrompt) {
        return asWritten(std::string(kBanner) + P + afterFirstPrompt);
    }

    static Maze* maze;
};

Maze* MazeSession::maze = nullptr;

// The image is linked in byte for byte, so the generator's image stands whole
// inside the executable.
TEST_F(MazeSession, LinkedImageIsTheGeneratorsMaze) {
    std::ifstream in(KESTIV_TERMINAL_PATH, std::ios::binary);
    const std::string executable{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string image = mazeImage(*maze);
    EXPECT_NE(executable.find(image), std::string::npos)
        << "the terminal does not hold the generator's image";
}

TEST_F(MazeSession, DirAtTheRootListsItsChildren) {
    std::string listing;
    for (std::uint32_t child : maze->nodes[0].children) listing += maze->nodes[child].name + "\n";
    const ProcessResult result = run("dir\n");
    EXPECT_EQ(result.out, session(listing + P));
    EXPECT_EQ(result.status, 0);
}

TEST_F(MazeSession, ReadmeAtTheRootIsShownAsStored) {
    const ProcessResult result = run("type README.txt\n");
    EXPECT_EQ(result.out, session(std::string(kReadmeText) + "\n\n" + P));
    EXPECT_EQ(result.status, 0);
}

TEST_F(MazeSession, GoalIsReachedByItsNamesAndHoldsTheFlag) {
    const MazeNode& goal = maze->nodes[maze->goal];
    ASSERT_EQ(goal.level, static_cast<std::uint32_t>(KESTIV_MAZE_GOAL_DEPTH));
    auto [input, output] = walkTo(maze->goal);
    const ProcessResult result = run(input + "type " + goal.name + "\nexit\n");
    EXPECT_EQ(result.out, session(output + goalText(KESTIV_FLAG) + "\n\n" + P));
    EXPECT_NE(result.out.find(KESTIV_FLAG), std::string::npos);
    EXPECT_EQ(result.status, 255);
}

TEST_F(MazeSession, DecoysShowTheTextsTheGeneratorMeant) {
    std::vector<std::uint32_t> decoys;
    for (std::uint32_t i = 0; i < maze->nodes.size(); ++i) {
        const MazeNode& node = maze->nodes[i];
        if (node.kind == 1 && i != maze->readme && i != maze->goal && i != maze->empty)
            decoys.push_back(i);
    }
    ASSERT_GE(decoys.size(), 3u);
    const std::uint32_t deepest = *std::max_element(decoys.begin(), decoys.end(), [&](auto a, auto b) {
        return maze->nodes[a].level < maze->nodes[b].level;
    });
    for (std::uint32_t decoy : {decoys.front(), decoys[decoys.size() / 2], deepest}) {
        auto [input, output] = walkTo(decoy);
        const std::string line = "type " + maze->nodes[decoy].name + "\n";
        const ProcessResult result = run(input + line + line);
        const std::string shown = maze->nodes[decoy].text + "\n\n" + P;
        EXPECT_EQ(result.out, session(output + shown + shown)) << maze->nodes[decoy].name;
    }
}

TEST_F(MazeSession, EmptyTextWritesOnlyTheLineEnds) {
    auto [input, output] = walkTo(maze->empty);
    const ProcessResult result = run(input + "type " + maze->nodes[maze->empty].name + "\n");
    EXPECT_EQ(result.out, session(output + "\n\n" + P));
}

TEST_F(MazeSession, AWrongTurnCrashes) {
    const ProcessResult result = run("cd " + maze->nodes[maze->nodes[0].children.front()].name + "x\n");
    EXPECT_EQ(result.out, session("Oh no, CRAAAAAAAAAAASH"));
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "");
}

}  // namespace
