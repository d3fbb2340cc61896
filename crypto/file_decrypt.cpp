#include "file_decrypt.h"

#include "content_transform.h"

std::optional<std::string> file_decrypt(file* node) {
    std::string text;
    if (revealContent(node->content, text) != StoredFormFault::none) return std::nullopt;
    return text;
}
