// Every operation against OpenSSL's libcrypto on random keys, IVs and lengths,
// both as single calls and as chains of calls on one context. The seed is
// fixed so a failure repeats; the trace names the round that failed.
#include "crypto/aes.h"

#include "aes_test_support.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>

namespace {

constexpr int kRounds = 2000;

enum class Op { ecbForward, ecbInverse, cbcForward, cbcInverse, ctr };

constexpr Op kOps[] = {Op::ecbForward, Op::ecbInverse, Op::cbcForward, Op::cbcInverse, Op::ctr};

const char* opName(Op op) {
    switch (op) {
    case Op::ecbForward: return "ECB forward";
    case Op::ecbInverse: return "ECB inverse";
    case Op::cbcForward: return "CBC forward";
    case Op::cbcInverse: return "CBC inverse";
    case Op::ctr: return "CTR";
    }
    return "?";
}

bool isBlockMode(Op op) { return op != Op::ctr; }

// One OpenSSL context for one operation, fed piece by piece.
class Oracle {
public:
    Oracle(Op op, const Bytes& key, const Bytes& iv)
        : ctx_(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free) {
        const EVP_CIPHER* cipher = op == Op::ecbForward || op == Op::ecbInverse ? EVP_aes_128_ecb()
                                   : op == Op::ctr                              ? EVP_aes_128_ctr()
                                                                                : EVP_aes_128_cbc();
        const int encrypt = op == Op::ecbInverse || op == Op::cbcInverse ? 0 : 1;
        const unsigned char* ivp = op == Op::ecbForward || op == Op::ecbInverse ? nullptr : iv.data();
        if (EVP_CipherInit_ex(ctx_.get(), cipher, nullptr, key.data(), ivp, encrypt) != 1 ||
            EVP_CIPHER_CTX_set_padding(ctx_.get(), 0) != 1) {
            ADD_FAILURE() << "OpenSSL set-up failed";
        }
    }

    void update(std::uint8_t* buf, std::size_t length) {
        int written = 0;
        if (EVP_CipherUpdate(ctx_.get(), buf, &written, buf, static_cast<int>(length)) != 1 ||
            static_cast<std::size_t>(written) != length) {
            ADD_FAILURE() << "OpenSSL update of " << length << " bytes failed";
        }
    }

private:
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> ctx_;
};

void run(Op op, AES_ctx& ctx, std::uint8_t* buf, std::uint32_t length) {
    switch (op) {
    case Op::ecbForward:
        for (std::uint32_t offset = 0; offset + 16 <= length; offset += 16)
            AES_ECB_encrypt(&ctx, buf + offset);
        break;
    case Op::ecbInverse:
        for (std::uint32_t offset = 0; offset + 16 <= length; offset += 16)
            AES_ECB_decrypt(&ctx, buf + offset);
        break;
    case Op::cbcForward: AES_CBC_enc_buffer(&ctx, buf, length); break;
    case Op::cbcInverse: AES_CBC_decrypt_buffer(&ctx, buf, length); break;
    case Op::ctr: AES_CTR_xcrypt_buffer(&ctx, buf, length); break;
    }
}

// Mostly short buffers, some long enough for every run of blocks the
// implementations treat together.
std::size_t randomLength(std::mt19937& rng) { return rng() % 8 == 0 ? rng() % 4096 : rng() % 300; }

// Cuts length into pieces for a chain of calls. Block modes and all but the
// last CTR piece get whole blocks, where one call per piece must equal one
// OpenSSL stream.
std::vector<std::size_t> randomPieces(std::mt19937& rng, Op op, std::size_t length) {
    std::vector<std::size_t> pieces;
    std::size_t left = length;
    while (left >= 16) {
        const std::size_t piece = std::min<std::size_t>(left / 16, rng() % 10) * 16;
        pieces.push_back(piece);
        left -= piece;
    }
    if (left > 0) pieces.push_back(left);
    if (isBlockMode(op) && !pieces.empty() && pieces.back() % 16 != 0) pieces.back() = 0;
    return pieces;
}

using AesOpenSslTest = AesPathTest;

TEST_P(AesOpenSslTest, SingleCallsMatchOpenSsl) {
    std::mt19937 rng(0x0e55a11u);
    for (int round = 0; round < kRounds; ++round) {
        const Bytes key = randomBytes(rng, 16);
        const Bytes iv = randomBytes(rng, 16);
        const Bytes data = randomBytes(rng, randomLength(rng));
        for (Op op : kOps) {
            SCOPED_TRACE("round " + std::to_string(round) + ", " + opName(op) + ", length " +
                         std::to_string(data.size()));
            // OpenSSL gets only the whole blocks of the block modes; the rest
            // must come back unchanged from the module.
            const std::size_t covered = isBlockMode(op) ? data.size() / 16 * 16 : data.size();
            Bytes expected = data;
            Oracle(op, key, iv).update(expected.data(), covered);

            Bytes actual = data;
            AES_ctx ctx;
            AES_init_ctx_iv(&ctx, key.data(), iv.data());
            run(op, ctx, actual.data(), static_cast<std::uint32_t>(actual.size()));
            ASSERT_EQ(toHex(actual), toHex(expected));
        }
    }
}

TEST_P(AesOpenSslTest, ChainedCallsMatchOneOpenSslStream) {
    std::mt19937 rng(0xc4a1edu);
    for (int round = 0; round < kRounds; ++round) {
        const Bytes key = randomBytes(rng, 16);
        const Bytes iv = randomBytes(rng, 16);
        const Bytes data = randomBytes(rng, randomLength(rng));
        for (Op op : kOps) {
            const std::vector<std::size_t> pieces = randomPieces(rng, op, data.size());
            SCOPED_TRACE("round " + std::to_string(round) + ", " + opName(op) + ", length " +
                         std::to_string(data.size()) + " in " + std::to_string(pieces.size()) + " calls");
            Bytes expected = data;
            Bytes actual = data;
            Oracle oracle(op, key, iv);
            AES_ctx ctx;
            AES_init_ctx_iv(&ctx, key.data(), iv.data());
            std::size_t offset = 0;
            for (std::size_t piece : pieces) {
                oracle.update(expected.data() + offset, piece);
                run(op, ctx, actual.data() + offset, static_cast<std::uint32_t>(piece));
                offset += piece;
            }
            ASSERT_EQ(toHex(actual), toHex(expected));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, AesOpenSslTest, kAllPaths, PathNamer());

}  // namespace
