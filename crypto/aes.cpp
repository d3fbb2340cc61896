// AES-128 (FIPS-197) with the ECB, CBC and CTR modes of SP 800-38A. The
// portable path below keeps the state as four column words and needs no table
// beyond sbox, rsbox and Rcon; processors with AES instructions take the path
// of aes_backend.h instead, chosen once on first use.
#include "crypto/aes.h"

#include "crypto/aes_backend.h"
#include "crypto/aes_path.h"
#include "crypto/aes_tables.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace aes {

// FIPS-197, Figure 7: the S-box, indexed by the input byte.
const std::uint8_t sbox[256] = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

// FIPS-197, Figure 14: the inverse S-box.
const std::uint8_t rsbox[256] = {
    0x52, 0x09, 0x6a, 0xd5, 0x30, 0x36, 0xa5, 0x38, 0xbf, 0x40, 0xa3, 0x9e, 0x81, 0xf3, 0xd7, 0xfb,
    0x7c, 0xe3, 0x39, 0x82, 0x9b, 0x2f, 0xff, 0x87, 0x34, 0x8e, 0x43, 0x44, 0xc4, 0xde, 0xe9, 0xcb,
    0x54, 0x7b, 0x94, 0x32, 0xa6, 0xc2, 0x23, 0x3d, 0xee, 0x4c, 0x95, 0x0b, 0x42, 0xfa, 0xc3, 0x4e,
    0x08, 0x2e, 0xa1, 0x66, 0x28, 0xd9, 0x24, 0xb2, 0x76, 0x5b, 0xa2, 0x49, 0x6d, 0x8b, 0xd1, 0x25,
    0x72, 0xf8, 0xf6, 0x64, 0x86, 0x68, 0x98, 0x16, 0xd4, 0xa4, 0x5c, 0xcc, 0x5d, 0x65, 0xb6, 0x92,
    0x6c, 0x70, 0x48, 0x50, 0xfd, 0xed, 0xb9, 0xda, 0x5e, 0x15, 0x46, 0x57, 0xa7, 0x8d, 0x9d, 0x84,
    0x90, 0xd8, 0xab, 0x00, 0x8c, 0xbc, 0xd3, 0x0a, 0xf7, 0xe4, 0x58, 0x05, 0xb8, 0xb3, 0x45, 0x06,
    0xd0, 0x2c, 0x1e, 0x8f, 0xca, 0x3f, 0x0f, 0x02, 0xc1, 0xaf, 0xbd, 0x03, 0x01, 0x13, 0x8a, 0x6b,
    0x3a, 0x91, 0x11, 0x41, 0x4f, 0x67, 0xdc, 0xea, 0x97, 0xf2, 0xcf, 0xce, 0xf0, 0xb4, 0xe6, 0x73,
    0x96, 0xac, 0x74, 0x22, 0xe7, 0xad, 0x35, 0x85, 0xe2, 0xf9, 0x37, 0xe8, 0x1c, 0x75, 0xdf, 0x6e,
    0x47, 0xf1, 0x1a, 0x71, 0x1d, 0x29, 0xc5, 0x89, 0x6f, 0xb7, 0x62, 0x0e, 0xaa, 0x18, 0xbe, 0x1b,
    0xfc, 0x56, 0x3e, 0x4b, 0xc6, 0xd2, 0x79, 0x20, 0x9a, 0xdb, 0xc0, 0xfe, 0x78, 0xcd, 0x5a, 0xf4,
    0x1f, 0xdd, 0xa8, 0x33, 0x88, 0x07, 0xc7, 0x31, 0xb1, 0x12, 0x10, 0x59, 0x27, 0x80, 0xec, 0x5f,
    0x60, 0x51, 0x7f, 0xa9, 0x19, 0xb5, 0x4a, 0x0d, 0x2d, 0xe5, 0x7a, 0x9f, 0x93, 0xc9, 0x9c, 0xef,
    0xa0, 0xe0, 0x3b, 0x4d, 0xae, 0x2a, 0xf5, 0xb0, 0xc8, 0xeb, 0xbb, 0x3c, 0x83, 0x53, 0x99, 0x61,
    0x17, 0x2b, 0x04, 0x7e, 0xba, 0x77, 0xd6, 0x26, 0xe1, 0x69, 0x14, 0x63, 0x55, 0x21, 0x0c, 0x7d,
};

// FIPS-197, section 5.2: Rcon[i - 1] is x^(i - 1) in GF(2^8), the round
// constant of key-schedule step i.
const std::uint8_t Rcon[10] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1b, 0x36};

}  // namespace aes

namespace {

using aes::Rcon;
using aes::rsbox;
using aes::sbox;

constexpr unsigned kRounds = 10;
constexpr std::size_t kBlock = 16;

// Column c of the state holds row r in bits 8r to 8r + 7, on any host.
using State = std::array<std::uint32_t, 4>;

// Little-endian hosts copy the word as it is; the byte-by-byte form, correct
// on any host, is not always merged into one access by the compiler, and a
// stored block then costs more than a round.
inline std::uint32_t load32(const std::uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t w;
        std::memcpy(&w, p, 4);
        return w;
    } else {
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }
}

inline void store32(std::uint8_t* p, std::uint32_t w) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &w, 4);
    } else {
        p[0] = static_cast<std::uint8_t>(w);
        p[1] = static_cast<std::uint8_t>(w >> 8);
        p[2] = static_cast<std::uint8_t>(w >> 16);
        p[3] = static_cast<std::uint8_t>(w >> 24);
    }
}

inline State load(const std::uint8_t* block) {
    return {load32(block), load32(block + 4), load32(block + 8), load32(block + 12)};
}

inline void store(std::uint8_t* block, const State& s) {
    store32(block, s[0]);
    store32(block + 4, s[1]);
    store32(block + 8, s[2]);
    store32(block + 12, s[3]);
}

// Byte i of the state in FIPS-197 input order: row i mod 4 of column i div 4.
inline std::uint8_t byteAt(const State& s, unsigned i) {
    return static_cast<std::uint8_t>(s[i / 4] >> (8 * (i % 4)));
}

void KeyExpansion(std::uint8_t* round_keys, const std::uint8_t* key) {
    std::memcpy(round_keys, key, 16);
    for (unsigned i = 4; i < 4 * (kRounds + 1); ++i) {
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

// Column c of round key `round`, in the state's column layout.
inline std::uint32_t roundKeyColumn(const std::uint8_t* round_keys, unsigned round, unsigned c) {
    return load32(round_keys + kBlock * round + 4 * c);
}

inline State AddRoundKey(unsigned round, const State& s, const std::uint8_t* round_keys) {
    return {s[0] ^ roundKeyColumn(round_keys, round, 0), s[1] ^ roundKeyColumn(round_keys, round, 1),
            s[2] ^ roundKeyColumn(round_keys, round, 2), s[3] ^ roundKeyColumn(round_keys, round, 3)};
}

// ShiftRows and InvShiftRows only move bytes, so instead of a pass of their
// own they give the position each byte of the result comes from, and
// SubBytes and InvSubBytes read through them. Byte i (row r, column c) comes
// from column c + r mod 4 forwards and c - r mod 4 inverse.
constexpr unsigned ShiftRows(unsigned i) {
    return 5 * i % 16;
}

constexpr unsigned InvShiftRows(unsigned i) {
    return 13 * i % 16;
}

// Column c of the result of moving the bytes with `from` and substituting
// them through `box`. The four bytes are joined as two pairs so that the
// round's dependency chain waits for two ORs, not three.
inline std::uint32_t substitutedColumn(const State& s, const std::uint8_t* box, unsigned (*from)(unsigned),
                                       unsigned c) {
    const std::uint32_t low = std::uint32_t{box[byteAt(s, from(4 * c))]} |
                              std::uint32_t{box[byteAt(s, from(4 * c + 1))]} << 8;
    const std::uint32_t high = std::uint32_t{box[byteAt(s, from(4 * c + 2))]} << 16 |
                               std::uint32_t{box[byteAt(s, from(4 * c + 3))]} << 24;
    return low ^ high;
}

inline State SubBytes(const State& s) {
    return {substitutedColumn(s, sbox, ShiftRows, 0), substitutedColumn(s, sbox, ShiftRows, 1),
            substitutedColumn(s, sbox, ShiftRows, 2), substitutedColumn(s, sbox, ShiftRows, 3)};
}

inline State InvSubBytes(const State& s) {
    return {substitutedColumn(s, rsbox, InvShiftRows, 0), substitutedColumn(s, rsbox, InvShiftRows, 1),
            substitutedColumn(s, rsbox, InvShiftRows, 2), substitutedColumn(s, rsbox, InvShiftRows, 3)};
}

// Multiplies each of the four bytes of w by x in GF(2^8), reducing by 1b: a
// byte's top bit m becomes m - (m >> 7) = 7f, masked down to 1b.
inline std::uint32_t xtime(std::uint32_t w) {
    const std::uint32_t top = w & 0x80808080u;
    return ((w ^ top) << 1) ^ ((top - (top >> 7)) & 0x1b1b1b1bu);
}

// Row r of a column becomes 02*b[r] ^ 03*b[r+1] ^ b[r+2] ^ b[r+3], written as
// 02*(b[r] ^ b[r+1]) ^ b[r+1] ^ (b[r+2] ^ b[r+3]) on the whole word; the
// round key joins the terms that do not wait for xtime.
inline std::uint32_t mixColumn(std::uint32_t w, std::uint32_t key) {
    const std::uint32_t next = std::rotr(w, 8);
    const std::uint32_t pairs = w ^ next;
    return xtime(pairs) ^ (next ^ std::rotr(pairs, 16) ^ key);
}

// MixColumns followed by AddRoundKey, which it folds in (see mixColumn).
inline State MixColumns(const State& s, const std::uint8_t* round_keys, unsigned round) {
    return {mixColumn(s[0], roundKeyColumn(round_keys, round, 0)),
            mixColumn(s[1], roundKeyColumn(round_keys, round, 1)),
            mixColumn(s[2], roundKeyColumn(round_keys, round, 2)),
            mixColumn(s[3], roundKeyColumn(round_keys, round, 3))};
}

// The {0e 0b 0d 09} matrix is {02 03 01 01} times {05 00 04 00}: first add
// 04*(b[r] ^ b[r+2]) to each row, then mix forwards.
inline std::uint32_t invPrepareColumn(std::uint32_t w) {
    return w ^ xtime(xtime(w ^ std::rotr(w, 16)));
}

inline State InvMixColumns(const State& s) {
    return {mixColumn(invPrepareColumn(s[0]), 0), mixColumn(invPrepareColumn(s[1]), 0),
            mixColumn(invPrepareColumn(s[2]), 0), mixColumn(invPrepareColumn(s[3]), 0)};
}

// Inlined into each mode loop: as a call, the state would go through memory
// on both sides of it, and the vectoriser would shuffle it through SSE.
[[gnu::always_inline]] inline State Cipher(State s, const std::uint8_t* round_keys) {
    s = AddRoundKey(0, s, round_keys);
    for (unsigned round = 1; round < kRounds; ++round) s = MixColumns(SubBytes(s), round_keys, round);
    return AddRoundKey(kRounds, SubBytes(s), round_keys);
}

[[gnu::always_inline]] inline State InvCipher(State s, const std::uint8_t* round_keys) {
    s = AddRoundKey(kRounds, s, round_keys);
    for (unsigned round = kRounds - 1; round > 0; --round) {
        s = InvMixColumns(AddRoundKey(round, InvSubBytes(s), round_keys));
    }
    return AddRoundKey(0, InvSubBytes(s), round_keys);
}

inline State XorWithIv(const State& s, const State& iv) {
    return {s[0] ^ iv[0], s[1] ^ iv[1], s[2] ^ iv[2], s[3] ^ iv[3]};
}

void portableEncryptBlock(const std::uint8_t* round_keys, std::uint8_t* block) {
    store(block, Cipher(load(block), round_keys));
}

void portableDecryptBlock(const std::uint8_t* round_keys, std::uint8_t* block) {
    store(block, InvCipher(load(block), round_keys));
}

// The counter block is one 128-bit big-endian number.
void incrementCounter(std::uint8_t* counter) {
    for (std::size_t i = kBlock; i-- > 0;) {
        if (++counter[i] != 0) break;
    }
}

// The chaining value is carried in registers: reading it back from the
// block just stored would stall on store forwarding every block.
void portableCbcEncrypt(const std::uint8_t* round_keys, std::uint8_t* iv, std::uint8_t* buf,
                        std::size_t blocks) {
    State chain = load(iv);
    for (std::size_t b = 0; b < blocks; ++b, buf += kBlock) {
        chain = Cipher(XorWithIv(load(buf), chain), round_keys);
        store(buf, chain);
    }
    store(iv, chain);
}

void portableCbcDecrypt(const std::uint8_t* round_keys, std::uint8_t* iv, std::uint8_t* buf,
                        std::size_t blocks) {
    State chain = load(iv);
    for (std::size_t b = 0; b < blocks; ++b, buf += kBlock) {
        const State input = load(buf);
        store(buf, XorWithIv(InvCipher(input, round_keys), chain));
        chain = input;
    }
    store(iv, chain);
}

void portableCtrXcrypt(const std::uint8_t* round_keys, std::uint8_t* iv, std::uint8_t* buf,
                       std::uint64_t length) {
    for (std::uint64_t done = 0; done < length; done += kBlock) {
        std::uint8_t stream[kBlock];
        std::memcpy(stream, iv, kBlock);
        portableEncryptBlock(round_keys, stream);
        incrementCounter(iv);
        const std::uint64_t n = std::min<std::uint64_t>(kBlock, length - done);
        for (std::uint64_t i = 0; i < n; ++i) buf[done + i] ^= stream[i];
    }
}

constexpr AesBackend portable{portableEncryptBlock, portableDecryptBlock, portableCbcEncrypt, portableCbcDecrypt,
                              portableCtrXcrypt};

const AesBackend* forced = nullptr;

const AesBackend& backend() {
    static const AesBackend* const best = aesHardwareBackend() ? aesHardwareBackend() : &portable;
    return forced ? *forced : *best;
}

}  // namespace

bool aesHardwareAvailable() {
    return aesHardwareBackend() != nullptr;
}

void aesForcePath(AesPath path) {
    const AesBackend* hardware = aesHardwareBackend();
    forced = path == AesPath::hardware && hardware ? hardware : &portable;
}

void AES_init_ctx(AES_ctx* ctx, const std::uint8_t* key) {
    KeyExpansion(ctx->round_keys, key);
}

void AES_init_ctx_iv(AES_ctx* ctx, const std::uint8_t* key, const std::uint8_t* iv) {
    KeyExpansion(ctx->round_keys, key);
    std::memcpy(ctx->iv, iv, kBlock);
}

void AES_ctx_set_iv(AES_ctx* ctx, const std::uint8_t* iv) {
    std::memcpy(ctx->iv, iv, kBlock);
}

void AES_ECB_encrypt(const AES_ctx* ctx, std::uint8_t* block) {
    backend().encrypt_block(ctx->round_keys, block);
}

void AES_ECB_decrypt(const AES_ctx* ctx, std::uint8_t* block) {
    backend().decrypt_block(ctx->round_keys, block);
}

void AES_CBC_enc_buffer(AES_ctx* ctx, std::uint8_t* buf, std::uint32_t length) {
    if (const std::size_t blocks = length / kBlock) {
        backend().cbc_encrypt(ctx->round_keys, ctx->iv, buf, blocks);
    }
}

void AES_CBC_decrypt_buffer(AES_ctx* ctx, std::uint8_t* buf, std::uint32_t length) {
    if (const std::size_t blocks = length / kBlock) {
        backend().cbc_decrypt(ctx->round_keys, ctx->iv, buf, blocks);
    }
}

void AES_CTR_xcrypt_buffer(AES_ctx* ctx, std::uint8_t* buf, std::uint32_t length) {
    if (length != 0) backend().ctr_xcrypt(ctx->round_keys, ctx->iv, buf, length);
}
