// The least any program linked with an image must do at start: read every
// image byte once and copy each node's name and content into memory of its
// own, one allocation per node. The terminal's start-up is measured against it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fs/image_format.h"
#include "fs/node_record.h"
#include "image/fs_raw.h"

int main() {
    const char* pos = FS_raw + kImageHeaderBytes;
    const char* const end = FS_raw + FS_raw_len;
    std::vector<char*> nodes;
    std::uint64_t pending = 1;  // nodes announced but not yet read
    while (pending != 0 && nodeFits(pos, end)) {
        const NodeRecord record = readNodeRecord(pos);
        char* copy = static_cast<char*>(std::malloc(record.name.size() + record.content.size()));
        std::memcpy(copy, record.name.data(), record.name.size());
        std::memcpy(copy + record.name.size(), record.content.data(), record.content.size());
        nodes.push_back(copy);
        pending = pending - 1 + readChildCount(pos);
    }
    // The copies must stay observable, or the compiler could drop them.
    return nodes.size() > 0 && nodes.back() == nullptr;
}
