// Whether an image's stored files were made with this build's content key.
// kestivfs writes every stored file with a pad of 1 to 16 bytes, each byte
// holding the pad's length. Under another key the transform ends in such a pad
// for about one file in 256, so an image in which most whole stored files lack
// one was made with another key, not damaged here and there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fs/file.h"

struct KeyEvidence {
    std::uint64_t judged = 0;  // stored files of whole 16-byte blocks
    std::uint64_t padded = 0;  // of those, the ones whose transform ends in such a pad
};

// Adds one stored file to evidence, given its transform with the pad (revealPadded).
void weighPadded(KeyEvidence& evidence, std::string_view padded);

// The evidence of every stored file under root.
KeyEvidence weighContentKey(file* root);

// What to say about image when the evidence shows another key; empty when it does not.
std::string anotherKeyProblem(const KeyEvidence& evidence, std::string_view image);
