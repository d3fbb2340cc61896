// Linux with glibc: the image's pages are mapped in one call, and the heap
// grows once by about the tree's size into a range advised for transparent
// huge pages, so that the tree costs a fault per 2 MiB instead of one per 4 KiB.
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "unpack_memory.h"

namespace {

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// glibc's documented defaults (mallopt(3)); it has no call to read them back.
constexpr int kDefaultTrimThreshold = 128 * 1024;
constexpr int kDefaultMmapMax = 65536;

// glibc's chunk header before each block: the block's size, and the size of
// the block before it when that one is free.
constexpr std::uintptr_t kChunkHeaderBytes = 16;

bool heapSettingsChanged = false;
void* heldAside = nullptr;

std::uintptr_t alignDown(std::uintptr_t value, std::uintptr_t alignment) {
    return value / alignment * alignment;
}

std::uintptr_t alignUp(std::uintptr_t value, std::uintptr_t alignment) {
    return alignDown(value + alignment - 1, alignment);
}

// madvise wants whole pages: the pages that hold begin .. begin + length.
int adviseWholePages(const void* begin, std::size_t length, int advice) {
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto address = reinterpret_cast<std::uintptr_t>(begin);
    const std::uintptr_t first = alignDown(address, page);
    return madvise(reinterpret_cast<void*>(first), alignUp(address + length, page) - first, advice);
}

// The tree of the default maze takes 1.03 times its image; an eighth more
// leaves room for images of smaller nodes while little of it stays unused.
std::size_t treeReservation(std::size_t length) {
    if (length > SIZE_MAX / 2) return 0;
    return alignUp(length + length / 8, kHugePageBytes);
}

}  // namespace

void prepareUnpackingMemory(const char* image, std::size_t length) {
    // Older kernels have no populate: they at least start reading ahead.
    if (length != 0 && adviseWholePages(image, length, MADV_POPULATE_READ) != 0)
        adviseWholePages(image, length, MADV_WILLNEED);

    // A tree smaller than this could not fill a huge page it is given.
    const std::size_t reservation = treeReservation(length);
    if (reservation < 2 * kHugePageBytes) return;
    // While the tree is built every allocation comes from the heap, and the
    // heap keeps what is freed: the range advised here is the range the tree
    // fills, contents of any size included.
    heapSettingsChanged = true;
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT32_MAX);
    void* const block = std::malloc(reservation);
    if (!block) return;
    const auto reserved = reinterpret_cast<std::uintptr_t>(block);
    std::free(block);
    // The heap's free top now holds the reservation, unless the heap could
    // not grow in place and malloc mapped memory elsewhere.
    const auto heapEnd = reinterpret_cast<std::uintptr_t>(sbrk(0));
    const std::uintptr_t top = heapEnd - mallinfo2().keepcost;
    if (reserved < top || reserved > heapEnd || heapEnd - reserved < reservation) return;
    // The top's first, partial huge page has small pages in use before it and
    // can never be a huge one: it is held aside, so that the tree begins on a
    // huge page.
    std::uintptr_t asideBytes = alignUp(top, kHugePageBytes) - kChunkHeaderBytes - top;
    if (asideBytes < 2 * kChunkHeaderBytes) asideBytes += kHugePageBytes;
    heldAside = std::malloc(asideBytes - kChunkHeaderBytes / 2);
    adviseWholePages(reinterpret_cast<void*>(top + asideBytes), heapEnd - (top + asideBytes),
                     MADV_HUGEPAGE);
}

void finishUnpackingMemory() {
    if (!heapSettingsChanged) return;
    heapSettingsChanged = false;
    mallopt(M_MMAP_MAX, kDefaultMmapMax);
    mallopt(M_TRIM_THRESHOLD, kDefaultTrimThreshold);
    std::free(heldAside);
    heldAside = nullptr;
}
