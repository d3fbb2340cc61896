// Serialises images: the header, then each node in depth-first pre-order, a
// node's children directly after its own record and child count.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fs/image_format.h"

// Appends the 16-byte header with the given version.
void appendImageHeader(std::string& image, std::int64_t version = kImageVersion);

// Appends one node record and its child count; the caller then appends that
// many whole nodes as its children. Names over 65,535 bytes and contents of
// 2^32 bytes or more cannot be stored: the caller checks.
void appendNode(std::string& image, std::uint32_t kind, std::string_view name,
                std::string_view content, std::uint32_t childCount);
