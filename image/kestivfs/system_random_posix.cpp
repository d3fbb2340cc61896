#include <sys/random.h>

#include <cerrno>

#include "system_random.h"

bool fillFromSystemRandom(unsigned char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t got = getrandom(bytes, count, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}
