// Fixed-width little-endian fields of the image, read from and appended to
// unaligned byte positions.
#pragma once

#include <cstdint>
#include <string>

inline std::uint16_t readU16(const char* at) {
    auto b = reinterpret_cast<const unsigned char*>(at);
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

inline std::uint32_t readU32(const char* at) {
    auto b = reinterpret_cast<const unsigned char*>(at);
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
           std::uint32_t{b[3]} << 24;
}

inline std::int64_t readI64(const char* at) {
    return static_cast<std::int64_t>(std::uint64_t{readU32(at)} | std::uint64_t{readU32(at + 4)} << 32);
}

inline void appendLittleEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i) & 0xff));
}
