// The image reader on its own: what it builds, and where it stops on a bad image.
#include <gtest/gtest.h>

#include "allocation_watch.h"
#include "fixture_tree.h"
#include "fs/image_reader.h"
#include "fs/little_endian.h"
#include "image/image_writer.h"

namespace {

ImageReadResult read(const std::string& image) { return readImage(image.data(), image.size()); }

TEST(ImageReader, BuildsChildrenInOrderWithParents) {
    const std::string image =
        imageOf(directory("/", {directory("A", {directory("C")}), directory("B")}));
    ImageReadResult result = read(image);
    ASSERT_EQ(result.status, ImageStatus::ok);
    file* root = result.root;
    EXPECT_EQ(root->parent, root);
    ASSERT_EQ(root->children.size(), 2u);
    file* a = root->children[0];
    EXPECT_EQ(a->name, "A");
    EXPECT_EQ(a->parent, root);
    ASSERT_EQ(a->children.size(), 1u);
    EXPECT_EQ(a->children[0]->name, "C");
    EXPECT_EQ(a->children[0]->parent, a);
    EXPECT_EQ(root->children[1]->name, "B");
    freeTree(root);
}

TEST(ImageReader, EmptyRootIsThirtyOneBytes) {
    const std::string image = imageOf(directory("/"));
    EXPECT_EQ(image.size(), 31u);
    ImageReadResult result = read(image);
    ASSERT_EQ(result.status, ImageStatus::ok);
    EXPECT_TRUE(result.root->children.empty());
    freeTree(result.root);
}

TEST(ImageReader, KeepsKindNameAndContentBytes) {
    const std::string name("n\0me", 4);
    const std::string content(70'000, '\xfe');
    ImageReadResult result = read(imageOf(directory("/", {{9, name, content, {directory("kid")}}})));
    ASSERT_EQ(result.status, ImageStatus::ok);
    const file* node = result.root->children[0];
    EXPECT_EQ(node->kind, 9u);
    EXPECT_EQ(node->name, name);
    EXPECT_EQ(node->content, content);
    ASSERT_EQ(node->children.size(), 1u);
    EXPECT_EQ(node->children[0]->name, "kid");
    freeTree(result.root);
}

TEST(ImageReader, InChildFindsTheFirstOfDuplicatesAndMatchesCase) {
    ImageReadResult result = read(imageOf(directory(
        "/", {directory("dup", {directory("first")}), directory("dup"), directory("Case")})));
    ASSERT_EQ(result.status, ImageStatus::ok);
    file* first = result.root->in_child("dup");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->children.size(), 1u);
    EXPECT_EQ(result.root->in_child("case"), nullptr);
    EXPECT_EQ(result.root->in_child(""), nullptr);
    EXPECT_NE(result.root->in_child("Case"), nullptr);
    freeTree(result.root);
}

TEST(ImageReader, ChainOfAMillionLevelsNeedsNoRecursion) {
    constexpr int levels = 1'000'000;
    ImageReadResult result = read(chainImage(levels, "d", "bottom"));
    ASSERT_EQ(result.status, ImageStatus::ok);
    const file* node = result.root;
    int depth = 0;
    while (!node->children.empty()) {
        node = node->children[0];
        ++depth;
    }
    EXPECT_EQ(depth, levels + 1);
    EXPECT_EQ(node->name, "leaf.txt");
    freeTree(result.root);
}

struct BadImage {
    const char* name;
    std::string image;
    ImageStatus status;
    std::size_t offset;
};

void PrintTo(const BadImage& c, std::ostream* os) { *os << c.name; }

class RejectedImage : public testing::TestWithParam<BadImage> {};

TEST_P(RejectedImage, ReportsStatusAndOffset) {
    const BadImage& c = GetParam();
    const ImageReadResult result = read(c.image);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.offset, c.offset);
    EXPECT_EQ(result.root, nullptr);
}

std::string twoChildren() { return imageOf(directory("/", {directory("a"), directory("b")})); }

std::string withRootCount(std::string image, std::uint32_t count) {
    std::string bytes;
    appendLittleEndian(bytes, count, 4);
    return image.replace(27, 4, bytes);
}

const BadImage kBadImages[] = {
    {"empty", "", ImageStatus::badMagic, 0},
    {"short_magic", "kestiv", ImageStatus::badMagic, 0},
    {"magic_in_other_case", "KestivFS" + twoChildren().substr(8), ImageStatus::badMagic, 0},
    {"version_one", imageOf(directory("/"), 1), ImageStatus::unsupportedVersion, 8},
    {"largest_version", imageOf(directory("/"), INT64_MAX), ImageStatus::unsupportedVersion, 8},
    {"magic_only", "kestivFS", ImageStatus::truncated, 0},
    {"header_only", twoChildren().substr(0, 16), ImageStatus::truncated, 16},
    {"root_record_cut", twoChildren().substr(0, 30), ImageStatus::truncated, 16},
    {"child_record_cut", twoChildren().substr(0, 40), ImageStatus::truncated, 31},
    {"last_count_cut", twoChildren().substr(0, twoChildren().size() - 1), ImageStatus::truncated, 46},
    {"count_past_end", withRootCount(twoChildren(), 3), ImageStatus::truncated, twoChildren().size()},
    {"huge_count_then_nothing", withRootCount(twoChildren().substr(0, 31), 4'000'000'000u),
     ImageStatus::truncated, 31},
    {"name_length_past_end",
     twoChildren().substr(0, 31) + std::string("\0\0\0\0\xff\xff", 6) + std::string(20, 'x'),
     ImageStatus::truncated, 31},
};

INSTANTIATE_TEST_SUITE_P(Bad, RejectedImage, testing::ValuesIn(kBadImages),
                         [](const testing::TestParamInfo<BadImage>& info) { return info.param.name; });

TEST(ImageReader, AcceptsNegativeVersionAndIgnoresTrailingBytes) {
    ImageReadResult result = read(imageOf(directory("/", {directory("a")}), -1) + "tail");
    ASSERT_EQ(result.status, ImageStatus::ok);
    EXPECT_EQ(result.root->children.size(), 1u);
    freeTree(result.root);
}

// A count the allocator would grant if asked: 800 MB of child pointers.
TEST(ImageReader, HugeCountReservesOnlyWhatTheBytesCanHold) {
    const std::string image = withRootCount(twoChildren(), 100'000'000u);
    const AllocationWatch watch;
    const ImageReadResult result = read(image);
    EXPECT_EQ(result.status, ImageStatus::truncated);
    EXPECT_LE(watch.largest(), 4096u)
        << "a block of " << watch.largest() << " bytes for a " << image.size() << "-byte image";
}

}  // namespace
