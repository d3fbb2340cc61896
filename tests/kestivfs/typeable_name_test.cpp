#include <gtest/gtest.h>

#include <string>

#include "typeable_name.h"

namespace {

TEST(TypeableName, OnlyWhatAKeyboardSendsAndATerminalShows) {
    const struct {
        const char* label;
        std::string name, reason;
    } cases[] = {
        {"plain", "prize.txt", ""},
        {"inner spaces", "old attic", ""},
        {"accented", "caf\xc3\xa9", ""},
        {"three-byte letters", "\xe6\x97\xa5\xe6\x9c\xac", ""},
        {"four-byte emoji", "\xf0\x9f\x90\x89", ""},
        {"no-break space",
         "a\xc2\xa0"
         "b",
         ""},
        {"highest code point", "\xf4\x8f\xbf\xbf", ""},
        {"line feed", "a\nb", "it holds the control byte 0x0a"},
        {"tab", "tab\t", "it holds the control byte 0x09"},
        {"carriage return at the end", "Icon\r", "it holds the control byte 0x0d"},
        {"escape", "\x1b[31mred", "it holds the control byte 0x1b"},
        {"first control byte", std::string("\x01", 1), "it holds the control byte 0x01"},
        {"delete", "del\x7f", "it holds the control byte 0x7f"},
        {"C1 next line", "a\xc2\x85", "it holds the control character U+0085"},
        {"C1 lowest", "\xc2\x80", "it holds the control character U+0080"},
        {"C1 highest", "\xc2\x9f", "it holds the control character U+009F"},
        {"Latin-1 byte", "caf\xe9", "it is not valid UTF-8 (byte 0xe9 at offset 3)"},
        {"byte 0xff", "\xff", "it is not valid UTF-8 (byte 0xff at offset 0)"},
        {"cut sequence", "ab\xc3", "it is not valid UTF-8 (byte 0xc3 at offset 2)"},
        {"lone continuation", "\x80x", "it is not valid UTF-8 (byte 0x80 at offset 0)"},
        {"overlong slash", "\xc0\xaf", "it is not valid UTF-8 (byte 0xc0 at offset 0)"},
        {"overlong three bytes", "\xe0\x80\xaf", "it is not valid UTF-8 (byte 0xe0 at offset 0)"},
        {"surrogate", "\xed\xa0\x80", "it is not valid UTF-8 (byte 0xed at offset 0)"},
        {"past U+10FFFF", "\xf4\x90\x80\x80", "it is not valid UTF-8 (byte 0xf4 at offset 0)"},
        {"leading space", " cellar", "it begins with a space"},
        {"trailing space", "cellar ", "it ends with a space, which dir's listing does not show"},
        {"only a space", " ", "it begins with a space"},
        {"longest typeable", std::string(4090, 'x'), ""},
        {"one byte longer", std::string(4091, 'x'),
         "it is 4091 bytes, and a terminal's line holds \"type \" and at most 4090"},
    };
    for (const auto& c : cases) EXPECT_EQ(untypeableReason(c.name), c.reason) << c.label;
}

TEST(TypeableName, MessagesShowUnprintableBytesAsEscapes) {
    EXPECT_EQ(shownBytes("plain/caf\xc3\xa9"), "plain/caf\xc3\xa9");
    EXPECT_EQ(shownBytes("a\nb\\c\xff\x1b"), "a\\x0ab\\\\c\\xff\\x1b");
    EXPECT_EQ(shownBytes("next\xc2\x85line"), "next\\xc2\\x85line");
    EXPECT_EQ(shownBytes("cut\xe6\x97"), "cut\\xe6\\x97");
}

}  // namespace
