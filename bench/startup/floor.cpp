// The least any program linked with an image must do at start: read every
// image byte once and copy each node's name and content into memory of its
// own, one allocation per node. The terminal's start-up is measured against it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fs/image_format.h"
#include "fs/little_endian.h"
#include "image/fs_raw.h"

int main() {
    const char* pos = FS_raw + kImageHeaderBytes;
    const char* const end = FS_raw + FS_raw_len;
    std::vector<char*> nodes;
    std::uint64_t pending = 1;  // nodes announced but not yet read
    while (pending != 0 && end - pos >= static_cast<std::ptrdiff_t>(kMinNodeBytes)) {
        const std::uint16_t nameLength = readU16(pos + 4);
        const std::uint32_t contentLength = readU32(pos + 6 + nameLength);
        char* copy = static_cast<char*>(std::malloc(std::size_t{nameLength} + contentLength));
        std::memcpy(copy, pos + 6, nameLength);
        std::memcpy(copy + nameLength, pos + 10 + nameLength, contentLength);
        nodes.push_back(copy);
        pos += 10 + std::size_t{nameLength} + contentLength;
        pending = pending - 1 + readU32(pos);
        pos += 4;
    }
    // The copies must stay observable, or the compiler could drop them.
    return nodes.size() > 0 && nodes.back() == nullptr;
}
