#include "aes_test_support.h"

#include <sstream>
#include <stdexcept>

extern const char aesVectorsText[];

namespace {

int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw std::invalid_argument(std::string("not a hex digit: ") + c);
}

Mode parseMode(const std::string& word) {
    if (word == "ecb") return Mode::ecb;
    if (word == "cbc") return Mode::cbc;
    if (word == "ctr") return Mode::ctr;
    throw std::invalid_argument("unknown mode: " + word);
}

std::vector<VectorCase> parseVectors(const std::string& text) {
    std::vector<VectorCase> cases;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string field;
        std::string value;
        if (!(words >> field) || field[0] == '#') continue;
        words >> value;
        if (field == "case") {
            cases.push_back({value, Mode::ecb, {}, {}, {}, {}});
            continue;
        }
        if (cases.empty()) throw std::invalid_argument("field before the first case: " + line);
        VectorCase& c = cases.back();
        if (field == "mode")
            c.mode = parseMode(value);
        else if (field == "key")
            c.key = fromHex(value);
        else if (field == "iv")
            c.iv = fromHex(value);
        else if (field == "plain")
            c.plain = fromHex(value);
        else if (field == "cipher")
            c.cipher = fromHex(value);
        else
            throw std::invalid_argument("unknown field: " + line);
    }
    return cases;
}

}  // namespace

Bytes fromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) throw std::invalid_argument("odd hex length");
    Bytes out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
    }
    return out;
}

std::string toHex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

const std::vector<VectorCase>& vectorCases() {
    static const std::vector<VectorCase> cases = parseVectors(aesVectorsText);
    return cases;
}

Bytes randomBytes(std::mt19937& rng, std::size_t n) {
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
}

std::string pathName(AesPath path) { return path == AesPath::hardware ? "hardware" : "portable"; }

void AesPathTest::SetUp() {
    if (GetParam() == AesPath::hardware && !aesHardwareAvailable()) {
        GTEST_SKIP() << "this processor has no AES instructions";
    }
    aesForcePath(GetParam());
}
