// The stored form: what the builder writes, the terminal turns back.
#include <gtest/gtest.h>

#include "crypto/content_key.h"
#include "crypto/content_transform.h"
#include "crypto/file_decrypt.h"
#include "fixture_tree.h"
#include "fs/image_format.h"

namespace {

TEST(ContentTransform, StoredFormIsWholeBlocksWithAPadOfOneToSixteen) {
    for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 6928u, 6943u}) {
        const std::string stored = storeContent(std::string(size, 't'));
        EXPECT_EQ(stored.size() % 16, 0u) << size;
        EXPECT_GT(stored.size(), size);
        EXPECT_LE(stored.size(), size + 16);
    }
}

TEST(ContentTransform, RevealUndoesStore) {
    std::string text;
    for (int i = 0; i < 300; ++i) text.push_back(static_cast<char>(i * 37));
    for (std::size_t size = 0; size <= text.size(); size += 7) {
        std::string shown;
        ASSERT_EQ(revealContent(storeContent(text.substr(0, size)), shown), StoredFormFault::none);
        EXPECT_EQ(shown, text.substr(0, size));
    }
}

TEST(ContentTransform, StoredFormHidesTheText) {
    const std::string text(64, 'a');
    const std::string stored = storeContent(text);
    EXPECT_EQ(stored.find("aaaa"), std::string::npos);
}

TEST(ContentTransform, PadByteDecidesWhatIsCut) {
    std::string shown;
    std::string block(16, 'z');
    for (int pad : {0, 1, 15, 16}) {
        block[15] = static_cast<char>(pad);
        ASSERT_EQ(revealContent(storedBlock(block), shown), StoredFormFault::none);
        EXPECT_EQ(shown, block.substr(0, pad == 0 ? 16 : 16 - pad)) << pad;
    }
}

struct FaultCase {
    const char* name;
    std::string stored;
    StoredFormFault fault;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class BrokenStoredForm : public testing::TestWithParam<FaultCase> {};

TEST_P(BrokenStoredForm, IsReportedWithoutText) {
    std::string shown = "untouched";
    EXPECT_EQ(revealContent(GetParam().stored, shown), GetParam().fault);
    EXPECT_EQ(shown, "untouched");
}

std::string blockEndingIn(char last) {
    std::string block(16, 'b');
    block[15] = last;
    return storedBlock(block);
}

const FaultCase kFaults[] = {
    {"empty", "", StoredFormFault::empty},
    {"one_byte", "x", StoredFormFault::partialBlock},
    {"block_and_a_byte", storeContent("abc") + "x", StoredFormFault::partialBlock},
    {"pad_of_17_in_one_block", blockEndingIn(17), StoredFormFault::padPastStart},
    {"pad_of_255_in_one_block", blockEndingIn('\xff'), StoredFormFault::padPastStart},
};

INSTANTIATE_TEST_SUITE_P(Faults, BrokenStoredForm, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<FaultCase>& info) {
                             return info.param.name;
                         });

TEST(ContentTransform, ContentOfTwoGigabytesIsRefusedBeforeAnyWork) {
    // Half of a 32-bit address space does not come in one block.
    if (sizeof(void*) < 8) GTEST_SKIP() << "a 32-bit target holds no 2 GiB string";
    const std::string huge(std::size_t{1} << 31, '\0');
    std::string shown;
    EXPECT_EQ(revealContent(huge, shown), StoredFormFault::tooLong);
}

TEST(FileDecrypt, LeavesTheNodeAsItWas) {
    const std::string stored = storeContent("text");
    file node({kRegularFileKind, "f", stored}, nullptr);
    EXPECT_EQ(file_decrypt(&node), "text");
    EXPECT_EQ(file_decrypt(&node), "text");
    EXPECT_EQ(node.content, stored);
    node.content.clear();
    EXPECT_EQ(file_decrypt(&node), std::nullopt);
}

// The bytes CMake derives from KESTIV_KEY and KESTIV_IV, against what the
// generated source rebuilds from its masked halves.
TEST(ContentKey, IsTheConfiguredPair) {
    const std::uint8_t configuredKey[16] = KESTIV_CONFIGURED_KEY;
    const std::uint8_t configuredIv[16] = KESTIV_CONFIGURED_IV;
    std::uint8_t key[16], iv[16];
    buildContentKey(key, iv);
    EXPECT_EQ(std::string(key, key + 16), std::string(configuredKey, configuredKey + 16));
    EXPECT_EQ(std::string(iv, iv + 16), std::string(configuredIv, configuredIv + 16));
}

// What type shows: README.txt as stored, whatever its bytes, and any other
// name (case counts) turned back from its stored form or refused with why.
TEST(NodeText, PlainByNameStoredOtherwise) {
    const struct {
        const char* name;
        std::string content;
        StoredFormFault fault;
        std::string text;
    } cases[] = {
        {"README.txt", "as stored, not in blocks\n", StoredFormFault::none, "as stored, not in blocks\n"},
        {"README.txt", "", StoredFormFault::none, ""},
        {"notes.txt", storeContent("hidden\n"), StoredFormFault::none, "hidden\n"},
        {"readme.txt", storeContent("x"), StoredFormFault::none, "x"},
        {"README.txt.bak", storeContent(""), StoredFormFault::none, ""},
        {"notes.txt", "", StoredFormFault::empty, ""},
        {"notes.txt", "not in blocks", StoredFormFault::partialBlock, ""},
    };
    for (const auto& c : cases) {
        const file node({kRegularFileKind, c.name, c.content}, nullptr);
        std::string text;
        EXPECT_EQ(nodeText(node, text), c.fault) << c.name << " " << c.content.size();
        if (c.fault == StoredFormFault::none) {
            EXPECT_EQ(text, c.text) << c.name;
        }
        EXPECT_EQ(node.content, c.content);
    }
}

}  // namespace
