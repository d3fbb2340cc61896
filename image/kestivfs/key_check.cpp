#include "key_check.h"

#include "crypto/content_transform.h"
#include "fs/image_format.h"
#include "image_paths.h"

namespace {

// The longest pad kestivfs writes: one whole block.
constexpr std::size_t kLongestWrittenPad = 16;

// A quarter, where the same key gives every file and another about one in 256:
// scattered damage stays below it, and a small image with the wrong key almost
// never reaches it.
bool mostLackThePad(const KeyEvidence& evidence) {
    return evidence.judged > 0 && evidence.padded * 4 < evidence.judged;
}

}  // namespace

void weighPadded(KeyEvidence& evidence, std::string_view padded) {
    ++evidence.judged;
    const auto pad = static_cast<std::uint8_t>(padded.back());
    if (pad == 0 || pad > kLongestWrittenPad || pad > padded.size()) return;
    for (std::size_t i = padded.size() - pad; i < padded.size(); ++i)
        if (static_cast<std::uint8_t>(padded[i]) != pad) return;
    ++evidence.padded;
}

KeyEvidence weighContentKey(file* root) {
    KeyEvidence evidence;
    std::string padded;
    walkTree(root, [&](const file* node, std::string_view, std::size_t) {
        if (node->kind != kRegularFileKind || isPlainTextName(node->name)) return;
        if (revealPadded(node->content, padded) == StoredFormFault::none)
            weighPadded(evidence, padded);
    });
    return evidence;
}

std::string anotherKeyProblem(const KeyEvidence& evidence, std::string_view image) {
    if (!mostLackThePad(evidence)) return "";
    return std::string(image) + ": the stored files do not turn back into text with this build's key (" +
           std::to_string(evidence.judged - evidence.padded) + " of " + std::to_string(evidence.judged) +
           " end in no pad that kestivfs writes): made with another key?";
}
