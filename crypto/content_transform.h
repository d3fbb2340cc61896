// The stored form of file contents: the text, a pad whose last byte gives the
// pad's length, then the CBC inverse under this build's content key and IV.
// Applying the CBC forward transform undoes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Why a stored content cannot be turned back into text.
enum class StoredFormFault {
    none,
    empty,         // no last byte to read the pad from
    partialBlock,  // length not a multiple of 16
    tooLong,       // more than kMaxStoredBytes
    padPastStart,  // the pad byte is greater than the length
};

// The longest stored content the transform takes: a content of 2^31 bytes or
// more is refused, so that any count of it fits a signed 32-bit integer.
inline constexpr std::uint64_t kMaxStoredBytes = 0x7fffffff;

// Bytes that a text of textBytes takes in the stored form: a pad of 1 to 16.
constexpr std::uint64_t storedBytesOf(std::uint64_t textBytes) {
    return textBytes + 16 - textBytes % 16;
}

// Turns stored back into its text, or reports why it cannot; a pad byte of 0
// removes nothing.
StoredFormFault revealContent(std::string_view stored, std::string& text);

// Applies the transform to the whole of stored, leaving the text with its pad
// in padded; the faults are revealContent's but for padPastStart, which only
// reading the pad finds.
StoredFormFault revealPadded(std::string_view stored, std::string& padded);

// The stored form of text, padded with 16 - size % 16 bytes of that value.
std::string storeContent(std::string_view text);
