// What the options of a generated maze may be. The build reads the numbers
// below to check an author's KESTIV_MAZE_* settings at configure time by the
// rules of mazeOptionsProblem, so each stays a plain decimal number in a
// definition of its own line.
#pragma once

#include <cstdint>

inline constexpr std::uint64_t kMaxMazeCount = 10000000;  // of directories, and of files
inline constexpr std::uint64_t kMinMazeFiles = 3;         // README.txt, the goal and the empty file
inline constexpr std::uint64_t kMinMazeDepth = 1;
inline constexpr std::uint64_t kMinDecoySize = 32;
inline constexpr std::uint64_t kMaxDecoySize = 1048576;
inline constexpr std::uint64_t kDecoySizeStep = 16;  // a decoy is whole blocks of the stored form
// The goal file's stored size; its text is its wording, the flag and a line end.
inline constexpr std::uint32_t kGoalStoredBytes = 208;

// A terminal links an image of at most kMaxMazeImageBytes. A maze's image takes
// at most kMazeImageBaseBytes (the header, the root, README.txt, the goal and
// the empty file), kMazeDirectoryMostBytes for each other directory,
// kMazeFileMostBytes for each other file, and the decoy size for each decoy.
inline constexpr std::uint64_t kMaxMazeImageBytes = 4294967295;
inline constexpr std::uint64_t kMazeImageBaseBytes = 646;
inline constexpr std::uint64_t kMazeDirectoryMostBytes = 23;
inline constexpr std::uint64_t kMazeFileMostBytes = 28;
