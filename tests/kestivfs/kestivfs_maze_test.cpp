// kestivfs over the default maze, as a process: maze, list, cat and verify.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "kestivfs_run.h"
#include "maze.h"

namespace {

std::string pathOf(const Maze& maze, std::uint32_t node) {
    std::string path;
    for (; node != 0; node = maze.nodes[node].parent) path = "/" + maze.nodes[node].name + path;
    return path;
}

std::size_t countLines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class DefaultMazeTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new ScratchFolder;
        image_ = new std::string(*scratch_ / "maze.img");
        const ProcessResult made = kestivfs({"maze", "-o", *image_});
        ASSERT_EQ(made.status, 0) << made.err;
        ASSERT_EQ(made.out, "");
        maze_ = new Maze(generateMaze(defaultMazeOptions()));
    }
    static void TearDownTestSuite() {
        delete maze_;
        delete image_;
        delete scratch_;
    }
    static std::uint32_t decoy(std::size_t which) {
        for (std::uint32_t i = 0; i < maze_->nodes.size(); ++i)
            if (maze_->nodes[i].kind == 1 && i != maze_->readme && i != maze_->goal &&
                i != maze_->empty && which-- == 0)
                return i;
        return 0;
    }
    static ScratchFolder* scratch_;
    static std::string* image_;
    static Maze* maze_;
};
ScratchFolder* DefaultMazeTool::scratch_;
std::string* DefaultMazeTool::image_;
Maze* DefaultMazeTool::maze_;

TEST_F(DefaultMazeTool, MazeWritesTheGeneratorsImage) {
    const std::string bytes = readBytes(*image_);
    EXPECT_EQ(bytes.size(), 22'468'842u);
    EXPECT_TRUE(bytes == mazeImage(*maze_));
    EXPECT_FALSE(temporaryLeftBeside(*image_));
}

TEST_F(DefaultMazeTool, ListShowsEveryNodeAndTheFigures) {
    const ProcessResult summary = kestivfs({"list", "--summary", *image_});
    EXPECT_EQ(summary.status, 0);
    EXPECT_EQ(summary.out,
              "5710 nodes: 2491 directories, 3219 files\n"
              "deepest level: 22\n"
              "total length: 22468842 bytes\n");
    const ProcessResult list = kestivfs({"list", *image_});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.err, "");
    EXPECT_EQ(countLines(list.out), 5'710u + 3u);
    EXPECT_EQ(list.out.rfind("directory          0  /\n", 0), 0u);
    EXPECT_NE(list.out.find("\nfile             367  /README.txt\n"), std::string::npos);
    EXPECT_NE(list.out.find("\nfile             208  " + pathOf(*maze_, maze_->goal) + "\n"),
              std::string::npos);
    EXPECT_NE(list.out.find("\nfile              16  " + pathOf(*maze_, maze_->empty) + "\n"),
              std::string::npos);
    EXPECT_TRUE(list.out.ends_with(summary.out));
}

TEST_F(DefaultMazeTool, ListTextShowsEveryFilesText) {
    const ProcessResult list = kestivfs({"list", "--text", *image_});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("/README.txt\n  | Welcome to kestiv's terminal.\n  | \n"), std::string::npos);
    EXPECT_NE(list.out.find("  | " + std::string(kDefaultFlag) + "\n"), std::string::npos);
    EXPECT_NE(list.out.find(pathOf(*maze_, maze_->empty) + "\n  (empty text)\n"), std::string::npos);
    EXPECT_EQ(list.out.find("  ! "), std::string::npos);
    const std::string& text = maze_->nodes[decoy(10)].text;
    EXPECT_NE(list.out.find(pathOf(*maze_, decoy(10)) + "\n  | " + text.substr(0, text.find('\n')) + "\n"),
              std::string::npos);
}

TEST_F(DefaultMazeTool, CatWritesTheTextsTheTerminalShows) {
    const struct {
        const char* label;
        std::string path, text;
    } cases[] = {
        {"readme", "README.txt", std::string(kReadmeText)},
        {"readme with a leading slash", "/README.txt", std::string(kReadmeText)},
        {"goal", pathOf(*maze_, maze_->goal), goalText(kDefaultFlag)},
        {"empty", pathOf(*maze_, maze_->empty).substr(1), ""},
        {"a decoy", pathOf(*maze_, decoy(0)), maze_->nodes[decoy(0)].text},
        {"another decoy", pathOf(*maze_, decoy(3'000)), maze_->nodes[decoy(3'000)].text},
    };
    for (const auto& c : cases) {
        const ProcessResult cat = kestivfs({"cat", *image_, c.path});
        EXPECT_EQ(cat.status, 0) << c.label << ": " << cat.err;
        EXPECT_EQ(cat.err, "") << c.label;
        EXPECT_TRUE(cat.out == c.text) << c.label;
    }
    const ProcessResult goal = kestivfs({"cat", *image_, pathOf(*maze_, maze_->goal)});
    EXPECT_NE(goal.out.find(std::string(kDefaultFlag)), std::string::npos);
}

TEST_F(DefaultMazeTool, CatRefusesWhatIsNotAFile) {
    const struct {
        const char* label;
        std::string path, error;
    } cases[] = {
        {"missing", "nowhere", "kestivfs: no nowhere in " + *image_ + "\n"},
        {"missing below a file", "README.txt/x", "kestivfs: no README.txt/x in " + *image_ + "\n"},
        {"the root", "/", "kestivfs: / is a directory\n"},
        {"a directory", pathOf(*maze_, maze_->nodes[maze_->goal].parent),
         "kestivfs: " + pathOf(*maze_, maze_->nodes[maze_->goal].parent) + " is a directory\n"},
        {"wrong case", "readme.txt", "kestivfs: no readme.txt in " + *image_ + "\n"},
    };
    for (const auto& c : cases) {
        const ProcessResult cat = kestivfs({"cat", *image_, c.path});
        EXPECT_EQ(cat.status, 1) << c.label;
        EXPECT_EQ(cat.out, "") << c.label;
        EXPECT_EQ(cat.err, c.error) << c.label;
    }
}

TEST_F(DefaultMazeTool, VerifyFindsTheMazeClean) {
    const ProcessResult verify = kestivfs({"verify", *image_});
    EXPECT_EQ(verify.status, 0);
    EXPECT_EQ(verify.out, "ok: 5710 nodes, 3218 stored files turn back into text\n");
    EXPECT_EQ(verify.err, "");
}

TEST_F(DefaultMazeTool, OptionsChangeTheMaze) {
    const std::string other = *scratch_ / "other.img";
    const ProcessResult made =
        kestivfs({"maze", "--seed", "5", "--directories", "40", "--files", "25", "--depth", "9",
                  "--goal-depth", "6", "--decoy-size", "96", "--flag", "kestiv{other}", "-o", other});
    ASSERT_EQ(made.status, 0) << made.err;
    const ProcessResult summary = kestivfs({"list", "--summary", other});
    EXPECT_NE(summary.out.find("65 nodes: 40 directories, 25 files\ndeepest level: 9\n"), std::string::npos)
        << summary.out;
    const ProcessResult list = kestivfs({"list", "--text", other});
    EXPECT_NE(list.out.find("  | kestiv{other}\n"), std::string::npos);
    EXPECT_EQ(kestivfs({"verify", other}).status, 0);
}

}  // namespace
