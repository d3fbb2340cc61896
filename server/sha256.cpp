#include "sha256.h"

#include <cstring>

const std::uint32_t sha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

const std::uint32_t sha256InitialHash[8] = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};

namespace {

constexpr std::uint32_t rotateRight(std::uint32_t word, int bits) {
    return (word >> bits) | (word << (32 - bits));
}

// FIPS 180-4, 6.2.2: one 512-bit block into the hash.
void compress(std::uint32_t hash[8], const std::uint8_t block[64]) {
    std::uint32_t schedule[64];
    for (int t = 0; t < 16; ++t) {
        schedule[t] = std::uint32_t{block[4 * t]} << 24 | std::uint32_t{block[4 * t + 1]} << 16 |
                      std::uint32_t{block[4 * t + 2]} << 8 | block[4 * t + 3];
    }
    for (int t = 16; t < 64; ++t) {
        std::uint32_t w15 = schedule[t - 15];
        std::uint32_t w2 = schedule[t - 2];
        std::uint32_t sigma0 = rotateRight(w15, 7) ^ rotateRight(w15, 18) ^ (w15 >> 3);
        std::uint32_t sigma1 = rotateRight(w2, 17) ^ rotateRight(w2, 19) ^ (w2 >> 10);
        schedule[t] = sigma1 + schedule[t - 7] + sigma0 + schedule[t - 16];
    }
    std::uint32_t a = hash[0], b = hash[1], c = hash[2], d = hash[3];
    std::uint32_t e = hash[4], f = hash[5], g = hash[6], h = hash[7];
    for (int t = 0; t < 64; ++t) {
        std::uint32_t sum1 = rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25);
        std::uint32_t choose = (e & f) ^ (~e & g);
        std::uint32_t t1 = h + sum1 + choose + sha256RoundConstants[t] + schedule[t];
        std::uint32_t sum0 = rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22);
        std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        std::uint32_t t2 = sum0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    hash[0] += a, hash[1] += b, hash[2] += c, hash[3] += d;
    hash[4] += e, hash[5] += f, hash[6] += g, hash[7] += h;
}

}  // namespace

Sha256Digest sha256(std::string_view bytes) {
    std::uint32_t hash[8];
    std::memcpy(hash, sha256InitialHash, sizeof hash);
    size_t whole = bytes.size() / 64 * 64;
    for (size_t offset = 0; offset < whole; offset += 64) {
        compress(hash, reinterpret_cast<const std::uint8_t*>(bytes.data() + offset));
    }
    // FIPS 180-4, 5.1.1: a one bit, zeros, and the length in bits, to a
    // whole number of blocks.
    std::uint8_t tail[128] = {};
    size_t left = bytes.size() - whole;
    std::memcpy(tail, bytes.data() + whole, left);
    tail[left] = 0x80;
    size_t tailBytes = left < 56 ? 64 : 128;
    std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
    for (int i = 0; i < 8; ++i) {
        tail[tailBytes - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    for (size_t offset = 0; offset < tailBytes; offset += 64) {
        compress(hash, tail + offset);
    }
    Sha256Digest digest;
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 4; ++j) {
            digest[4 * i + j] = static_cast<std::uint8_t>(hash[i] >> (24 - 8 * j));
        }
    }
    return digest;
}
