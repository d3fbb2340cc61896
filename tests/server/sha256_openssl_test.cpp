// SHA-256 held to OpenSSL's, an implementation of its own, on every length
// around a block's edges, where padding goes wrong.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <string>

#include "sha256.h"

TEST(Sha256, AgreesWithOpenSslAtEveryLengthAroundABlock) {
    std::string message;
    for (int length = 0; length < 300; ++length) {
        Sha256Digest oracle;
        SHA256(reinterpret_cast<const unsigned char*>(message.data()), message.size(), oracle.data());
        EXPECT_EQ(sha256(message), oracle) << length;
        message += static_cast<char>(length * 7 + 1);
    }
}
