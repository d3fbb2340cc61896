// kestivfs on images whose stored files were made with another key: verify,
// cat and list --text say so once instead of a pad error for each file or the
// noise that the transform makes of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/aes.h"
#include "crypto/content_transform.h"
#include "image/image_writer.h"
#include "kestivfs_run.h"

namespace {

// The stored form of text under a key and IV other than this build's, as a
// pack with another KESTIV_KEY writes it.
std::string storedUnderAnotherKey(std::string text) {
    const std::uint8_t key[kAesKeyBytes] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const std::uint8_t iv[kAesBlockBytes] = {16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
    const std::size_t pad = storedBytesOf(text.size()) - text.size();
    text.append(pad, static_cast<char>(pad));
    AES_ctx ctx;
    AES_init_ctx_iv(&ctx, key, iv);
    AES_CBC_decrypt_buffer(&ctx, reinterpret_cast<std::uint8_t*>(text.data()),
                           static_cast<std::uint32_t>(text.size()));
    return text;
}

// A one-block file under another key whose transform under this build's key
// ends in a byte above 16, which is then a pad past its start: what verify says
// of it alone is the same whatever this build's key. Searched for from the
// text, as one file in sixteen ends otherwise.
std::string foreignBlock(const std::string& text) {
    for (std::string variant = text;; variant += '.') {
        std::string stored = storedUnderAnotherKey(variant), shown;
        if (revealContent(stored, shown) == StoredFormFault::padPastStart) return stored;
    }
}

struct Files {
    int good = 0, foreign = 0, partial = 0;
};

// A root with README.txt and a folder "d" holding the files: good ones stored
// with this build's key, foreign ones with another, partial ones cut short.
std::string imageOf(const Files& files) {
    std::string image;
    appendImageHeader(image);
    appendNode(image, 0, "/", "", 2);
    appendNode(image, 1, "README.txt", "Welcome.\n", 0);
    appendNode(image, 0, "d", "", static_cast<std::uint32_t>(files.good + files.foreign + files.partial));
    for (int i = 0; i < files.good; ++i)
        appendNode(image, 1, "good" + std::to_string(i),
                   storeContent("good " + std::to_string(i) + "\n"), 0);
    for (int i = 0; i < files.foreign; ++i)
        appendNode(image, 1, "foreign" + std::to_string(i),
                   foreignBlock("foreign " + std::to_string(i)), 0);
    for (int i = 0; i < files.partial; ++i)
        appendNode(image, 1, "partial" + std::to_string(i), std::string(20, 'x'), 0);
    return image;
}

// Another key when fewer than one judged file in four ends in the pad that
// kestivfs writes; below that, each damaged file is a problem of its own.
TEST(AnotherKey, VerifySaysItOnceWhenMostStoredFilesLackThePad) {
    const std::string pastStart = ": the pad length is greater than the 16 bytes of stored content\n";
    const std::string partial =
        ": the stored content of 20 bytes is not a whole number of 16-byte blocks\n";
    const struct {
        const char* label;
        Files files;
        int status;
        std::string out;
        std::string foreignOfJudged;  // "N of M" when another key is named
    } cases[] = {
        {"all under another key", {0, 6, 0}, 1, "", "6 of 6"},
        {"a single stored file", {0, 1, 0}, 1, "", "1 of 1"},
        {"one good among five", {1, 4, 0}, 1, "", "4 of 5"},
        {"one good among four: damage",
         {1, 3, 0},
         1,
         "/d/foreign0" + pastStart + "/d/foreign1" + pastStart + "/d/foreign2" + pastStart + "3 problems\n",
         ""},
        {"one bad among many", {9, 1, 0}, 1, "/d/foreign0" + pastStart + "1 problem\n", ""},
        {"cut files are no evidence",
         {1, 0, 3},
         1,
         "/d/partial0" + partial + "/d/partial1" + partial + "/d/partial2" + partial + "3 problems\n",
         ""},
        {"only README.txt", {0, 0, 0}, 0, "ok: 3 nodes, 0 stored files turn back into text\n", ""},
        {"all good", {3, 0, 0}, 0, "ok: 6 nodes, 3 stored files turn back into text\n", ""},
    };
    ScratchFolder scratch;
    const std::string image = scratch / "maze.img";
    for (const auto& c : cases) {
        writeBytes(image, imageOf(c.files));
        const ProcessResult verify = kestivfs({"verify", image});
        EXPECT_EQ(verify.status, c.status) << c.label;
        EXPECT_EQ(verify.out, c.out) << c.label;
        const std::string err =
            c.foreignOfJudged.empty()
                ? ""
                : "kestivfs: " + image +
                      ": the stored files do not turn back into text with this "
                      "build's key (" +
                      c.foreignOfJudged +
                      " end in no pad that kestivfs writes): made with another key?\n";
        EXPECT_EQ(verify.err, err) << c.label;
    }
}

TEST(AnotherKey, CatAndListTextShowNoNoise) {
    ScratchFolder scratch;
    const std::string image = scratch / "maze.img";
    writeBytes(image, imageOf({1, 4, 0}));
    const std::string said = "kestivfs: " + image +
                             ": the stored files do not turn back into text with this build's key (4 of 5 end "
                             "in no pad that kestivfs writes): made with another key?\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } runs[] = {
        {{"cat", image, "d/foreign0"}, 1, "", said},
        {{"cat", image, "d/good0"}, 1, "", said},
        {{"list", "--text", image}, 1, "", said},
        {{"cat", image, "README.txt"}, 0, "Welcome.\n", ""},
    };
    for (const auto& run : runs) {
        const ProcessResult result = kestivfs(run.args);
        EXPECT_EQ(result.status, run.status) << run.args[0] << " " << run.args.back();
        EXPECT_EQ(result.out, run.out) << run.args[0] << " " << run.args.back();
        EXPECT_EQ(result.err, run.err) << run.args[0] << " " << run.args.back();
    }
    const ProcessResult list = kestivfs({"list", image});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("file              16  /d/foreign3\n"), std::string::npos) << list.out;
}

}  // namespace
