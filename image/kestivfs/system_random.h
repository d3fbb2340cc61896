// The operating system's random source, which keys are drawn from.
#pragma once

#include <cstddef>

// Fills bytes[0, count) from the system's random source; false when it fails.
bool fillFromSystemRandom(unsigned char* bytes, std::size_t count);
