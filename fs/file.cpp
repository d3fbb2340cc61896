#include "file.h"

file::file(const char*& pos, file* parent) : file(readNodeRecord(pos), parent) {}

file::file(const NodeRecord& record, file* parent)
    : kind(record.kind), name(record.name), content(record.content), parent(parent) {}

void file::add_file(file* child) { children.push_back(child); }

file* file::in_child(std::string&& name) {
    for (file* child : children)
        if (child->name == name) return child;
    return nullptr;
}
