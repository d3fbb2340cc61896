// One node of the file tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "node_record.h"

class file {
public:
    std::uint32_t kind;  // 0 directory, 1 regular file, anything else carried as read
    std::string name;
    std::vector<file*> children;
    std::string content;  // as stored in the image
    file* parent;

    // Reads the node record at pos (kind, name, content) and leaves pos on the
    // child count after it. The caller has checked that the record fits.
    file(const char*& pos, file* parent);

    // A node of the record's kind, with copies of its name and content.
    file(const NodeRecord& record, file* parent);

    // Appends child to children; the child's parent was set when it was built.
    void add_file(file* child);

    // The first child named exactly name, or null.
    file* in_child(std::string&& name);
};
