// Layout constants of the file-system image: a 16-byte header (magic and a
// signed 64-bit version), then the nodes in depth-first pre-order, each a node
// record and its child count (node_record.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr std::string_view kImageMagic = "kestivFS";
inline constexpr std::int64_t kImageVersion = 0;
inline constexpr std::size_t kImageHeaderBytes = 16;
// Kind, name length, content length and child count of a node with empty
// name and content: no node takes fewer bytes.
inline constexpr std::size_t kMinNodeBytes = 14;

inline constexpr std::uint32_t kDirectoryKind = 0;
inline constexpr std::uint32_t kRegularFileKind = 1;

// A regular file of this name, in any directory, holds its text as it is;
// every other regular file holds the stored form of its text.
inline constexpr std::string_view kPlainTextName = "README.txt";

inline bool isPlainTextName(std::string_view name) { return name == kPlainTextName; }
