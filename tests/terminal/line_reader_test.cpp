#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "terminal/line_reader.h"

namespace {

// The bytes are read back through a text-mode stream, as standard input is.
std::vector<std::string> linesOf(const std::string& input) {
    const std::string path = testing::TempDir() + "line_reader_" +
                             testing::UnitTest::GetInstance()->current_test_info()->name();
    std::ofstream(path, std::ios::binary) << input;
    std::FILE* stream = std::fopen(path.c_str(), "r");
    std::vector<std::string> lines;
    std::string line;
    while (readLine(stream, line)) lines.push_back(line);
    std::fclose(stream);
    std::remove(path.c_str());
    return lines;
}

using Lines = std::vector<std::string>;

TEST(ReadLine, SplitsOnLineFeedOnly) {
    EXPECT_EQ(linesOf(""), Lines{});
    EXPECT_EQ(linesOf("\n"), Lines{""});
    EXPECT_EQ(linesOf("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(linesOf("a\n\nb"), (Lines{"a", "", "b"}));
}

TEST(ReadLine, LastLineWithoutLineEndCounts) {
    EXPECT_EQ(linesOf("a\nlast"), (Lines{"a", "last"}));
}

TEST(ReadLine, DropsOnlyTheCarriageReturnBeforeTheLineFeed) {
    EXPECT_EQ(linesOf("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(linesOf("a\r\r\n"), Lines{"a\r"});
    EXPECT_EQ(linesOf("a\rb\n"), Lines{"a\rb"});
    EXPECT_EQ(linesOf("end\r"), Lines{"end\r"});
}

TEST(ReadLine, NulIsAnOrdinaryByte) {
    EXPECT_EQ(linesOf(std::string("a\0b\n\0", 5)),
              (Lines{std::string("a\0b", 3), std::string("\0", 1)}));
}

TEST(ReadLine, LongLineIsOneLine) {
    const std::string longLine(3'000'000, 'q');
    EXPECT_EQ(linesOf(longLine + "\nx"), (Lines{longLine, "x"}));
}

}  // namespace
