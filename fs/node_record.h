// One node record of the image and the child count after it: the only place
// that knows their layout. A record is kind u32, name length u16, name,
// content length u32, content; then comes the count u32, all little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "image_format.h"
#include "little_endian.h"

// A record's fields, viewing the bytes they were read from or will be written as.
struct NodeRecord {
    std::uint32_t kind;
    std::string_view name;
    std::string_view content;
};

// Bytes of a record whose name and content have these lengths, its child
// count included.
constexpr std::uint64_t nodeBytes(std::uint64_t nameLength, std::uint64_t contentLength) {
    return kMinNodeBytes + nameLength + contentLength;
}

// True when the record at pos and the child count after it lie before end.
inline bool nodeFits(const char* pos, const char* end) {
    const auto left = static_cast<std::uint64_t>(end - pos);
    if (left < nodeBytes(0, 0)) return false;
    const std::uint64_t nameLength = readU16(pos + 4);
    if (left < nodeBytes(nameLength, 0)) return false;
    return left >= nodeBytes(nameLength, readU32(pos + 6 + nameLength));
}

// The record at pos, viewed in place; pos is left on its child count. The
// caller has checked that it fits.
inline NodeRecord readNodeRecord(const char*& pos) {
    NodeRecord record;
    record.kind = readU32(pos);
    record.name = {pos + 6, readU16(pos + 4)};
    pos += 6 + record.name.size();
    record.content = {pos + 4, readU32(pos)};
    pos += 4 + record.content.size();
    return record;
}

// The child count at pos, which is left on the next record.
inline std::uint32_t readChildCount(const char*& pos) {
    const std::uint32_t count = readU32(pos);
    pos += 4;
    return count;
}

// Appends the record and its child count. Names over 65,535 bytes and contents
// of 2^32 bytes or more cannot be stored: the caller checks.
inline void appendNodeRecord(std::string& image, const NodeRecord& record, std::uint32_t childCount) {
    appendLittleEndian(image, record.kind, 4);
    appendLittleEndian(image, record.name.size(), 2);
    image.append(record.name);
    appendLittleEndian(image, record.content.size(), 4);
    image.append(record.content);
    appendLittleEndian(image, childCount, 4);
}
