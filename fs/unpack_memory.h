// The memory the unpacking reads and fills, readied by the platform so that it
// comes with as few page faults as the platform allows. Neither call changes
// what is built or any limit; where the platform offers nothing, or refuses,
// both do nothing and the unpacking is only slower.
#pragma once

#include <cstddef>

// Before the tree of the image at image .. image + length is built: reads the
// image's pages in ahead and readies heap for the tree, never more than a
// little over length bytes of it, whatever the image announces.
void prepareUnpackingMemory(const char* image, std::size_t length);

// After the tree is built or its building failed: the heap's usual settings.
void finishUnpackingMemory();
