#include "fixture_tree.h"

#include "crypto/aes.h"
#include "crypto/content_key.h"
#include "crypto/content_transform.h"
#include "image/image_writer.h"

FixtureNode directory(std::string name, std::vector<FixtureNode> children) {
    return {kDirectoryKind, std::move(name), "", std::move(children)};
}

FixtureNode storedFile(std::string name, std::string_view text) {
    return {kRegularFileKind, std::move(name), storeContent(text), {}};
}

FixtureNode rawFile(std::string name, std::string bytes, std::vector<FixtureNode> children) {
    return {kRegularFileKind, std::move(name), std::move(bytes), std::move(children)};
}

namespace {

void appendTree(std::string& image, const FixtureNode& node) {
    appendNode(image, node.kind, node.name, node.content,
               static_cast<std::uint32_t>(node.children.size()));
    for (const FixtureNode& child : node.children) appendTree(image, child);
}

}  // namespace

std::string imageOf(const FixtureNode& root, std::int64_t version) {
    std::string image;
    appendImageHeader(image, version);
    appendTree(image, root);
    return image;
}

std::string storedBlock(std::string_view block) {
    std::uint8_t key[16], iv[16];
    buildContentKey(key, iv);
    AES_ctx ctx;
    AES_init_ctx_iv(&ctx, key, iv);
    std::string stored(block);
    AES_CBC_decrypt_buffer(&ctx, reinterpret_cast<std::uint8_t*>(stored.data()), 16);
    return stored;
}

std::string chainImage(int levels, std::string_view name, std::string_view leafText) {
    std::string image;
    appendImageHeader(image);
    appendNode(image, kDirectoryKind, "/", "", 1);
    for (int level = 1; level <= levels; ++level) appendNode(image, kDirectoryKind, name, "", 1);
    appendNode(image, kRegularFileKind, "leaf.txt", storeContent(leafText), 0);
    return image;
}
