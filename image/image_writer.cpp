#include "image_writer.h"

#include "fs/little_endian.h"
#include "fs/node_record.h"

void appendImageHeader(std::string& image, std::int64_t version) {
    image.append(kImageMagic);
    appendLittleEndian(image, static_cast<std::uint64_t>(version), 8);
}

void appendNode(std::string& image, std::uint32_t kind, std::string_view name,
                std::string_view content, std::uint32_t childCount) {
    appendNodeRecord(image, {kind, name, content}, childCount);
}
