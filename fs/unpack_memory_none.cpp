// Platforms whose memory comes as cheaply as it can without help: the browser,
// whose program starts with memory for the image and its tree already.
#include "unpack_memory.h"

void prepareUnpackingMemory(const char*, std::size_t) {}

void finishUnpackingMemory() {}
