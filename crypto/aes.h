// AES-128 (FIPS-197) with the ECB, CBC and CTR modes of SP 800-38A, working in
// place on caller-owned buffers. No heap use; nothing can fail.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kAesBlockBytes = 16;
inline constexpr std::size_t kAesKeyBytes = 16;
inline constexpr unsigned kAesRounds = 10;

struct AES_ctx {
    std::uint8_t round_keys[kAesBlockBytes * (kAesRounds + 1)];  // round key 0 first
    std::uint8_t iv[kAesBlockBytes];  // CBC chaining value or CTR counter block
};

// Expands the 16-byte key into round_keys; iv is left as it was.
void AES_init_ctx(AES_ctx* ctx, const std::uint8_t* key);

// Expands the 16-byte key and copies the 16-byte iv into the context.
void AES_init_ctx_iv(AES_ctx* ctx, const std::uint8_t* key, const std::uint8_t* iv);

// Copies the 16-byte iv into the context.
void AES_ctx_set_iv(AES_ctx* ctx, const std::uint8_t* iv);

// Forward cipher on one 16-byte block, in place.
void AES_ECB_encrypt(const AES_ctx* ctx, std::uint8_t* block);

// Inverse cipher on one 16-byte block, in place.
void AES_ECB_decrypt(const AES_ctx* ctx, std::uint8_t* block);

// CBC forward over the whole 16-byte blocks of buf[0, length), in place; a
// trailing partial block is left untouched. iv ends as the last output block,
// so a following call continues the chain.
void AES_CBC_enc_buffer(AES_ctx* ctx, std::uint8_t* buf, std::uint32_t length);

// CBC inverse over the whole 16-byte blocks of buf[0, length), in place; a
// trailing partial block is left untouched. iv ends as the last input block.
void AES_CBC_decrypt_buffer(AES_ctx* ctx, std::uint8_t* buf, std::uint32_t length);

// XORs buf[0, length) with the CTR key stream, in place (the same call encrypts
// and decrypts). Each call starts a fresh key-stream block at iv, which ends
// as the counter after the last block used (big-endian increment).
void AES_CTR_xcrypt_buffer(AES_ctx* ctx, std::uint8_t* buf, std::uint32_t length);
