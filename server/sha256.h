#pragma once
// SHA-256 as FIPS 180-4 defines it, for the proof of work a server may ask
// of its players.
#include <array>
#include <cstdint>
#include <string_view>

using Sha256Digest = std::array<std::uint8_t, 32>;

// The digest of the bytes.
Sha256Digest sha256(std::string_view bytes);

// FIPS 180-4, 4.2.2: the first 32 bits of the fractional parts of the cube
// roots of the first 64 primes.
extern const std::uint32_t sha256RoundConstants[64];

// FIPS 180-4, 5.3.3: the first 32 bits of the fractional parts of the square
// roots of the first 8 primes.
extern const std::uint32_t sha256InitialHash[8];
