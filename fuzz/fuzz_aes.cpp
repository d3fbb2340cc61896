// Arbitrary lengths and data through the AES buffer operations on both paths:
// bytes past the last whole block are left untouched by CBC, each inverse
// undoes its forward operation, the IV ends as the contracts say, and the
// portable and hardware paths agree byte for byte.
//
// Input: a selector byte (which operations), 16 key bytes, 16 IV bytes, then
// the buffer. Buffers are copied to allocations of exactly their length, so
// the address sanitizer sees any access past them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crypto/aes.h"
#include "crypto/aes_path.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

using Bytes = std::vector<std::uint8_t>;

// memcmp wants valid pointers even for no bytes; an empty vector has none.
bool sameBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    return n == 0 || std::memcmp(a, b, n) == 0;
}

struct Outcome {
    Bytes cbc;
    Bytes cbcIv;
    Bytes ctr;
    Bytes ctrIv;
    Bytes ecb;
};

Outcome run(AesPath path, const std::uint8_t* key, const std::uint8_t* iv, const Bytes& input) {
    aesForcePath(path);
    const std::uint32_t length = static_cast<std::uint32_t>(input.size());
    const std::size_t whole = input.size() / kAesBlockBytes * kAesBlockBytes;
    Outcome out;
    AES_ctx ctx;

    out.cbc = input;
    AES_init_ctx_iv(&ctx, key, iv);
    AES_CBC_enc_buffer(&ctx, out.cbc.data(), length);
    require(sameBytes(out.cbc.data() + whole, input.data() + whole, input.size() - whole));
    require(sameBytes(ctx.iv, whole ? out.cbc.data() + whole - kAesBlockBytes : iv, kAesBlockBytes));
    out.cbcIv.assign(ctx.iv, ctx.iv + kAesBlockBytes);
    Bytes back = out.cbc;
    AES_ctx_set_iv(&ctx, iv);
    AES_CBC_decrypt_buffer(&ctx, back.data(), length);
    require(back == input);
    require(sameBytes(ctx.iv, whole ? out.cbc.data() + whole - kAesBlockBytes : iv, kAesBlockBytes));

    out.ctr = input;
    AES_ctx_set_iv(&ctx, iv);
    AES_CTR_xcrypt_buffer(&ctx, out.ctr.data(), length);
    out.ctrIv.assign(ctx.iv, ctx.iv + kAesBlockBytes);
    back = out.ctr;
    AES_ctx_set_iv(&ctx, iv);
    AES_CTR_xcrypt_buffer(&ctx, back.data(), length);
    require(back == input);

    for (std::size_t at = 0; at < whole; at += kAesBlockBytes) {
        std::uint8_t block[kAesBlockBytes];
        std::memcpy(block, input.data() + at, kAesBlockBytes);
        AES_ECB_encrypt(&ctx, block);
        out.ecb.insert(out.ecb.end(), block, block + kAesBlockBytes);
        AES_ECB_decrypt(&ctx, block);
        require(sameBytes(block, input.data() + at, kAesBlockBytes));
    }
    return out;
}

bool operator==(const Outcome& a, const Outcome& b) {
    return a.cbc == b.cbc && a.cbcIv == b.cbcIv && a.ctr == b.ctr && a.ctrIv == b.ctrIv &&
           a.ecb == b.ecb;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 + 2 * kAesBlockBytes) return 0;
    const std::uint8_t* key = data + 1;
    const std::uint8_t* iv = data + 1 + kAesBlockBytes;
    const Bytes input(data + 1 + 2 * kAesBlockBytes, data + size);

    const Outcome portable = run(AesPath::portable, key, iv, input);
    if (aesHardwareAvailable()) require(run(AesPath::hardware, key, iv, input) == portable);

    // Two calls continue one CBC chain: split at a block boundary chosen by the selector.
    const std::size_t blocks = input.size() / kAesBlockBytes;
    const std::size_t split = blocks ? data[0] % (blocks + 1) * kAesBlockBytes : 0;
    Bytes chained = input;
    AES_ctx ctx;
    AES_init_ctx_iv(&ctx, key, iv);
    AES_CBC_enc_buffer(&ctx, chained.data(), static_cast<std::uint32_t>(split));
    AES_CBC_enc_buffer(&ctx, chained.data() + split, static_cast<std::uint32_t>(input.size() - split));
    require(chained == portable.cbc);
    return 0;
}
