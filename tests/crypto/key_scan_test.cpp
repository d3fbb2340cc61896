// The content key and IV are assembled at run time: neither may sit whole in
// what is shipped, where a player could simply search for it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "crypto/content_key.h"

namespace {

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ContentKeyBytes {
    std::string key;
    std::string iv;
};

ContentKeyBytes contentKeyBytes() {
    std::uint8_t key[16], iv[16];
    buildContentKey(key, iv);
    return {std::string(key, key + 16), std::string(iv, iv + 16)};
}

// The scan must be able to fail: a program that stores the pair whole is caught.
TEST(ContentKeyScan, FindsAKeyAndIvStoredWhole) {
    const std::string planted = fileBytes(KESTIV_PLANTED_KEY_PROGRAM);
    ASSERT_FALSE(planted.empty()) << KESTIV_PLANTED_KEY_PROGRAM;
    const ContentKeyBytes pair = contentKeyBytes();
    EXPECT_NE(planted.find(pair.key), std::string::npos);
    EXPECT_NE(planted.find(pair.iv), std::string::npos);
}

TEST(ContentKeyScan, NeitherKeyNorIvAppearsInWhatIsShipped) {
    const ContentKeyBytes pair = contentKeyBytes();
    for (const char* path : KESTIV_SEALED_FILES) {
        const std::string bytes = fileBytes(path);
        // A shipped file, not a stand-in: the smallest, the browser page's
        // loader of its program, runs to tens of kilobytes.
        ASSERT_GT(bytes.size(), 20'000u) << path;
        EXPECT_EQ(bytes.find(pair.key), std::string::npos) << "the key is stored whole in " << path;
        EXPECT_EQ(bytes.find(pair.iv), std::string::npos) << "the IV is stored whole in " << path;
    }
}

}  // namespace
