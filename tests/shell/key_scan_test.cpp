// The content key and IV are assembled at run time: neither may sit whole in
// the built executable, where a player could simply search for it.
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

TEST(ContentKeyScan, NeitherKeyNorIvAppearsInTheTerminal) {
    const std::string executable = fileBytes(KESTIV_TERMINAL_PATH);
    ASSERT_GT(executable.size(), 100'000u) << KESTIV_TERMINAL_PATH;
    std::uint8_t key[16], iv[16];
    buildContentKey(key, iv);
    const std::string keyBytes(key, key + 16), ivBytes(iv, iv + 16);
    EXPECT_EQ(executable.find(keyBytes), std::string::npos) << "the key is stored whole";
    EXPECT_EQ(executable.find(ivBytes), std::string::npos) << "the IV is stored whole";
    // The scan itself must be able to fail: both runs are found once planted.
    EXPECT_NE((executable + keyBytes).find(keyBytes), std::string::npos);
}

}  // namespace
