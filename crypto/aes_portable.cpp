// The portable AES-128 block work: the state is kept as four column words,
// and no table is needed beyond sbox, rsbox and Rcon.
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypto/aes.h"
#include "crypto/aes_backend.h"
#include "crypto/aes_tables.h"

namespace {

using aes::rsbox;
using aes::sbox;

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

// Column c of round key `round`, in the state's column layout.
inline std::uint32_t roundKeyColumn(const std::uint8_t* round_keys, unsigned round, unsigned c) {
    return load32(round_keys + kAesBlockBytes * round + 4 * c);
}

inline State AddRoundKey(unsigned round, const State& s, const std::uint8_t* round_keys) {
    return {s[0] ^ roundKeyColumn(round_keys, round, 0), s[1] ^ roundKeyColumn(round_keys, round, 1),
            s[2] ^ roundKeyColumn(round_keys, round, 2), s[3] ^ roundKeyColumn(round_keys, round, 3)};
}

// ShiftRows and InvShiftRows only move bytes, so instead of a pass of their
// own they give the position each byte of the result comes from, and
// SubBytes and InvSubBytes read through them. Byte i (row r, column c) comes
// from column c + r mod 4 forwards and c - r mod 4 inverse.
constexpr unsigned ShiftRows(unsigned i) { return 5 * i % 16; }

constexpr unsigned InvShiftRows(unsigned i) { return 13 * i % 16; }

// Column c of the result of moving the bytes with `from` and substituting
// them through `box`. The four bytes are joined as two pairs so that the
// round's dependency chain waits for two ORs, not three.
inline std::uint32_t substitutedColumn(const State& s, const std::uint8_t* box,
                                       unsigned (*from)(unsigned), unsigned c) {
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
    for (unsigned round = 1; round < kAesRounds; ++round)
        s = MixColumns(SubBytes(s), round_keys, round);
    return AddRoundKey(kAesRounds, SubBytes(s), round_keys);
}

[[gnu::always_inline]] inline State InvCipher(State s, const std::uint8_t* round_keys) {
    s = AddRoundKey(kAesRounds, s, round_keys);
    for (unsigned round = kAesRounds - 1; round > 0; --round) {
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
    for (std::size_t i = kAesBlockBytes; i-- > 0;) {
        if (++counter[i] != 0) break;
    }
}

// The chaining value is carried in registers: reading it back from the
// block just stored would stall on store forwarding every block.
void portableCbcEncrypt(const std::uint8_t* round_keys, std::uint8_t* iv, std::uint8_t* buf,
                        std::size_t blocks) {
    State chain = load(iv);
    for (std::size_t b = 0; b < blocks; ++b, buf += kAesBlockBytes) {
        chain = Cipher(XorWithIv(load(buf), chain), round_keys);
        store(buf, chain);
    }
    store(iv, chain);
}

void portableCbcDecrypt(const std::uint8_t* round_keys, std::uint8_t* iv, std::uint8_t* buf,
                        std::size_t blocks) {
    State chain = load(iv);
    for (std::size_t b = 0; b < blocks; ++b, buf += kAesBlockBytes) {
        const State input = load(buf);
        store(buf, XorWithIv(InvCipher(input, round_keys), chain));
        chain = input;
    }
    store(iv, chain);
}

void portableCtrXcrypt(const std::uint8_t* round_keys, std::uint8_t* iv, std::uint8_t* buf,
                       std::uint64_t length) {
    for (std::uint64_t done = 0; done < length; done += kAesBlockBytes) {
        std::uint8_t stream[kAesBlockBytes];
        std::memcpy(stream, iv, kAesBlockBytes);
        portableEncryptBlock(round_keys, stream);
        incrementCounter(iv);
        const std::uint64_t n = std::min<std::uint64_t>(kAesBlockBytes, length - done);
        for (std::uint64_t i = 0; i < n; ++i) buf[done + i] ^= stream[i];
    }
}

constexpr AesBackend portable{portableEncryptBlock, portableDecryptBlock, portableCbcEncrypt,
                              portableCbcDecrypt, portableCtrXcrypt};

}  // namespace

const AesBackend& aesPortableBackend() { return portable; }
