// The AES module's constant tables, declared for the tests that recompute them.
#pragma once

#include <cstdint>

namespace aes {
extern const std::uint8_t sbox[256];
extern const std::uint8_t rsbox[256];
extern const std::uint8_t Rcon[10];
}  // namespace aes
