// What the buffer operations do to the buffer and the context beyond the
// reference vectors: chaining across calls, the CTR counter, empty and partial
// buffers, and the iv each call leaves.
#include "crypto/aes.h"

#include "aes_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

const Bytes kKey = fromHex("2b7e151628aed2a6abf7158809cf4f3c");
const Bytes kIv = fromHex("000102030405060708090a0b0c0d0e0f");

enum class Op { cbcForward, cbcInverse, ctr };

const char* opName(Op op) {
    switch (op) {
    case Op::cbcForward: return "CBC forward";
    case Op::cbcInverse: return "CBC inverse";
    case Op::ctr: return "CTR";
    }
    return "?";
}

void run(Op op, AES_ctx& ctx, std::uint8_t* buf, std::uint32_t length) {
    switch (op) {
    case Op::cbcForward: AES_CBC_enc_buffer(&ctx, buf, length); break;
    case Op::cbcInverse: AES_CBC_decrypt_buffer(&ctx, buf, length); break;
    case Op::ctr: AES_CTR_xcrypt_buffer(&ctx, buf, length); break;
    }
}

constexpr Op kOps[] = {Op::cbcForward, Op::cbcInverse, Op::ctr};

AES_ctx freshContext(const Bytes& iv = kIv) {
    AES_ctx ctx;
    AES_init_ctx_iv(&ctx, kKey.data(), iv.data());
    return ctx;
}

Bytes ivOf(const AES_ctx& ctx) { return Bytes(ctx.iv, ctx.iv + 16); }

Bytes encryptBlock(Bytes block) {
    const AES_ctx ctx = freshContext();
    AES_ECB_encrypt(&ctx, block.data());
    return block;
}

// The counter block plus n, as one 128-bit big-endian number.
Bytes counterPlus(Bytes counter, std::uint64_t n) {
    for (std::size_t i = 16; i-- > 0 && n != 0;) {
        const std::uint64_t sum = counter[i] + (n & 0xff);
        counter[i] = static_cast<std::uint8_t>(sum);
        n = (n >> 8) + (sum >> 8);
    }
    return counter;
}

// The CTR key stream from counter on, built from single-block encryptions.
Bytes keyStream(const Bytes& counter, std::size_t length) {
    Bytes stream;
    for (std::uint64_t j = 0; stream.size() < length; ++j) {
        const Bytes block = encryptBlock(counterPlus(counter, j));
        stream.insert(stream.end(), block.begin(), block.end());
    }
    stream.resize(length);
    return stream;
}

using AesModesTest = AesPathTest;

TEST_P(AesModesTest, TwoCallsOf32BytesEqualOneCallOf64) {
    std::mt19937 rng(0x5eed0002u);
    const Bytes data = randomBytes(rng, 64);
    for (Op op : kOps) {
        SCOPED_TRACE(opName(op));
        Bytes whole = data;
        AES_ctx one = freshContext();
        run(op, one, whole.data(), 64);

        Bytes halves = data;
        AES_ctx two = freshContext();
        run(op, two, halves.data(), 32);
        run(op, two, halves.data() + 32, 32);

        EXPECT_EQ(toHex(halves), toHex(whole));
        EXPECT_EQ(toHex(ivOf(two)), toHex(ivOf(one)));
    }
}

TEST_P(AesModesTest, IvAfterEachCall) {
    std::mt19937 rng(0x5eed0003u);
    for (std::uint32_t length : {16u, 48u, 128u, 144u, 160u, 165u, 1000u}) {
        SCOPED_TRACE("length " + std::to_string(length));
        const Bytes data = randomBytes(rng, length);
        const std::size_t whole = length / 16 * 16;

        Bytes buf = data;
        AES_ctx ctx = freshContext();
        AES_CBC_enc_buffer(&ctx, buf.data(), length);
        EXPECT_EQ(toHex(ivOf(ctx)), toHex(Bytes(buf.begin() + whole - 16, buf.begin() + whole)))
            << "CBC forward leaves the last output block";

        buf = data;
        ctx = freshContext();
        AES_CBC_decrypt_buffer(&ctx, buf.data(), length);
        EXPECT_EQ(toHex(ivOf(ctx)), toHex(Bytes(data.begin() + whole - 16, data.begin() + whole)))
            << "CBC inverse leaves the last input block";

        buf = data;
        ctx = freshContext();
        AES_CTR_xcrypt_buffer(&ctx, buf.data(), length);
        EXPECT_EQ(toHex(ivOf(ctx)), toHex(counterPlus(kIv, (length + 15) / 16)))
            << "CTR leaves the counter after the last block used";
    }
}

TEST_P(AesModesTest, LengthZeroChangesNothing) {
    std::mt19937 rng(0x5eed0004u);
    const Bytes data = randomBytes(rng, 48);
    for (Op op : kOps) {
        SCOPED_TRACE(opName(op));
        Bytes buf = data;
        AES_ctx ctx = freshContext();
        run(op, ctx, buf.data(), 0);
        EXPECT_EQ(toHex(buf), toHex(data));
        EXPECT_EQ(toHex(ivOf(ctx)), toHex(kIv));
    }
}

// The CBC operations transform only whole blocks; a trailing partial block
// and everything past the length stay as they were.
TEST_P(AesModesTest, CbcLeavesPartialFinalBlockUntouched) {
    constexpr std::size_t kGuard = 32;
    std::mt19937 rng(0x5eed0005u);
    for (Op op : {Op::cbcForward, Op::cbcInverse}) {
        for (std::uint32_t length : {5u, 15u, 21u, 53u, 63u, 143u}) {
            SCOPED_TRACE(std::string(opName(op)) + ", length " + std::to_string(length));
            const std::size_t whole = length / 16 * 16;
            const Bytes region = randomBytes(rng, kGuard + length + 16 + kGuard);

            Bytes expected = region;
            AES_ctx reference = freshContext();
            run(op, reference, expected.data() + kGuard, static_cast<std::uint32_t>(whole));

            Bytes actual = region;
            AES_ctx ctx = freshContext();
            run(op, ctx, actual.data() + kGuard, length);

            EXPECT_EQ(toHex(actual), toHex(expected));
            EXPECT_EQ(toHex(ivOf(ctx)), toHex(ivOf(reference)));
            EXPECT_TRUE(std::equal(actual.begin() + kGuard + whole, actual.end(), region.begin() + kGuard + whole))
                << "bytes past the whole blocks changed";
        }
    }
}

TEST_P(AesModesTest, CtrTransformsExactlyTheGivenBytes) {
    constexpr std::size_t kGuard = 32;
    std::mt19937 rng(0x5eed0006u);
    for (std::uint32_t length : {1u, 15u, 16u, 17u, 127u, 128u, 129u, 200u, 6944u}) {
        SCOPED_TRACE("length " + std::to_string(length));
        const Bytes region = randomBytes(rng, kGuard + length + kGuard);
        Bytes actual = region;
        AES_ctx ctx = freshContext();
        AES_CTR_xcrypt_buffer(&ctx, actual.data() + kGuard, length);

        const Bytes stream = keyStream(kIv, length);
        Bytes expected = region;
        for (std::size_t i = 0; i < length; ++i) expected[kGuard + i] ^= stream[i];
        EXPECT_EQ(toHex(actual), toHex(expected));
    }
}

TEST_P(AesModesTest, CounterOfAllFfWrapsToAllZero) {
    const Bytes ones(16, 0xff);
    AES_ctx ctx = freshContext(ones);
    Bytes buf(16, 0);
    AES_CTR_xcrypt_buffer(&ctx, buf.data(), 16);
    EXPECT_EQ(toHex(buf), toHex(encryptBlock(ones)));
    EXPECT_EQ(toHex(ivOf(ctx)), toHex(Bytes(16, 0)));
}

// Carries out of the last byte, across the middle of the block (where a
// 64-bit split of the counter sits) and out of the whole block, at every
// place in a run of blocks that are transformed together.
TEST_P(AesModesTest, CounterCarriesThroughEveryByte) {
    const Bytes starts[] = {
        fromHex("000000000000000000000000000000ff"),
        fromHex("0000000000000000fffffffffffffffa"),
        fromHex("00000000000000fffffffffffffffff9"),
        fromHex("fffffffffffffffffffffffffffffffd"),
    };
    for (const Bytes& start : starts) {
        for (std::uint32_t length : {16u, 33u, 128u, 144u, 250u}) {
            SCOPED_TRACE(toHex(start) + ", length " + std::to_string(length));
            Bytes buf(length, 0);
            AES_ctx ctx = freshContext(start);
            AES_CTR_xcrypt_buffer(&ctx, buf.data(), length);
            EXPECT_EQ(toHex(buf), toHex(keyStream(start, length)));
            EXPECT_EQ(toHex(ivOf(ctx)), toHex(counterPlus(start, (length + 15) / 16)));
        }
    }
}

// A call that ends inside a key-stream block drops the rest of it: the next
// call begins with the following counter block.
TEST_P(AesModesTest, CtrStartsAFreshKeyStreamBlockEveryCall) {
    Bytes buf(5 + 16 + 3, 0);
    AES_ctx ctx = freshContext();
    AES_CTR_xcrypt_buffer(&ctx, buf.data(), 5);
    AES_CTR_xcrypt_buffer(&ctx, buf.data() + 5, 16);
    AES_CTR_xcrypt_buffer(&ctx, buf.data() + 21, 3);

    const Bytes stream = keyStream(kIv, 48);
    Bytes expected(stream.begin(), stream.begin() + 5);
    expected.insert(expected.end(), stream.begin() + 16, stream.begin() + 32);
    expected.insert(expected.end(), stream.begin() + 32, stream.begin() + 35);
    EXPECT_EQ(toHex(buf), toHex(expected));
    EXPECT_EQ(toHex(ivOf(ctx)), toHex(counterPlus(kIv, 3)));
}

INSTANTIATE_TEST_SUITE_P(Paths, AesModesTest, kAllPaths, PathNamer());

// FIPS-197 Appendix A.1: the expansion of key 2b7e1516 28aed2a6 abf71588 09cf4f3c.
TEST(AesKeySetup, ExpandsTheKeyAsFips197AppendixA1) {
    AES_ctx ctx;
    AES_init_ctx(&ctx, kKey.data());
    const Bytes keys(ctx.round_keys, ctx.round_keys + 176);
    EXPECT_EQ(toHex(Bytes(keys.begin(), keys.begin() + 16)), toHex(kKey));
    EXPECT_EQ(toHex(Bytes(keys.begin() + 16, keys.begin() + 32)), "a0fafe1788542cb123a339392a6c7605");
    EXPECT_EQ(toHex(Bytes(keys.begin() + 80, keys.begin() + 96)), "d4d1c6f87c839d87caf2b8bc11f915bc");
    EXPECT_EQ(toHex(Bytes(keys.begin() + 160, keys.end())), "d014f9a8c9ee2589e13f0cc8b6630ca6");
}

TEST(AesKeySetup, EachSetUpCallChangesOnlyItsOwnField) {
    const Bytes otherIv(16, 0x5a);
    AES_ctx ctx;
    std::memcpy(ctx.iv, otherIv.data(), 16);
    AES_init_ctx(&ctx, kKey.data());
    EXPECT_EQ(toHex(ivOf(ctx)), toHex(otherIv)) << "AES_init_ctx leaves iv";

    const Bytes keys(ctx.round_keys, ctx.round_keys + 176);
    AES_ctx_set_iv(&ctx, kIv.data());
    EXPECT_EQ(toHex(ivOf(ctx)), toHex(kIv));
    EXPECT_EQ(toHex(Bytes(ctx.round_keys, ctx.round_keys + 176)), toHex(keys))
        << "AES_ctx_set_iv leaves the keys";

    AES_ctx both;
    AES_init_ctx_iv(&both, kKey.data(), otherIv.data());
    EXPECT_EQ(toHex(ivOf(both)), toHex(otherIv));
    EXPECT_EQ(toHex(Bytes(both.round_keys, both.round_keys + 176)), toHex(keys));
}

}  // namespace
