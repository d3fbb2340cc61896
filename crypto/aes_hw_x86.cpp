// AES-128 on the x86-64 AES instructions. Only the functions marked AES_NI use
// them, so the program as a whole stays baseline x86-64 and the cpuid check
// decides at run time whether they may run. Independent blocks (CBC inverse,
// CTR) go through the rounds eight at a time to keep the AES unit busy.
#include "crypto/aes.h"
#include "crypto/aes_backend.h"

#include <cpuid.h>
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#define AES_NI __attribute__((target("aes,sse4.1")))

namespace {

constexpr std::size_t kLanes = 8;

AES_NI inline __m128i load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

AES_NI inline void store(std::uint8_t* p, __m128i x) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x);
}

AES_NI inline void encryptKeys(const std::uint8_t* round_keys, __m128i* k) {
    for (unsigned r = 0; r <= kAesRounds; ++r) k[r] = load(round_keys + kAesBlockBytes * r);
}

// AESDEC wants the inverse-cipher schedule: the round keys in reverse order,
// the inner ones through InvMixColumns.
AES_NI inline void decryptKeys(const std::uint8_t* round_keys, __m128i* k) {
    k[0] = load(round_keys + kAesBlockBytes * kAesRounds);
    for (unsigned r = 1; r < kAesRounds; ++r)
        k[r] = _mm_aesimc_si128(load(round_keys + kAesBlockBytes * (kAesRounds - r)));
    k[kAesRounds] = load(round_keys);
}

AES_NI inline __m128i encrypt(__m128i x, const __m128i* k) {
    x = _mm_xor_si128(x, k[0]);
    for (unsigned r = 1; r < kAesRounds; ++r) x = _mm_aesenc_si128(x, k[r]);
    return _mm_aesenclast_si128(x, k[kAesRounds]);
}

AES_NI inline __m128i decrypt(__m128i x, const __m128i* k) {
    x = _mm_xor_si128(x, k[0]);
    for (unsigned r = 1; r < kAesRounds; ++r) x = _mm_aesdec_si128(x, k[r]);
    return _mm_aesdeclast_si128(x, k[kAesRounds]);
}

// The lanes are unrolled by the index pack so that they live in registers.
template <std::size_t... lane>
AES_NI inline void encryptLanes(__m128i* x, const __m128i* k, std::index_sequence<lane...>) {
    ((x[lane] = _mm_xor_si128(x[lane], k[0])), ...);
    for (unsigned r = 1; r < kAesRounds; ++r) {
        const __m128i key = k[r];
        ((x[lane] = _mm_aesenc_si128(x[lane], key)), ...);
    }
    ((x[lane] = _mm_aesenclast_si128(x[lane], k[kAesRounds])), ...);
}

template <std::size_t... lane>
AES_NI inline void decryptLanes(__m128i* x, const __m128i* k, std::index_sequence<lane...>) {
    ((x[lane] = _mm_xor_si128(x[lane], k[0])), ...);
    for (unsigned r = 1; r < kAesRounds; ++r) {
        const __m128i key = k[r];
        ((x[lane] = _mm_aesdec_si128(x[lane], key)), ...);
    }
    ((x[lane] = _mm_aesdeclast_si128(x[lane], k[kAesRounds])), ...);
}

constexpr auto kLaneIndices = std::make_index_sequence<kLanes>();

AES_NI void encryptBlock(const std::uint8_t* round_keys, std::uint8_t* block) {
    __m128i k[kAesRounds + 1];
    encryptKeys(round_keys, k);
    store(block, encrypt(load(block), k));
}

AES_NI void decryptBlock(const std::uint8_t* round_keys, std::uint8_t* block) {
    __m128i k[kAesRounds + 1];
    decryptKeys(round_keys, k);
    store(block, decrypt(load(block), k));
}

AES_NI void cbcEncrypt(const std::uint8_t* round_keys, std::uint8_t* iv, std::uint8_t* buf,
                       std::size_t blocks) {
    __m128i k[kAesRounds + 1];
    encryptKeys(round_keys, k);
    __m128i chain = load(iv);
    for (std::size_t b = 0; b < blocks; ++b, buf += kAesBlockBytes) {
        chain = encrypt(_mm_xor_si128(load(buf), chain), k);
        store(buf, chain);
    }
    store(iv, chain);
}

AES_NI void cbcDecrypt(const std::uint8_t* round_keys, std::uint8_t* iv, std::uint8_t* buf,
                       std::size_t blocks) {
    __m128i k[kAesRounds + 1];
    decryptKeys(round_keys, k);
    __m128i chain = load(iv);
    std::size_t b = 0;
    for (; b + kLanes <= blocks; b += kLanes, buf += kLanes * kAesBlockBytes) {
        __m128i in[kLanes];
        __m128i x[kLanes];
        for (std::size_t i = 0; i < kLanes; ++i) x[i] = in[i] = load(buf + kAesBlockBytes * i);
        decryptLanes(x, k, kLaneIndices);
        store(buf, _mm_xor_si128(x[0], chain));
        for (std::size_t i = 1; i < kLanes; ++i)
            store(buf + kAesBlockBytes * i, _mm_xor_si128(x[i], in[i - 1]));
        chain = in[kLanes - 1];
    }
    for (; b < blocks; ++b, buf += kAesBlockBytes) {
        const __m128i in = load(buf);
        store(buf, _mm_xor_si128(decrypt(in, k), chain));
        chain = in;
    }
    store(iv, chain);
}

// The 128-bit big-endian counter as two native halves.
struct Counter {
    std::uint64_t high;
    std::uint64_t low;

    void next() {
        if (++low == 0) ++high;
    }
};

Counter readCounter(const std::uint8_t* iv) {
    std::uint64_t high;
    std::uint64_t low;
    std::memcpy(&high, iv, 8);
    std::memcpy(&low, iv + 8, 8);
    return {__builtin_bswap64(high), __builtin_bswap64(low)};
}

void writeCounter(std::uint8_t* iv, const Counter& c) {
    const std::uint64_t high = __builtin_bswap64(c.high);
    const std::uint64_t low = __builtin_bswap64(c.low);
    std::memcpy(iv, &high, 8);
    std::memcpy(iv + 8, &low, 8);
}

AES_NI inline __m128i counterBlock(const Counter& c) {
    return _mm_set_epi64x(static_cast<long long>(__builtin_bswap64(c.low)),
                          static_cast<long long>(__builtin_bswap64(c.high)));
}

AES_NI void ctrXcrypt(const std::uint8_t* round_keys, std::uint8_t* iv, std::uint8_t* buf,
                      std::uint64_t length) {
    __m128i k[kAesRounds + 1];
    encryptKeys(round_keys, k);
    Counter counter = readCounter(iv);
    for (; length >= kLanes * kAesBlockBytes;
         length -= kLanes * kAesBlockBytes, buf += kLanes * kAesBlockBytes) {
        __m128i x[kLanes];
        for (std::size_t i = 0; i < kLanes; ++i) {
            x[i] = counterBlock(counter);
            counter.next();
        }
        encryptLanes(x, k, kLaneIndices);
        for (std::size_t i = 0; i < kLanes; ++i) {
            store(buf + kAesBlockBytes * i, _mm_xor_si128(x[i], load(buf + kAesBlockBytes * i)));
        }
    }
    for (; length >= kAesBlockBytes; length -= kAesBlockBytes, buf += kAesBlockBytes) {
        store(buf, _mm_xor_si128(encrypt(counterBlock(counter), k), load(buf)));
        counter.next();
    }
    if (length > 0) {
        std::uint8_t stream[kAesBlockBytes];
        store(stream, encrypt(counterBlock(counter), k));
        counter.next();
        for (std::uint64_t i = 0; i < length; ++i) buf[i] ^= stream[i];
    }
    writeCounter(iv, counter);
}

bool hasAesInstructions() {
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_AES) && (ecx & bit_SSE4_1);
}

constexpr AesBackend hardware{encryptBlock, decryptBlock, cbcEncrypt, cbcDecrypt, ctrXcrypt};

}  // namespace

const AesBackend* aesHardwareBackend() {
    static const bool available = hasAesInstructions();
    return available ? &hardware : nullptr;
}
