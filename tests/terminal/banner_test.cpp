#include <gtest/gtest.h>

#include <cctype>
#include <string_view>

#include "terminal/banner.h"

TEST(Banner, BeginsAndEndsWithALineEnd) {
    ASSERT_GE(kBanner.size(), 2u);
    EXPECT_EQ(kBanner.front(), '\n');
    EXPECT_EQ(kBanner.back(), '\n');
}

TEST(Banner, IsDrawnInTheLettersOOAndQWithPunctuation) {
    for (char c : kBanner) {
        const bool letter = c == 'o' || c == 'O' || c == 'Q';
        const bool punctuationOrSpace =
            c == ' ' || c == '\n' || (c > ' ' && c < 0x7f && !std::isalnum(c));
        EXPECT_TRUE(letter || punctuationOrSpace) << "unexpected character '" << c << "'";
    }
}
