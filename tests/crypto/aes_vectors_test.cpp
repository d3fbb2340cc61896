// The FIPS-197 and SP 800-38A reference vectors of aes128.txt, each run through
// one driver: known answers in both directions, then the properties that must
// hold for any buffer (chunked calls equal one call, inverse undoes forward).
#include "crypto/aes.h"

#include "aes_test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <numeric>
#include <tuple>

namespace {

enum class Direction { forward, inverse };

using Pieces = std::vector<std::size_t>;

// Applies the mode to data, one call per piece, all on one context.
Bytes transform(const VectorCase& c, Direction direction, Bytes data, const Pieces& pieces) {
    AES_ctx ctx;
    if (c.iv.empty()) {
        AES_init_ctx(&ctx, c.key.data());
    } else {
        AES_init_ctx_iv(&ctx, c.key.data(), c.iv.data());
    }
    const bool forward = direction == Direction::forward;
    std::uint8_t* buf = data.data();
    for (std::size_t piece : pieces) {
        const auto length = static_cast<std::uint32_t>(piece);
        switch (c.mode) {
        case Mode::ecb:
            for (std::size_t offset = 0; offset < piece; offset += 16) {
                forward ? AES_ECB_encrypt(&ctx, buf + offset) : AES_ECB_decrypt(&ctx, buf + offset);
            }
            break;
        case Mode::cbc:
            forward ? AES_CBC_enc_buffer(&ctx, buf, length) : AES_CBC_decrypt_buffer(&ctx, buf, length);
            break;
        case Mode::ctr: AES_CTR_xcrypt_buffer(&ctx, buf, length); break;
        }
        buf += piece;
    }
    EXPECT_EQ(static_cast<std::size_t>(buf - data.data()), data.size()) << "pieces do not cover the data";
    return data;
}

Bytes transform(const VectorCase& c, Direction direction, const Bytes& data) {
    return transform(c, direction, data, {data.size()});
}

// Ways to cut a buffer of whole blocks into calls: block by block, a first
// block then the rest, all but the last block then that block, empty calls
// around the whole, and 32-byte pieces.
std::vector<Pieces> blockSplits(std::size_t length) {
    std::vector<Pieces> splits;
    splits.push_back(Pieces(length / 16, 16));
    splits.push_back({16, length - 16});
    splits.push_back({length - 16, 16});
    splits.push_back({0, length, 0});
    Pieces pairs(length / 32, 32);
    if (length % 32 != 0) pairs.push_back(16);
    splits.push_back(pairs);
    return splits;
}

class AesVectorTest : public testing::TestWithParam<std::tuple<AesPath, std::size_t>> {
protected:
    void SetUp() override {
        if (path() == AesPath::hardware && !aesHardwareAvailable()) {
            GTEST_SKIP() << "this processor has no AES instructions";
        }
        aesForcePath(path());
    }
    AesPath path() const { return std::get<0>(GetParam()); }
    const VectorCase& vector() const { return vectorCases().at(std::get<1>(GetParam())); }
};

TEST_P(AesVectorTest, KnownAnswerForward) {
    EXPECT_EQ(toHex(transform(vector(), Direction::forward, vector().plain)), toHex(vector().cipher));
}

TEST_P(AesVectorTest, KnownAnswerInverse) {
    EXPECT_EQ(toHex(transform(vector(), Direction::inverse, vector().cipher)), toHex(vector().plain));
}

TEST_P(AesVectorTest, ChunkedCallsEqualOneCall) {
    const VectorCase& c = vector();
    for (const Pieces& pieces : blockSplits(c.plain.size())) {
        SCOPED_TRACE("pieces of " + std::to_string(pieces.front()) + ", " +
                     std::to_string(pieces.size()) + " calls");
        EXPECT_EQ(toHex(transform(c, Direction::forward, c.plain, pieces)), toHex(c.cipher));
        EXPECT_EQ(toHex(transform(c, Direction::inverse, c.cipher, pieces)), toHex(c.plain));
    }
}

TEST_P(AesVectorTest, InverseUndoesForward) {
    std::mt19937 rng(0x5eed0001u);
    for (std::size_t blocks : {1u, 7u, 8u, 9u, 37u}) {
        const Bytes plain = randomBytes(rng, 16 * blocks);
        const Bytes cipher = transform(vector(), Direction::forward, plain);
        EXPECT_NE(cipher, plain);
        EXPECT_EQ(toHex(transform(vector(), Direction::inverse, cipher)), toHex(plain))
            << blocks << " blocks";
    }
}

std::string caseName(const testing::TestParamInfo<AesVectorTest::ParamType>& info) {
    std::string name =
        pathName(std::get<0>(info.param)) + "_" + vectorCases().at(std::get<1>(info.param)).name;
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    }
    return name;
}

std::vector<std::size_t> caseIndices() {
    std::vector<std::size_t> indices(vectorCases().size());
    std::iota(indices.begin(), indices.end(), 0);
    return indices;
}

INSTANTIATE_TEST_SUITE_P(Vectors, AesVectorTest,
                         testing::Combine(kAllPaths, testing::ValuesIn(caseIndices())), caseName);

TEST(AesVectorFile, HoldsEveryModeWithWholeBlocks) {
    bool seen[3] = {};
    for (const VectorCase& c : vectorCases()) {
        SCOPED_TRACE(c.name);
        seen[static_cast<int>(c.mode)] = true;
        EXPECT_EQ(c.key.size(), 16u);
        EXPECT_EQ(c.iv.size(), c.mode == Mode::ecb ? 0u : 16u);
        EXPECT_EQ(c.plain.size(), c.cipher.size());
        EXPECT_EQ(c.plain.size() % 16, 0u);
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
}

}  // namespace
