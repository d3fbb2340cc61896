#include "image_writer.h"

#include <cstdio>
#include <filesystem>

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

bool writeFileAtomically(const std::string& path, std::string_view bytes) {
    const std::string temporary = path + ".partial";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) {
        std::remove(temporary.c_str());
        return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) std::remove(temporary.c_str());
    return !error;
}
