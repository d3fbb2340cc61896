// The largest block the program asks operator new for while a watch is alive,
// so that a test can see a reservation that must not happen.
#pragma once

#include <cstddef>

class AllocationWatch {
public:
    AllocationWatch();
    ~AllocationWatch();
    AllocationWatch(const AllocationWatch&) = delete;
    AllocationWatch& operator=(const AllocationWatch&) = delete;

    // Bytes of the largest single allocation since the watch began.
    std::size_t largest() const;
};
