// Shared pieces of the AES tests: byte strings, the reference vectors, and the
// fixture that runs a test once per implementation path.
#pragma once

#include "crypto/aes_path.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

Bytes fromHex(std::string_view hex);
std::string toHex(const Bytes& bytes);

enum class Mode { ecb, cbc, ctr };

struct VectorCase {
    std::string name;
    Mode mode;
    Bytes key;
    Bytes iv;  // empty for ECB
    Bytes plain;
    Bytes cipher;
};

// The cases of aes128.txt, in file order.
const std::vector<VectorCase>& vectorCases();

Bytes randomBytes(std::mt19937& rng, std::size_t n);

std::string pathName(AesPath path);

inline void PrintTo(AesPath path, std::ostream* os) { *os << pathName(path); }

// Forces the path given as parameter for the test's duration; hardware is
// skipped where the processor lacks AES instructions.
class AesPathTest : public testing::TestWithParam<AesPath> {
protected:
    void SetUp() override;
};

inline const auto kAllPaths = testing::Values(AesPath::portable, AesPath::hardware);

struct PathNamer {
    std::string operator()(const testing::TestParamInfo<AesPath>& info) const {
        return pathName(info.param);
    }
};
