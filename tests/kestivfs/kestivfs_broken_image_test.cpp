// kestivfs on images that are broken, odd or extreme: what list, cat and
// verify report, and where.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crypto/content_transform.h"
#include "image/image_writer.h"
#include "kestivfs_run.h"

namespace {

// A 16-byte stored content whose transform ends in the wanted pad byte test.
template <class Wanted>
std::string storedWith(Wanted wanted) {
    for (std::uint64_t i = 0;; ++i) {
        std::string stored(16, '\0');
        std::memcpy(stored.data(), &i, sizeof i);
        std::string text;
        const StoredFormFault fault = revealContent(stored, text);
        if (wanted(fault, text)) return stored;
    }
}

// Root with a directory holding a file whose pad points past its start, then
// files with a partial block, no content, a pad of 0, an unknown kind, a plain
// README.txt and a good stored file.
std::string brokenImage() {
    std::string image;
    appendImageHeader(image);
    appendNode(image, 0, "/", "", 7);
    appendNode(image, 0, "d", "", 1);
    appendNode(image, 1, "bad pad", storedWith([](StoredFormFault f, const std::string&) {
                   return f == StoredFormFault::padPastStart;
               }),
               0);
    appendNode(image, 1, "partial", std::string(20, 'x'), 0);
    appendNode(image, 1, "empty", "", 0);
    appendNode(image, 1, "zero pad", storedWith([](StoredFormFault f, const std::string& text) {
                   return f == StoredFormFault::none && text.size() == 16;
               }),
               0);
    appendNode(image, 7, "kind7", "", 0);
    appendNode(image, 1, "README.txt", "not stored\n", 0);
    appendNode(image, 1, "good", storeContent("fine\n"), 0);
    return image;
}

TEST(BrokenImage, VerifyReportsEachProblemWithItsPath) {
    ScratchFolder scratch;
    const std::string image = scratch / "broken.img";
    writeBytes(image, brokenImage());
    const ProcessResult verify = kestivfs({"verify", image});
    EXPECT_EQ(verify.status, 1);
    EXPECT_EQ(verify.out,
              "/d/bad pad: the pad length is greater than the 16 bytes of stored content\n"
              "/partial: the stored content of 20 bytes is not a whole number of 16-byte blocks\n"
              "/empty: the stored content is empty, so it has no pad\n"
              "/zero pad: the pad length is 0; a pad is 1 to 255 bytes\n"
              "/kind7: kind 7 is neither a directory (0) nor a regular file (1)\n"
              "5 problems\n");
    EXPECT_EQ(verify.err, "");
}

TEST(BrokenImage, ListAndCatSayWhichContentCannotBeTurnedBack) {
    ScratchFolder scratch;
    const std::string image = scratch / "broken.img";
    writeBytes(image, brokenImage());
    const ProcessResult list = kestivfs({"list", "--text", image});
    EXPECT_EQ(list.status, 0);
    for (const char* expected :
         {"directory          0  /\n"
          "directory          0  /d\n"
          "file              16  /d/bad pad\n"
          "  ! cannot be turned back into text: the pad length is greater than the 16 bytes "
          "of stored content\n"
          "file              20  /partial\n"
          "  ! cannot be turned back into text: the stored content of 20 bytes is not a "
          "whole number of 16-byte blocks\n"
          "file               0  /empty\n"
          "  ! cannot be turned back into text: the stored content is empty, so it has no pad\n"
          "file              16  /zero pad\n",
          "\nkind 7             0  /kind7\n"
          "file              11  /README.txt\n"
          "  | not stored\n"
          "file              16  /good\n"
          "  | fine\n"
          "9 nodes: 2 directories, 6 files, 1 of other kinds\n"
          "deepest level: 2\n"}) {
        EXPECT_NE(list.out.find(expected), std::string::npos) << expected << "\nin\n" << list.out;
    }

    const struct {
        const char* path;
        int status;
        std::string out, err;
    } cats[] = {
        {"d/bad pad", 1, "",
         "kestivfs: cannot turn d/bad pad back into text: the pad length is greater than the 16 "
         "bytes of stored content\n"},
        {"partial", 1, "",
         "kestivfs: cannot turn partial back into text: the stored content of 20 bytes is not a "
         "whole number of 16-byte blocks\n"},
        {"kind7", 1, "", "kestivfs: kind7 is of kind 7, not a regular file\n"},
        {"README.txt", 0, "not stored\n", ""},
        {"good", 0, "fine\n", ""},
    };
    for (const auto& c : cats) {
        const ProcessResult cat = kestivfs({"cat", image, c.path});
        EXPECT_EQ(cat.status, c.status) << c.path;
        EXPECT_EQ(cat.out, c.out) << c.path;
        EXPECT_EQ(cat.err, c.err) << c.path;
    }
}

TEST(BrokenImage, StructuralFaultsNameTheOffset) {
    std::string oneDirectory;
    appendImageHeader(oneDirectory);
    appendNode(oneDirectory, 0, "/", "", 1);
    appendNode(oneDirectory, 0, "child", "", 0);
    std::string versionOne;
    appendImageHeader(versionOne, 1);
    appendNode(versionOne, 0, "/", "", 0);
    const struct {
        const char* label;
        std::string bytes, problem;
    } cases[] = {
        {"cut inside a child record", oneDirectory.substr(0, 40),
         "truncated: the node record at byte 31 (or its child count) runs past the end of the "
         "image at byte 40"},
        {"child count missing", oneDirectory.substr(0, 30),
         "truncated: the node record at byte 16 (or its child count) runs past the end of the "
         "image at byte 30"},
        {"header cut", oneDirectory.substr(0, 10), "truncated: the header needs 16 bytes, the image has 10"},
        {"shorter than the magic", "kest", "not a kestivFS image: 4 bytes, shorter than the magic"},
        {"wrong magic", "kestivfs" + oneDirectory.substr(8),
         "not a kestivFS image: the first 8 bytes are not \"kestivFS\""},
        {"version 1", versionOne, "unsupported version 1 at byte 8 (only 0 and below are read)"},
    };
    ScratchFolder scratch;
    const std::string image = scratch / "bad.img";
    for (const auto& c : cases) {
        writeBytes(image, c.bytes);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"verify", image}, {"list", image}, {"cat", image, "child"}}) {
            const ProcessResult run = kestivfs(args);
            EXPECT_EQ(run.status, 1) << c.label << " " << args[0];
            EXPECT_EQ(run.out, "") << c.label << " " << args[0];
            EXPECT_EQ(run.err, "kestivfs: " + image + ": " + c.problem + "\n")
                << c.label << " " << args[0];
        }
    }
}

TEST(OddImage, BytesAfterTheLastNodeAreCountedButAccepted) {
    std::string bytes;
    appendImageHeader(bytes);
    appendNode(bytes, 0, "/", "", 0);
    bytes += "trailing";
    ScratchFolder scratch;
    writeBytes(scratch / "t.img", bytes);
    const ProcessResult list = kestivfs({"list", scratch / "t.img"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out,
              "directory          0  /\n"
              "1 nodes: 1 directories, 0 files\n"
              "deepest level: 0\n"
              "total length: 31 bytes (8 bytes after the last node are ignored)\n");
    EXPECT_EQ(kestivfs({"verify", scratch / "t.img"}).out,
              "ok: 1 nodes, 0 stored files turn back into text\n");
}

std::string chain(std::size_t depth, std::string_view bottomText) {
    std::string bytes;
    appendImageHeader(bytes);
    appendNode(bytes, 0, "/", "", 1);
    for (std::size_t level = 1; level < depth; ++level) appendNode(bytes, 0, "d", "", 1);
    appendNode(bytes, 1, "f", storeContent(bottomText), 0);
    return bytes;
}

TEST(OddImage, AMillionLevelsDeepChainIsReadWithoutRecursion) {
    ScratchFolder scratch;
    const std::string image = scratch / "deep.img";
    const std::string bytes = chain(1'000'000, "bottom");
    writeBytes(image, bytes);
    const ProcessResult summary = kestivfs({"list", "--summary", image});
    EXPECT_EQ(summary.status, 0) << summary.err;
    EXPECT_EQ(summary.out,
              "1000001 nodes: 1000000 directories, 1 files\n"
              "deepest level: 1000000\n"
              "total length: " +
                  std::to_string(bytes.size()) + " bytes\n");
    const ProcessResult verify = kestivfs({"verify", image});
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_EQ(verify.out, "ok: 1000001 nodes, 1 stored files turn back into text\n");
}

TEST(OddImage, LongPathsAreShownByTheirEndAndStillReachable) {
    ScratchFolder scratch;
    const std::string image = scratch / "long.img";
    writeBytes(image, chain(2'000, "bottom\n"));
    const ProcessResult list = kestivfs({"list", image});
    EXPECT_EQ(list.status, 0);
    const std::string last = "file              16  .../d/";
    const std::size_t at = list.out.find("\nfile ");
    ASSERT_NE(at, std::string::npos);
    const std::string line = list.out.substr(at + 1, list.out.find('\n', at + 1) - at - 1);
    EXPECT_EQ(line.rfind(last, 0), 0u) << line;
    EXPECT_TRUE(line.ends_with("/d/d/f"));
    EXPECT_LE(line.size(), last.size() - 6 + 3 + 1024);
    std::string path;
    for (int level = 1; level < 2'000; ++level) path += "d/";
    const ProcessResult cat = kestivfs({"cat", image, path + "f"});
    EXPECT_EQ(cat.status, 0) << cat.err;
    EXPECT_EQ(cat.out, "bottom\n");
}

}  // namespace
