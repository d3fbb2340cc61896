// The content key and IV of this build, assembled byte by byte into the
// caller's storage so that neither appears whole in the executable.
#pragma once

#include <cstdint>

void buildContentKey(std::uint8_t key[16], std::uint8_t iv[16]);
