#include "image_paths.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string escapeName(std::string_view name) {
    std::string escaped;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '/') {
            escaped += '\\';
            escaped += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            escaped += "\\x";
            escaped += kHexDigits[byte >> 4];
            escaped += kHexDigits[byte & 15];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

bool splitPath(std::string_view path, std::vector<std::string>& names, std::string& error) {
    names.clear();
    if (!path.empty() && path.front() == '/') path.remove_prefix(1);
    if (path.empty()) return true;
    std::string name;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '/') {
            names.push_back(std::move(name));
            name.clear();
        } else if (c != '\\') {
            name += c;
        } else if (i + 1 < path.size() && (path[i + 1] == '\\' || path[i + 1] == '/')) {
            name += path[++i];
        } else if (i + 3 < path.size() && path[i + 1] == 'x' && hexValue(path[i + 2]) >= 0 &&
                   hexValue(path[i + 3]) >= 0) {
            name += static_cast<char>(hexValue(path[i + 2]) * 16 + hexValue(path[i + 3]));
            i += 3;
        } else {
            error = "a backslash in a path must start \\\\, \\/ or \\xHH (at byte " +
                    std::to_string(i) + ")";
            return false;
        }
    }
    names.push_back(std::move(name));
    return true;
}

file* findNode(file* root, const std::vector<std::string>& names) {
    file* node = root;
    for (const std::string& name : names) {
        node = node->in_child(std::string(name));
        if (!node) return nullptr;
    }
    return node;
}
