// bcrypt.h needs the types that windows.h declares.
#include <windows.h>

#include <bcrypt.h>

#include <limits>

#include "system_random.h"

bool fillFromSystemRandom(unsigned char* bytes, std::size_t count) {
    if (count > std::numeric_limits<ULONG>::max()) return false;
    return BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(count),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}
