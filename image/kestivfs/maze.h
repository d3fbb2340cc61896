// The maze that the terminal ships with: a random tree of directories with
// decoy files, one README.txt at the root and one goal file deep inside,
// generated from a seed so that the same options always give the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "maze_limits.h"

struct MazeOptions {
    std::uint64_t seed;
    std::uint32_t directories;  // the root included
    std::uint32_t files;        // README.txt, the goal and the empty file included
    std::uint32_t depth;        // level of the deepest node; the root's children are level 1
    std::uint32_t goalDepth;    // level of the goal file
    std::uint32_t decoySize;    // stored bytes of each decoy file
    std::string flag;
    // Bytes of all names below the root but README.txt's; 0 lets the lengths
    // fall where they may.
    std::uint64_t nameBytes;
};

// The options of the maze linked into the terminal by default.
MazeOptions defaultMazeOptions();

// The goal file's text is kGoalWording, the flag and a line end, filled to at
// least kGoalMinTextBytes; it is stored in kGoalStoredBytes.
extern const std::string_view kGoalWording;
extern const std::string_view kDefaultFlag;
inline constexpr std::size_t kGoalMinTextBytes = kGoalStoredBytes - 16;
inline constexpr std::size_t kGoalMaxTextBytes = kGoalStoredBytes - 1;

inline constexpr std::size_t kDirectoryNameMin = 4, kDirectoryNameMax = 9;
inline constexpr std::size_t kFileNameMin = 11, kFileNameMax = 14;

// Why options cannot make a maze, in one sentence; empty when they can.
std::string mazeOptionsProblem(const MazeOptions& options);

struct MazeNode {
    std::uint32_t kind;
    std::string name;
    std::string text;  // what the file shows (README.txt is stored as is)
    std::uint32_t level;
    std::uint32_t parent;
    std::vector<std::uint32_t> children;  // in image order
};

struct Maze {
    std::vector<MazeNode> nodes;  // nodes[0] is the root
    std::uint32_t readme, goal, empty;
};

// The maze of options, which must have no problem.
Maze generateMaze(const MazeOptions& options);

// The image of maze: README.txt as its text, every other file in the stored form.
std::string mazeImage(const Maze& maze);

// The root's README.txt, the same in every maze, and the goal file's text.
extern const std::string_view kReadmeText;
std::string goalText(std::string_view flag);
