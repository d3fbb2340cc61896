#include "image_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image_format.h"
#include "little_endian.h"
#include "node_record.h"

namespace {

// Room for the announced children, but never more than the bytes left could hold.
void reserveChildren(file* node, std::uint32_t count, const char* pos, const char* end) {
    node->children.reserve(
        std::min<std::size_t>(count, static_cast<std::size_t>(end - pos) / kMinNodeBytes));
}

ImageReadResult failure(ImageStatus status, const char* data, const char* at, file* built) {
    freeTree(built);
    return {status, static_cast<std::size_t>(at - data), nullptr};
}

}  // namespace

ImageReadResult readImage(const char* data, std::size_t length) {
    const char* const end = data + length;
    if (length < kImageMagic.size() || std::memcmp(data, kImageMagic.data(), kImageMagic.size()))
        return failure(ImageStatus::badMagic, data, data, nullptr);
    if (length < kImageHeaderBytes) return failure(ImageStatus::truncated, data, data, nullptr);
    if (readI64(data + 8) > 0)
        return failure(ImageStatus::unsupportedVersion, data, data + 8, nullptr);

    const char* pos = data + kImageHeaderBytes;
    if (!nodeFits(pos, end)) return failure(ImageStatus::truncated, data, pos, nullptr);
    file* root = new file(pos, nullptr);
    root->parent = root;
    std::uint32_t remaining = readChildCount(pos);
    reserveChildren(root, remaining, pos, end);

    std::vector<std::uint32_t> pending;  // children still to read, one entry per open ancestor
    file* current = root;
    while (!pending.empty() || remaining != 0) {
        if (remaining != 0) {
            if (!nodeFits(pos, end)) return failure(ImageStatus::truncated, data, pos, root);
            file* node = new file(pos, current);
            pending.push_back(remaining - 1);
            remaining = readChildCount(pos);
            current->add_file(node);
            reserveChildren(node, remaining, pos, end);
            current = node;
        } else {
            current = current->parent;
            remaining = pending.back();
            pending.pop_back();
        }
    }
    return {ImageStatus::ok, 0, root};
}

void freeTree(file* root) {
    if (!root) return;
    std::vector<file*> toFree{root};
    while (!toFree.empty()) {
        file* node = toFree.back();
        toFree.pop_back();
        toFree.insert(toFree.end(), node->children.begin(), node->children.end());
        delete node;
    }
}
