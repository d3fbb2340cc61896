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
    empty,           // no last byte to read the pad from
    partialBlock,    // length not a multiple of 16
    tooLong,         // 2^31 bytes or more
    padPastStart,    // the pad byte is greater than the length
};

// Turns stored back into its text, or reports why it cannot; a pad byte of 0
// removes nothing.
StoredFormFault revealContent(std::string_view stored, std::string& text);

// The stored form of text, padded with 16 - size % 16 bytes of that value.
std::string storeContent(std::string_view text);
