#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_paths.h"

namespace {

TEST(ImagePaths, EveryNameSurvivesEscapingAndSplitting) {
    const std::vector<std::string> names = {"plain",
                                            "with space",
                                            "a/b",
                                            "back\\slash",
                                            std::string("nul\0byte", 8),
                                            "\x01\x1f\x7f",
                                            "\xc3\xa9t\xc3\xa9",
                                            "..",
                                            "",
                                            "\\x41"};
    for (const std::string& name : names) {
        std::vector<std::string> split;
        std::string error;
        ASSERT_TRUE(splitPath("/dir/" + escapeName(name), split, error)) << error;
        EXPECT_EQ(split, (std::vector<std::string>{"dir", name})) << escapeName(name);
    }
    EXPECT_EQ(escapeName("a/b\\c\n"), "a\\/b\\\\c\\x0a");
}

TEST(ImagePaths, SplitsWithOrWithoutALeadingSlash) {
    const struct {
        const char* path;
        std::vector<std::string> names;
    } cases[] = {
        {"", {}},
        {"/", {}},
        {"README.txt", {"README.txt"}},
        {"/a/b", {"a", "b"}},
        {"a//b", {"a", "", "b"}},
        {"//x", {"", "x"}},
        {"a/", {"a", ""}},
        {"\\x2Fa", {"/a"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> names;
        std::string error;
        ASSERT_TRUE(splitPath(c.path, names, error)) << c.path;
        EXPECT_EQ(names, c.names) << c.path;
    }
}

TEST(ImagePaths, RejectsMalformedEscapes) {
    for (const char* path : {"a\\", "a\\n", "\\x4", "\\xg0", "\\x"}) {
        std::vector<std::string> names;
        std::string error;
        EXPECT_FALSE(splitPath(path, names, error)) << path;
        EXPECT_NE(error, "") << path;
    }
}

}  // namespace
