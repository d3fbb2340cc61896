#include "file.h"

#include "little_endian.h"

file::file(const char*& pos, file* parent) : kind(readU32(pos)), parent(parent) {
    const std::uint16_t nameLength = readU16(pos + 4);
    name.assign(pos + 6, nameLength);
    pos += 6 + nameLength;
    const std::uint32_t contentLength = readU32(pos);
    content.assign(pos + 4, contentLength);
    pos += 4 + std::size_t{contentLength};
}

void file::add_file(file* child) { children.push_back(child); }

file* file::in_child(std::string&& name) {
    for (file* child : children)
        if (child->name == name) return child;
    return nullptr;
}
