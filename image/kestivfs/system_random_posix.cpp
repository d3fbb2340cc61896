#include "system_random.h"

#include <sys/random.h>

#include <algorithm>

bool fillFromSystemRandom(unsigned char* bytes, std::size_t count) {
    // getentropy gives at most 256 bytes a call, from the kernel's source,
    // waiting only until it is seeded.
    constexpr std::size_t mostAtOnce = 256;
    while (count > 0) {
        const std::size_t now = std::min(count, mostAtOnce);
        if (getentropy(bytes, now) != 0) return false;
        bytes += now;
        count -= now;
    }
    return true;
}
