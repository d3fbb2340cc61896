#include "content_transform.h"

#include <cstring>

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

StoredFormFault revealPadded(std::string_view stored, std::string& padded) {
    const std::size_t n = stored.size();
    if (n == 0) return StoredFormFault::empty;
    if (n > kMaxStoredBytes) return StoredFormFault::tooLong;
    if (n % kAesBlockBytes != 0) return StoredFormFault::partialBlock;
    padded.assign(stored);
    AES_ctx ctx = contentContext();
    AES_CBC_enc_buffer(&ctx, reinterpret_cast<std::uint8_t*>(padded.data()),
                       static_cast<std::uint32_t>(n));
    return StoredFormFault::none;
}

StoredFormFault revealContent(std::string_view stored, std::string& text) {
    std::string padded;
    if (const StoredFormFault fault = revealPadded(stored, padded); fault != StoredFormFault::none)
        return fault;
    const std::size_t pad = static_cast<std::uint8_t>(padded.back());
    if (pad > padded.size()) return StoredFormFault::padPastStart;
    padded.resize(padded.size() - pad);
    text = std::move(padded);
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
