// What one node of an image can hold, checked before it is written.
#pragma once

#include <cstdint>
#include <string>

#include "crypto/content_transform.h"

inline constexpr std::uint64_t kMaxNameBytes = 0xffff;
inline constexpr std::uint64_t kMaxChildren = 0xffffffff;
// The terminal links an image's length in as an unsigned 32-bit count.
inline constexpr std::uint64_t kMaxImageBytes = 0xffffffff;

// Why a node with a name of nameBytes, a content of contentBytes as it would
// be stored (kMaxStoredBytes at most, the most the terminal turns back into
// text) and childCount children cannot be written; empty when it can.
std::string nodeLimitProblem(std::uint64_t nameBytes, std::uint64_t contentBytes,
                             std::uint64_t childCount);

// Why an image of imageBytes cannot be linked into a terminal; empty when it can.
std::string imageLimitProblem(std::uint64_t imageBytes);
