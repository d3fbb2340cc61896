// The maze's random numbers: xoshiro256** seeded through splitmix64, with
// bounded draws by rejection. Everything here is exact integer arithmetic, so
// one seed gives the same maze with every compiler and standard library
// (the standard distributions do not promise that).
#pragma once

#include <cstdint>

struct MazeRandom {
    std::uint64_t state[4];
};

// The state is four splitmix64 outputs of seed, never all zero.
inline MazeRandom seedRandom(std::uint64_t seed) {
    MazeRandom random;
    for (std::uint64_t& word : random.state) {
        seed += 0x9e3779b97f4a7c15;
        std::uint64_t z = seed;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
        z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
        word = z ^ (z >> 31);
    }
    return random;
}

inline std::uint64_t rotateLeft(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

inline std::uint64_t nextRandom(MazeRandom& random) {
    std::uint64_t* s = random.state;
    const std::uint64_t result = rotateLeft(s[1] * 5, 7) * 9;
    const std::uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotateLeft(s[3], 45);
    return result;
}

// Uniform in [0, bound); bound must not be 0.
inline std::uint64_t randomBelow(MazeRandom& random, std::uint64_t bound) {
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % bound;
    std::uint64_t x;
    do x = nextRandom(random);
    while (x >= limit);
    return x % bound;
}

// Uniform in [low, high].
inline std::uint64_t randomBetween(MazeRandom& random, std::uint64_t low, std::uint64_t high) {
    return low + randomBelow(random, high - low + 1);
}

// True with probability numerator / denominator.
inline bool randomChance(MazeRandom& random, std::uint64_t numerator, std::uint64_t denominator) {
    return randomBelow(random, denominator) < numerator;
}
