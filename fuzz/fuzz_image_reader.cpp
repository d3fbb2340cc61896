// Arbitrary bytes as an image: readImage either builds a tree that serialises
// back to exactly the bytes it read, or reports a failure inside the image;
// it never reads outside the bytes (the sanitizers watch) and the tree frees.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fs/image_format.h"
#include "fs/image_reader.h"
#include "image/image_writer.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// The node stream of a tree in depth-first pre-order, checking the parent
// links on the way; iterative, as the trees may be deep.
std::string nodeStream(file* root) {
    std::string stream;
    std::vector<std::pair<file*, std::size_t>> open;  // node, next child to write
    appendNode(stream, root->kind, root->name, root->content,
               static_cast<std::uint32_t>(root->children.size()));
    open.emplace_back(root, 0);
    while (!open.empty()) {
        auto& [node, next] = open.back();
        if (next == node->children.size()) {
            open.pop_back();
            continue;
        }
        file* child = node->children[next++];
        require(child->parent == node);
        appendNode(stream, child->kind, child->name, child->content,
                   static_cast<std::uint32_t>(child->children.size()));
        open.emplace_back(child, 0);
    }
    return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const ImageReadResult result = readImage(bytes, size);
    if (result.status != ImageStatus::ok) {
        require(result.root == nullptr);
        require(result.offset <= size);
        return 0;
    }
    require(result.root != nullptr && result.root->parent == result.root);
    const std::string stream = nodeStream(result.root);
    require(size >= kImageHeaderBytes + stream.size());
    require(std::memcmp(bytes + kImageHeaderBytes, stream.data(), stream.size()) == 0);
    freeTree(result.root);
    return 0;
}
