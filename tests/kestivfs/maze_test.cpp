#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "crypto/content_transform.h"
#include "fs/image_format.h"
#include "fs/image_reader.h"
#include "maze.h"

namespace {

struct Figures {
    std::size_t directories = 0, files = 0, deepest = 0;
    std::vector<std::pair<const file*, std::size_t>> nodes;  // with their levels, image order
};

Figures figuresOf(file* root) {
    Figures f;
    std::vector<std::pair<file*, std::size_t>> pending{{root, 0}};
    while (!pending.empty()) {
        auto [node, level] = pending.back();
        pending.pop_back();
        f.nodes.emplace_back(node, level);
        (node->kind == kDirectoryKind ? f.directories : f.files)++;
        f.deepest = std::max(f.deepest, level);
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            pending.emplace_back(*it, level + 1);
    }
    return f;
}

bool alphanumeric(const std::string& name) {
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// The default maze is 22.5 MB: made once for all tests here.
class DefaultMaze : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        maze_ = new Maze(generateMaze(defaultMazeOptions()));
        image_ = new std::string(mazeImage(*maze_));
        const ImageReadResult read = readImage(image_->data(), image_->size());
        ASSERT_EQ(read.status, ImageStatus::ok);
        root_ = read.root;
        figures_ = new Figures(figuresOf(root_));
    }
    static void TearDownTestSuite() {
        freeTree(root_);
        delete figures_;
        delete image_;
        delete maze_;
    }
    static Maze* maze_;
    static std::string* image_;
    static file* root_;
    static Figures* figures_;
};
Maze* DefaultMaze::maze_;
std::string* DefaultMaze::image_;
file* DefaultMaze::root_;
Figures* DefaultMaze::figures_;

// The figures of the maze that players get, read off the image the generator
// makes: its size and shape, the lengths its names take (each range reached
// at both ends) and add up to, and the stored sizes its files come in.
TEST_F(DefaultMaze, HasTheShippedFigures) {
    EXPECT_EQ(image_->size(), 22'468'842u);
    EXPECT_EQ(figures_->nodes.size(), 5'710u);
    EXPECT_EQ(figures_->directories, 2'491u);
    EXPECT_EQ(figures_->files, 3'219u);
    EXPECT_EQ(figures_->deepest, 22u);
    EXPECT_EQ(root_->name, "/");
    EXPECT_EQ(root_->kind, kDirectoryKind);

    std::set<std::size_t> directoryNameLengths, fileNameLengths, storedSizes;
    std::size_t nameBytes = 0;
    for (const auto& [node, level] : figures_->nodes) {
        if (level == 0) continue;
        if (node->kind == kRegularFileKind) storedSizes.insert(node->content.size());
        if (node->name == "README.txt") continue;
        nameBytes += node->name.size();
        (node->kind == kDirectoryKind ? directoryNameLengths : fileNameLengths).insert(node->name.size());
    }
    EXPECT_EQ(directoryNameLengths, (std::set<std::size_t>{4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(fileNameLengths, (std::set<std::size_t>{11, 12, 13, 14}));
    EXPECT_EQ(nameBytes, 56'380u);
    // The empty file, README.txt as it is, the goal, the decoys.
    EXPECT_EQ(storedSizes, (std::set<std::size_t>{16, 367, 208, 6'944}));
}

TEST_F(DefaultMaze, NamesFollowTheRules) {
    std::set<std::string> folded;
    for (const auto& [node, level] : figures_->nodes) {
        if (level == 0) continue;
        const std::string& name = node->name;
        if (node->kind == kRegularFileKind && name == "README.txt") {
            EXPECT_EQ(level, 1u);
            continue;
        }
        EXPECT_TRUE(alphanumeric(name)) << name;
        if (node->kind == kDirectoryKind) {
            EXPECT_GE(name.size(), kDirectoryNameMin) << name;
            EXPECT_LE(name.size(), kDirectoryNameMax) << name;
        } else {
            EXPECT_GE(name.size(), kFileNameMin) << name;
            EXPECT_LE(name.size(), kFileNameMax) << name;
        }
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(folded.insert(lower).second) << "duplicate name " << name;
    }
}

TEST_F(DefaultMaze, ContentsHaveTheStoredSizes) {
    std::size_t readmes = 0, empty = 0, goal = 0, decoys = 0;
    for (const auto& [node, level] : figures_->nodes) {
        if (node->kind == kDirectoryKind) {
            EXPECT_TRUE(node->content.empty()) << node->name;
            continue;
        }
        EXPECT_TRUE(node->children.empty()) << node->name;
        if (node->name == "README.txt") {
            ++readmes;
            EXPECT_EQ(node->content, kReadmeText);
        } else if (node->content.size() == 16) {
            ++empty;
        } else if (node->content.size() == kGoalStoredBytes) {
            ++goal;
            EXPECT_EQ(level, defaultMazeOptions().goalDepth);
        } else {
            EXPECT_EQ(node->content.size(), defaultMazeOptions().decoySize) << node->name;
            ++decoys;
        }
    }
    EXPECT_EQ(readmes, 1u);
    EXPECT_EQ(empty, 1u);
    EXPECT_EQ(goal, 1u);
    EXPECT_EQ(decoys, defaultMazeOptions().files - 3);
}

TEST_F(DefaultMaze, EveryStoredFileTurnsBackIntoTheIntendedText) {
    // The image lists the maze's nodes in pre-order, so the two walks meet node by node.
    std::vector<std::uint32_t> pending{0};
    std::size_t at = 0, checked = 0;
    while (!pending.empty()) {
        const MazeNode& meant = maze_->nodes[pending.back()];
        pending.pop_back();
        pending.insert(pending.end(), meant.children.rbegin(), meant.children.rend());
        const file* node = figures_->nodes[at++].first;
        ASSERT_EQ(node->name, meant.name);
        if (node->kind != kRegularFileKind || node->name == "README.txt") continue;
        std::string text;
        ASSERT_EQ(revealContent(node->content, text), StoredFormFault::none) << node->name;
        EXPECT_EQ(text, meant.text) << node->name;
        ++checked;
    }
    EXPECT_EQ(checked, 3'218u);
}

TEST_F(DefaultMaze, GoalLiesTwentyTwoLevelsDownAndHoldsTheFlag) {
    const MazeNode& goal = maze_->nodes[maze_->goal];
    EXPECT_EQ(goal.level, 22u);
    EXPECT_EQ(goal.text, goalText(kDefaultFlag));
    EXPECT_NE(goal.text.find(std::string(kDefaultFlag) + "\n"), std::string::npos);
    std::size_t names = 0;
    for (std::uint32_t n = maze_->goal; n != 0; n = maze_->nodes[n].parent) ++names;
    EXPECT_EQ(names, 22u);
    EXPECT_EQ(maze_->nodes[maze_->empty].text, "");
}

TEST_F(DefaultMaze, GoalPathIsNotTheObviousOne) {
    // Along the goal's path, a walker who always took the first or the last
    // child would go wrong somewhere, and the path has side branches.
    bool notFirst = false, notLast = false;
    std::size_t siblings = 0;
    for (std::uint32_t n = maze_->goal; n != 0; n = maze_->nodes[n].parent) {
        const std::vector<std::uint32_t>& children = maze_->nodes[maze_->nodes[n].parent].children;
        notFirst |= children.front() != n;
        notLast |= children.back() != n;
        siblings += children.size() - 1;
    }
    EXPECT_TRUE(notFirst);
    EXPECT_TRUE(notLast);
    EXPECT_GT(siblings, 22u);
    std::size_t deadEnds = 0, deepDirectories = 0;
    for (const MazeNode& node : maze_->nodes) {
        if (node.kind != kDirectoryKind) continue;
        deadEnds += node.children.empty();
        deepDirectories += node.level >= 18;
    }
    EXPECT_GT(deadEnds, 100u);
    EXPECT_GT(deepDirectories, 100u) << "the goal's branch should not be the only deep one";
}

TEST_F(DefaultMaze, DecoysAreDistinctReadableTexts) {
    std::set<std::string> texts;
    for (std::uint32_t i = 0; i < maze_->nodes.size(); ++i) {
        const MazeNode& node = maze_->nodes[i];
        if (node.kind != kRegularFileKind || i == maze_->readme || i == maze_->goal || i == maze_->empty)
            continue;
        EXPECT_GE(node.text.size(), 6'928u);
        EXPECT_LE(node.text.size(), 6'943u);
        EXPECT_TRUE(texts.insert(node.text).second) << "a decoy text repeats";
    }
    EXPECT_EQ(texts.size(), 3'216u);
}

TEST_F(DefaultMaze, SameSeedGivesTheSameBytes) {
    EXPECT_TRUE(mazeImage(generateMaze(defaultMazeOptions())) == *image_);
}

TEST_F(DefaultMaze, AnotherSeedGivesAnotherMaze) {
    MazeOptions options = defaultMazeOptions();
    options.seed += 1;
    const Maze other = generateMaze(options);
    std::size_t sameNames = 0;
    for (std::size_t i = 0; i < other.nodes.size(); ++i)
        sameNames += other.nodes[i].name == maze_->nodes[i].name;
    EXPECT_LE(sameNames, 2u);  // the root and README.txt
    const std::string image = mazeImage(other);
    EXPECT_EQ(image.size(), 22'468'842u) << "the seed does not change the figures";
    EXPECT_FALSE(image == *image_);
}

struct ShapeCase {
    const char* label;
    std::uint64_t seed;
    std::uint32_t directories, files, depth, goalDepth, decoySize;
    const char* flag;
};

class MazeShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(MazeShape, FollowsItsOptions) {
    const ShapeCase& c = GetParam();
    MazeOptions options{c.seed,      c.directories, c.files, c.depth,
                        c.goalDepth, c.decoySize,   c.flag,  0};
    ASSERT_EQ(mazeOptionsProblem(options), "");
    const Maze maze = generateMaze(options);
    const std::string image = mazeImage(maze);
    const ImageReadResult read = readImage(image.data(), image.size());
    ASSERT_EQ(read.status, ImageStatus::ok);
    const Figures f = figuresOf(read.root);
    EXPECT_EQ(f.directories, c.directories);
    EXPECT_EQ(f.files, c.files);
    EXPECT_EQ(f.deepest, c.depth);
    EXPECT_EQ(maze.nodes[maze.goal].level, c.goalDepth);
    std::size_t decoys = 0;
    for (const auto& [node, level] : f.nodes) {
        if (node->kind != kRegularFileKind || node->name == "README.txt") continue;
        std::string text;
        ASSERT_EQ(revealContent(node->content, text), StoredFormFault::none);
        if (node->content.size() == c.decoySize && text != maze.nodes[maze.goal].text) ++decoys;
        if (text == maze.nodes[maze.goal].text) {
            EXPECT_EQ(node->content.size(), kGoalStoredBytes);
        }
    }
    EXPECT_EQ(decoys, c.files - 3);
    freeTree(read.root);
}

INSTANTIATE_TEST_SUITE_P(
    Options, MazeShape,
    ::testing::Values(ShapeCase{"small", 1, 30, 40, 6, 4, 64, "kestiv{small}"},
                      ShapeCase{"rootOnly", 2, 1, 3, 1, 1, 32, "f"},
                      ShapeCase{"deepChainFewFiles", 3, 5, 3, 5, 2, 32, "kestiv{deep}"},
                      ShapeCase{"goalAtTheBottom", 4, 100, 10, 10, 10, 32, "kestiv{bottom}"},
                      ShapeCase{"goalShallow", 5, 200, 300, 15, 1, 160, "kestiv{shallow}"},
                      ShapeCase{"exactlyEnoughDirectories", 6, 12, 5, 12, 7, 48, "x"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(MazeOptionsCheck, DefaultsAreValidAndTheFlagLimitMatchesTheBuild) {
    EXPECT_EQ(mazeOptionsProblem(defaultMazeOptions()), "");
    EXPECT_EQ(kGoalMaxTextBytes - kGoalWording.size() - 1, std::size_t{KESTIV_FLAG_MAX_BYTES});
}

TEST(MazeOptionsCheck, RejectsWhatCannotBeBuilt) {
    const struct {
        const char* label;
        void (*change)(MazeOptions&);
    } cases[] = {
        {"no directories", [](MazeOptions& o) { o.directories = 0; }},
        {"too few files", [](MazeOptions& o) { o.files = 2; }},
        {"zero depth",
         [](MazeOptions& o) {
             o.depth = 0;
             o.goalDepth = 0;
         }},
        {"goal below the depth", [](MazeOptions& o) { o.goalDepth = o.depth + 1; }},
        {"too few directories for the depth", [](MazeOptions& o) { o.directories = o.depth - 1; }},
        {"decoy size not in blocks", [](MazeOptions& o) { o.decoySize = 6945; }},
        {"decoy size too small", [](MazeOptions& o) { o.decoySize = 16; }},
        {"empty flag", [](MazeOptions& o) { o.flag.clear(); }},
        {"flag too long", [](MazeOptions& o) { o.flag.assign(KESTIV_FLAG_MAX_BYTES + 1, 'x'); }},
        {"unreachable name total", [](MazeOptions& o) { o.nameBytes = 10; }},
        {"image over 4 GiB",
         [](MazeOptions& o) {
             o.files = 5'000;
             o.decoySize = 1 << 20;
         }},
    };
    for (const auto& c : cases) {
        MazeOptions options = defaultMazeOptions();
        c.change(options);
        EXPECT_NE(mazeOptionsProblem(options), "") << c.label;
    }
    MazeOptions longest = defaultMazeOptions();
    longest.flag.assign(KESTIV_FLAG_MAX_BYTES, 'x');
    EXPECT_EQ(mazeOptionsProblem(longest), "");
}

TEST(GoalText, KeepsTheGoalFileAtItsSizeForAnyFlagThatFits) {
    for (std::size_t length = 1; length <= KESTIV_FLAG_MAX_BYTES; ++length) {
        const std::string text = goalText(std::string(length, 'f'));
        EXPECT_GE(text.size(), kGoalMinTextBytes) << length;
        EXPECT_LE(text.size(), kGoalMaxTextBytes) << length;
        EXPECT_EQ(storeContent(text).size(), kGoalStoredBytes) << length;
        EXPECT_EQ(text.rfind(kGoalWording, 0), 0u);
    }
}

}  // namespace
