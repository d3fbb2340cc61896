#include "sha256.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "proof_of_work.h"

namespace {

std::string hex(const Sha256Digest& digest) {
    std::string text;
    for (std::uint8_t byte : digest) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", byte);
        text += two;
    }
    return text;
}

std::vector<int> firstPrimes(int count) {
    std::vector<int> primes;
    for (int candidate = 2; static_cast<int>(primes.size()) < count; ++candidate) {
        bool prime = true;
        for (int p : primes) {
            prime = prime && candidate % p != 0;
        }
        if (prime) {
            primes.push_back(candidate);
        }
    }
    return primes;
}

// The first 32 bits of the fractional part of a root, as FIPS 180-4 takes them.
std::uint32_t fractionBits(long double root) {
    return static_cast<std::uint32_t>(std::ldexp(root - std::floor(root), 32));
}

TEST(Sha256, TablesAreTheRootsOfTheFirstPrimes) {
    std::vector<int> primes = firstPrimes(64);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(sha256RoundConstants[i], fractionBits(std::cbrt(static_cast<long double>(primes[i]))))
            << i;
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(sha256InitialHash[i], fractionBits(std::sqrt(static_cast<long double>(primes[i]))))
            << i;
    }
}

// FIPS 180-4's examples (NIST's SHA256.pdf and SHA2_Additional.pdf).
TEST(Sha256, MatchesNistsVectors) {
    struct Case {
        std::string message;
        const char* digest;
    } cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {std::string(1, '\xbd'), "68325720aabd7c82f30f554b313d0570c95accbb7dc4b5aae11204c08ffe732b"},
        {std::string("\xc9\x8c\x8e\x55", 4),
         "7abc22c0ae5af26ce93dbb94433a0e0b2e119d014f8e7f65bd56c61ccccd9504"},
        {std::string(55, '\0'), "02779466cdec163811d078815c633f21901413081449002f24aa3e80f0b88ef7"},
        {std::string(56, '\0'), "d4817aa5497628e7c77e6b606107042bbba3130888c5f47a375e6179be789fbb"},
        {std::string(1000, 'A'), "c2e686823489ced2017f6059b8b239318b6364f6dcd835d0a519105a1eadd6e4"},
        {std::string(1005, 'U'), "f4d62ddec0f3dd90ea1380fa16a5ff8dc4c54b21740650f24afc4120903552b0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hex(sha256(c.message)), c.digest) << c.message.size() << " bytes";
    }
}

TEST(ProofOfWork, ChecksTheLeadingZeroBits) {
    const std::string challenge = "0123456789abcdef0123456789abcdef";
    // Answers found by counting up, as the players' command does.
    long answerFor8 = -1;
    for (long n = 0; answerFor8 < 0; ++n) {
        if (sha256(challenge + std::to_string(n))[0] == 0) {
            answerFor8 = n;
        }
    }
    EXPECT_TRUE(provesWork(challenge, std::to_string(answerFor8), 8));
    EXPECT_TRUE(provesWork(challenge, std::to_string(answerFor8), 1));
    EXPECT_TRUE(provesWork(challenge, "anything", 0));
    for (const std::string& wrong : {std::string(), std::string(" "), std::string("1 2"),
                                     std::string("\t5"), std::string(65, '1')}) {
        EXPECT_FALSE(provesWork(challenge, wrong, 0)) << '"' << wrong << '"';
    }
    int failures = 0;
    for (long n = 0; n < 64; ++n) {
        failures += !provesWork(challenge, std::to_string(n), 8);
    }
    EXPECT_GT(failures, 50) << "one answer in 256 proves 8 bits";
}

TEST(ProofOfWork, ChallengesAreFreshAndTheCommandNamesThem) {
    std::string first = makeChallenge();
    EXPECT_EQ(first.size(), 32u);
    EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(first, makeChallenge());
    std::string command = solverCommand(first, 20);
    EXPECT_NE(command.find(first), std::string::npos);
    EXPECT_NE(command.find(">>236==0"), std::string::npos);
    EXPECT_EQ(command.find('\n'), std::string::npos);
    EXPECT_NE(challengeText(first, 20, 60).find("within 1 minute"), std::string::npos);
}

}  // namespace
