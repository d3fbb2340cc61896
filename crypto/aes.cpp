// AES-128 (FIPS-197) with the ECB, CBC and CTR modes of SP 800-38A: the key
// schedule and the public operations, each on whichever implementation of the
// block work this processor runs best (aes_backend.h), chosen once on first use.
#include "crypto/aes.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypto/aes_backend.h"
#include "crypto/aes_path.h"
#include "crypto/aes_tables.h"

namespace {

using aes::Rcon;
using aes::sbox;

void KeyExpansion(std::uint8_t* round_keys, const std::uint8_t* key) {
    std::memcpy(round_keys, key, kAesKeyBytes);
    for (unsigned i = 4; i < 4 * (kAesRounds + 1); ++i) {
        std::uint8_t t[4];
        std::memcpy(t, round_keys + 4 * (i - 1), 4);
        if (i % 4 == 0) {
            const std::uint8_t first = t[0];
            t[0] = static_cast<std::uint8_t>(sbox[t[1]] ^ Rcon[i / 4 - 1]);
            t[1] = sbox[t[2]];
            t[2] = sbox[t[3]];
            t[3] = sbox[first];
        }
        for (unsigned j = 0; j < 4; ++j) round_keys[4 * i + j] = t[j] ^ round_keys[4 * (i - 4) + j];
    }
}

const AesBackend* forced = nullptr;

const AesBackend& backend() {
    static const AesBackend* const best =
        aesHardwareBackend() ? aesHardwareBackend() : &aesPortableBackend();
    return forced ? *forced : *best;
}

}  // namespace

bool aesHardwareAvailable() { return aesHardwareBackend() != nullptr; }

void aesForcePath(AesPath path) {
    const AesBackend* hardware = aesHardwareBackend();
    forced = path == AesPath::hardware && hardware ? hardware : &aesPortableBackend();
}

void AES_init_ctx(AES_ctx* ctx, const std::uint8_t* key) { KeyExpansion(ctx->round_keys, key); }

void AES_init_ctx_iv(AES_ctx* ctx, const std::uint8_t* key, const std::uint8_t* iv) {
    KeyExpansion(ctx->round_keys, key);
    std::memcpy(ctx->iv, iv, kAesBlockBytes);
}

void AES_ctx_set_iv(AES_ctx* ctx, const std::uint8_t* iv) {
    std::memcpy(ctx->iv, iv, kAesBlockBytes);
}

void AES_ECB_encrypt(const AES_ctx* ctx, std::uint8_t* block) {
    backend().encrypt_block(ctx->round_keys, block);
}

void AES_ECB_decrypt(const AES_ctx* ctx, std::uint8_t* block) {
    backend().decrypt_block(ctx->round_keys, block);
}

void AES_CBC_enc_buffer(AES_ctx* ctx, std::uint8_t* buf, std::uint32_t length) {
    if (const std::size_t blocks = length / kAesBlockBytes) {
        backend().cbc_encrypt(ctx->round_keys, ctx->iv, buf, blocks);
    }
}

void AES_CBC_decrypt_buffer(AES_ctx* ctx, std::uint8_t* buf, std::uint32_t length) {
    if (const std::size_t blocks = length / kAesBlockBytes) {
        backend().cbc_decrypt(ctx->round_keys, ctx->iv, buf, blocks);
    }
}

void AES_CTR_xcrypt_buffer(AES_ctx* ctx, std::uint8_t* buf, std::uint32_t length) {
    if (length != 0) backend().ctr_xcrypt(ctx->round_keys, ctx->iv, buf, length);
}
