// The constant tables recomputed from their FIPS-197 definitions.
#include "crypto/aes_tables.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

std::uint8_t timesX(std::uint8_t a) {
    return static_cast<std::uint8_t>(a << 1 ^ (a & 0x80 ? 0x1b : 0));
}

std::uint8_t multiply(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    for (; b != 0; b >>= 1, a = timesX(a)) {
        if (b & 1) product ^= a;
    }
    return product;
}

// a^254 is the multiplicative inverse in GF(2^8), and maps 0 to 0 as the
// S-box definition asks.
std::uint8_t inverse(std::uint8_t a) {
    std::uint8_t result = 1;
    for (int i = 0; i < 254; ++i) result = multiply(result, a);
    return result;
}

std::uint8_t rotateLeft(std::uint8_t b, int n) {
    return static_cast<std::uint8_t>(b << n | b >> (8 - n));
}

// FIPS-197 section 5.1.1: the affine transform over GF(2) of the inverse.
std::uint8_t substitute(std::uint8_t a) {
    const std::uint8_t b = inverse(a);
    return static_cast<std::uint8_t>(b ^ rotateLeft(b, 1) ^ rotateLeft(b, 2) ^ rotateLeft(b, 3) ^
                                     rotateLeft(b, 4) ^ 0x63);
}

TEST(AesTables, SboxIsTheAffineTransformOfTheInverse) {
    for (int a = 0; a < 256; ++a) {
        EXPECT_EQ(aes::sbox[a], substitute(static_cast<std::uint8_t>(a))) << "sbox[" << a << "]";
    }
}

TEST(AesTables, RsboxInvertsSbox) {
    for (int a = 0; a < 256; ++a) {
        EXPECT_EQ(aes::rsbox[substitute(static_cast<std::uint8_t>(a))], a)
            << "rsbox at sbox[" << a << "]";
    }
}

TEST(AesTables, RconIsSuccessivePowersOfX) {
    std::uint8_t power = 0x01;
    for (int i = 0; i < 10; ++i, power = timesX(power)) {
        EXPECT_EQ(aes::Rcon[i], power) << "Rcon for step " << i + 1;
    }
}

}  // namespace
