#include "content_transform.h"

#include <cstring>
#include <vector>

#include "aes.h"
#include "content_key.h"

namespace {

AES_ctx contentContext() {
    std::uint8_t key[kAesKeyBytes];
    std::uint8_t iv[kAesBlockBytes];
    buildContentKey(key, iv);
    AES_ctx ctx;
    AES_init_ctx_iv(&ctx, key, iv);
    return ctx;
}

}  // namespace

StoredFormFault revealContent(std::string_view stored, std::string& text) {
    const std::size_t n = stored.size();
    if (n == 0) return StoredFormFault::empty;
    if (n > kMaxStoredBytes) return StoredFormFault::tooLong;
    if (n % kAesBlockBytes != 0) return StoredFormFault::partialBlock;
    std::vector<std::uint8_t> work(stored.begin(), stored.end());
    AES_ctx ctx = contentContext();
    AES_CBC_enc_buffer(&ctx, work.data(), static_cast<std::uint32_t>(n));
    const std::size_t pad = work.back();
    if (pad > n) return StoredFormFault::padPastStart;
    text.assign(reinterpret_cast<const char*>(work.data()), n - pad);
    return StoredFormFault::none;
}

std::string storeContent(std::string_view text) {
    const auto pad = static_cast<std::size_t>(storedBytesOf(text.size()) - text.size());
    std::string stored(text);
    stored.append(pad, static_cast<char>(pad));
    AES_ctx ctx = contentContext();
    AES_CBC_decrypt_buffer(&ctx, reinterpret_cast<std::uint8_t*>(stored.data()),
                           static_cast<std::uint32_t>(stored.size()));
    return stored;
}
