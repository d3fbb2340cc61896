// Paths of nodes as the tool prints and reads them: names from the root, each
// after a "/". In a name, "\\" stands for a backslash, "\/" for a slash and
// "\xHH" for any byte (control bytes are always written so), so every name
// can be written and read back.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "fs/file.h"

// name as it stands in a path.
std::string escapeName(std::string_view name);

// The names of path; one leading "/" is optional, "" and "/" name the root.
// False with a reason in error when an escape is malformed.
bool splitPath(std::string_view path, std::vector<std::string>& names, std::string& error);

// The node that names lead to from root, taking the first of equal siblings
// (as the terminal does); null when there is none.
file* findNode(file* root, const std::vector<std::string>& names);

// Calls visit(node, path, level) for every node in image order, the root with
// path "/"; paths are escaped. Works at any depth: nothing recurses.
template <class Visit>
void walkTree(file* root, Visit visit) {
    struct Pending {
        file* node;
        std::size_t level;
        std::size_t parentPathBytes;
    };
    std::string path;
    std::vector<Pending> pending{{root, 0, 0}};
    while (!pending.empty()) {
        const Pending at = pending.back();
        pending.pop_back();
        path.resize(at.parentPathBytes);
        if (at.level > 0) {
            path += '/';
            path += escapeName(at.node->name);
        }
        visit(at.node, at.level == 0 ? std::string_view("/") : std::string_view(path), at.level);
        for (auto child = at.node->children.rbegin(); child != at.node->children.rend(); ++child)
            pending.push_back({*child, at.level + 1, path.size()});
    }
}
