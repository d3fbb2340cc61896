// Replaces the global operator new and delete of the test program; every
// array and sized form reaches these.
#include "allocation_watch.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> watching{false};
std::atomic<std::size_t> largestBlock{0};

}  // namespace

void* operator new(std::size_t size) {
    if (watching.load(std::memory_order_relaxed)) {
        std::size_t seen = largestBlock.load(std::memory_order_relaxed);
        while (size > seen && !largestBlock.compare_exchange_weak(seen, size)) {
        }
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

AllocationWatch::AllocationWatch() {
    largestBlock = 0;
    watching = true;
}

AllocationWatch::~AllocationWatch() { watching = false; }

std::size_t AllocationWatch::largest() const { return largestBlock; }
