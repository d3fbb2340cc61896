#include "image_writer.h"

#include "fs/little_endian.h"

void appendImageHeader(std::string& image, std::int64_t version) {
    image.append(kImageMagic);
    appendLittleEndian(image, static_cast<std::uint64_t>(version), 8);
}

void appendNode(std::string& image, std::uint32_t kind, std::string_view name,
                std::string_view content, std::uint32_t childCount) {
    appendLittleEndian(image, kind, 4);
    appendLittleEndian(image, name.size(), 2);
    image.append(name);
    appendLittleEndian(image, content.size(), 4);
    image.append(content);
    appendLittleEndian(image, childCount, 4);
}
