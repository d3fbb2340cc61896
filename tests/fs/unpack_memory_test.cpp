// The memory readied for the unpacking on Linux: the tree lands in huge pages,
// the heap grows by no more than the image can fill, and its settings come back.
// A process of its own: what it checks is the state of the whole heap.
#include <malloc.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "fixture_tree.h"
#include "fs/image_reader.h"
#include "fs/unpack_memory.h"

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

bool hugePagesOffered() {
    std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    std::getline(setting, modes);
    return !modes.empty() && modes.find("[never]") == std::string::npos;
}

// KiB of the mapping holding address that lie in transparent huge pages.
std::size_t hugePageKiBAround(const void* address) {
    const auto wanted = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        std::uintptr_t begin = 0, end = 0;
        char dash = 0;
        std::istringstream fields(line);
        if (fields >> std::hex >> begin >> dash >> end && dash == '-') {
            inside = begin <= wanted && wanted < end;
        } else if (inside && line.starts_with("AnonHugePages:")) {
            std::size_t kib = 0;
            std::istringstream(line.substr(14)) >> kib;
            return kib;
        }
    }
    return 0;
}

// About 16 MiB in files of 4 KiB, as a maze's decoys are.
std::string largeImage() {
    std::vector<FixtureNode> files;
    for (int i = 0; i < 4000; ++i)
        files.push_back(rawFile("decoy" + std::to_string(i), std::string(4096, 'd')));
    return imageOf(directory("/", {directory("hall", std::move(files))}));
}

TEST(UnpackMemory, TheTreeOfALargeImageLiesInHugePages) {
    if (!hugePagesOffered()) GTEST_SKIP() << "this kernel offers no transparent huge pages";
    const std::string image = largeImage();
    prepareUnpackingMemory(image.data(), image.size());
    const ImageReadResult result = readImage(image.data(), image.size());
    finishUnpackingMemory();
    ASSERT_EQ(result.status, ImageStatus::ok);
    const file* hall = result.root->children[0];
    EXPECT_EQ(hall->children[1999]->content, std::string(4096, 'd'));
    // All but the first and last part-filled huge pages.
    EXPECT_GE(hugePageKiBAround(hall->children[1999]->content.data()) * 1024, image.size() - 4 * kMiB);
}

TEST(UnpackMemory, TheHeapGrowsByNoMoreThanTheImageCanFill) {
    // The same bytes cut short, still announcing all their children.
    const std::string whole = largeImage();
    for (const std::string& image : {whole, whole.substr(0, whole.size() / 3)}) {
        const std::size_t heapBefore = mallinfo2().arena;
        prepareUnpackingMemory(image.data(), image.size());
        const std::size_t grown = mallinfo2().arena - heapBefore;
        const ImageReadResult result = readImage(image.data(), image.size());
        finishUnpackingMemory();
        freeTree(result.root);
        // An eighth over the image for the nodes, up to a huge page for the
        // rounding and one held aside before the tree.
        EXPECT_LE(grown, image.size() + image.size() / 8 + 4 * kMiB) << image.size() << " bytes of image";
    }
}

TEST(UnpackMemory, LargeBlocksAreMappedAgainAfterward) {
    const std::string image = largeImage();
    prepareUnpackingMemory(image.data(), image.size());
    const ImageReadResult result = readImage(image.data(), image.size());
    finishUnpackingMemory();
    ASSERT_EQ(result.status, ImageStatus::ok);
    // An endless line's buffer must come from mappings that are given back,
    // as at any other time.
    const std::size_t mappedBefore = mallinfo2().hblks;
    // Kept in a volatile, or the compiler may drop the pair of calls.
    void* volatile block = std::malloc(64 * kMiB);
    EXPECT_EQ(mallinfo2().hblks, mappedBefore + 1);
    std::free(block);
}

}  // namespace
