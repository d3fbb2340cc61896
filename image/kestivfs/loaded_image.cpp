#include "loaded_image.h"

#include <cstdio>
#include <vector>

#include "command_line.h"
#include "fs/image_format.h"
#include "fs/little_endian.h"
#include "fs/node_record.h"
#include "standard_streams.h"

LoadedImage loadImage(const std::string& path) {
    LoadedImage image{"", nullptr};
    const bool fromStandardInput = path == kStandardStream;
    const std::string shown = imageName(path);
    if (fromStandardInput) makeStandardInputBinary();
    std::FILE* in = fromStandardInput ? stdin : std::fopen(path.c_str(), "rb");
    if (!in) {
        reportError("cannot open " + shown);
        return image;
    }
    char buffer[1 << 16];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) image.bytes.append(buffer, got);
    const bool failed = std::ferror(in);
    if (!fromStandardInput) std::fclose(in);
    if (failed) {
        reportError("cannot read " + shown);
        return image;
    }
    const ImageReadResult result = readImage(image.bytes.data(), image.bytes.size());
    if (result.status != ImageStatus::ok) {
        reportError(shown + ": " + imageProblem(result, image.bytes));
        return image;
    }
    image.root = result.root;
    return image;
}

std::string imageName(const std::string& path) {
    return path == kStandardStream ? "standard input" : path;
}

std::string imageProblem(const ImageReadResult& result, std::string_view image) {
    const std::string length = std::to_string(image.size());
    switch (result.status) {
    case ImageStatus::ok: return "";
    case ImageStatus::badMagic:
        return image.size() < kImageMagic.size()
                   ? "not a kestivFS image: " + length + " bytes, shorter than the magic"
                   : "not a kestivFS image: the first 8 bytes are not \"kestivFS\"";
    case ImageStatus::unsupportedVersion:
        return "unsupported version " + std::to_string(readI64(image.data() + result.offset)) +
               " at byte " + std::to_string(result.offset) + " (only 0 and below are read)";
    case ImageStatus::truncated:
        return result.offset < kImageHeaderBytes
                   ? "truncated: the header needs 16 bytes, the image has " + length
                   : "truncated: the node record at byte " + std::to_string(result.offset) +
                         " (or its child count) runs past the end of the image at byte " + length;
    }
    return "";
}

std::uint64_t imageBytesUsed(file* root) {
    std::uint64_t used = kImageHeaderBytes;
    std::vector<const file*> pending{root};
    while (!pending.empty()) {
        const file* node = pending.back();
        pending.pop_back();
        used += nodeBytes(node->name.size(), node->content.size());
        pending.insert(pending.end(), node->children.begin(), node->children.end());
    }
    return used;
}

std::string storedFormProblem(StoredFormFault fault, std::size_t storedBytes) {
    const std::string bytes = std::to_string(storedBytes);
    switch (fault) {
    case StoredFormFault::none: return "";
    case StoredFormFault::empty: return "the stored content is empty, so it has no pad";
    case StoredFormFault::partialBlock:
        return "the stored content of " + bytes + " bytes is not a whole number of 16-byte blocks";
    case StoredFormFault::tooLong:
        return "the stored content of " + bytes + " bytes is 2^31 bytes or more";
    case StoredFormFault::padPastStart:
        return "the pad length is greater than the " + bytes + " bytes of stored content";
    }
    return "";
}
