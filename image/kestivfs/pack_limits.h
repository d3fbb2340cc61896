// What one node of an image can hold, checked before it is written.
#pragma once

#include <cstdint>
#include <string>

inline constexpr std::uint64_t kMaxNameBytes = 0xffff;
// The terminal counts a stored content in a signed 32-bit integer.
inline constexpr std::uint64_t kMaxStoredBytes = 0x7fffffff;
inline constexpr std::uint64_t kMaxChildren = 0xffffffff;
// The terminal links an image's length in as an unsigned 32-bit count.
inline constexpr std::uint64_t kMaxImageBytes = 0xffffffff;

// Bytes that a text of textBytes takes in the stored form.
std::uint64_t storedBytesOf(std::uint64_t textBytes);

// Why a node with a name of nameBytes, a content of contentBytes as it would
// be stored and childCount children cannot be written; empty when it can.
std::string nodeLimitProblem(std::uint64_t nameBytes, std::uint64_t contentBytes,
                             std::uint64_t childCount);

// Why an image of imageBytes cannot be linked into a terminal; empty when it can.
std::string imageLimitProblem(std::uint64_t imageBytes);
