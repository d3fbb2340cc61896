#include "typeable_name.h"

#include <cstdint>

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
// Code points are written as Unicode writes them, U+009F.
constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

std::string hexByte(unsigned char byte) {
    return std::string("0x") + kHexDigits[byte >> 4] + kHexDigits[byte & 15];
}

// The length of the UTF-8 sequence at text[at] (RFC 3629: no overlong forms,
// no surrogates, nothing past U+10FFFF) and its code point; 0 when invalid.
std::size_t utf8Sequence(std::string_view text, std::size_t at, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    unsigned char low = 0x80, high = 0xbf;  // the range of the second byte
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        codePoint = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        codePoint = lead & 0x0f;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        codePoint = lead & 0x07;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xbf)) return 0;
        codePoint = codePoint << 6 | (next & 0x3f);
    }
    return length;
}

bool isControl(std::uint32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7f && codePoint <= 0x9f);
}

}  // namespace

std::string untypeableReason(std::string_view name) {
    for (std::size_t at = 0; at < name.size();) {
        std::uint32_t codePoint = 0;
        const std::size_t length = utf8Sequence(name, at, codePoint);
        if (length == 0)
            return "it is not valid UTF-8 (byte " + hexByte(static_cast<unsigned char>(name[at])) +
                   " at offset " + std::to_string(at) + ")";
        if (isControl(codePoint)) {
            if (codePoint < 0x80)
                return "it holds the control byte " + hexByte(static_cast<unsigned char>(codePoint));
            return std::string("it holds the control character U+00") +
                   kUpperHexDigits[codePoint >> 4] + kUpperHexDigits[codePoint & 15];
        }
        at += length;
    }
    if (name.size() > kMaxTypeableNameBytes)
        return "it is " + std::to_string(name.size()) +
               " bytes, and a terminal's line holds \"type \" and at most " +
               std::to_string(kMaxTypeableNameBytes);
    if (name.starts_with(' ')) return "it begins with a space";
    if (name.ends_with(' ')) return "it ends with a space, which dir's listing does not show";
    return "";
}

std::string shownBytes(std::string_view text) {
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
        std::uint32_t codePoint = 0;
        const std::size_t length = utf8Sequence(text, at, codePoint);
        if (length == 0 || isControl(codePoint)) {
            for (std::size_t i = 0; i < (length ? length : 1); ++i) {
                const auto byte = static_cast<unsigned char>(text[at + i]);
                shown += "\\x";
                shown += kHexDigits[byte >> 4];
                shown += kHexDigits[byte & 15];
            }
            at += length ? length : 1;
        } else {
            if (codePoint == '\\') shown += '\\';
            shown.append(text.substr(at, length));
            at += length;
        }
    }
    return shown;
}
