// Image files read whole and turned into a tree, and the words for what can
// go wrong with them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crypto/content_transform.h"
#include "fs/file.h"
#include "fs/image_reader.h"

struct LoadedImage {
    std::string bytes;
    file* root;  // null when the file could not be read or parsed
};

// Reads and parses path ("-": standard input). On failure the reason, with
// the byte offset that readImage gives, is on stderr and root is null. Free
// the tree with freeTree.
LoadedImage loadImage(const std::string& path);

// path as messages name it.
std::string imageName(const std::string& path);

// What readImage found wrong with image, in words.
std::string imageProblem(const ImageReadResult& result, std::string_view image);

// Bytes that the nodes of a tree take in its image, the header included.
std::uint64_t imageBytesUsed(file* root);

// Why a stored content of stored bytes does not turn back into text, in words.
std::string storedFormProblem(StoredFormFault fault, std::size_t storedBytes);
