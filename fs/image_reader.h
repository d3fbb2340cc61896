// Builds a file tree from image bytes without ever reading outside them.
#pragma once

#include <cstddef>

#include "file.h"

enum class ImageStatus {
    ok,
    badMagic,            // shorter than the magic, or the magic differs
    unsupportedVersion,  // version above 0
    truncated,           // the header, a record or a count runs past the end
};

struct ImageReadResult {
    ImageStatus status;
    std::size_t offset;  // where the failing header or node record starts
    file* root;          // the whole tree when status is ok, else null
};

// Reads the image at data .. data + length. Bytes after the last node are
// ignored. On failure nothing built is kept.
ImageReadResult readImage(const char* data, std::size_t length);

// Frees every node of a tree built by readImage, at any depth.
void freeTree(file* root);
