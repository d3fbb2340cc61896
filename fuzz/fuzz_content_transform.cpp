// Arbitrary stored contents through revealContent: a fault exactly when the
// stored form's limits are broken, otherwise a text no longer than the input
// and shorter by the pad byte. The input taken as a text also goes through
// storeContent and back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "crypto/content_transform.h"
#include "crypto/file_decrypt.h"
#include "fs/image_format.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    std::string text;
    const StoredFormFault fault = revealContent(input, text);
    if (size == 0) {
        require(fault == StoredFormFault::empty);
    } else if (size % 16 != 0) {
        require(fault == StoredFormFault::partialBlock);
    } else if (fault == StoredFormFault::none) {
        require(text.size() <= size && size - text.size() <= 255);
    } else {
        require(fault == StoredFormFault::padPastStart);
    }

    file node({kRegularFileKind, "f", input}, nullptr);
    const std::optional<std::string> decrypted = file_decrypt(&node);
    require(decrypted.has_value() == (fault == StoredFormFault::none));
    require(!decrypted || *decrypted == text);
    require(node.content == input);

    const std::string stored = storeContent(input);
    require(stored.size() % 16 == 0 && stored.size() > size && stored.size() <= size + 16);
    std::string back;
    require(revealContent(stored, back) == StoredFormFault::none);
    require(back == input);
    return 0;
}
