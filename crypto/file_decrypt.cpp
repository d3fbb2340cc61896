#include "file_decrypt.h"

#include "fs/image_format.h"

StoredFormFault nodeText(const file& node, std::string& text) {
    if (!isPlainTextName(node.name)) return revealContent(node.content, text);
    text = node.content;
    return StoredFormFault::none;
}

std::optional<std::string> file_decrypt(file* node) {
    std::string text;
    if (revealContent(node->content, text) != StoredFormFault::none) return std::nullopt;
    return text;
}
