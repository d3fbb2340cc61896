#include <cstdio>
#include <string>

#include "command_line.h"
#include "crypto/aes.h"
#include "system_random.h"

namespace {

constexpr const char* kHelp =
    "Prints a fresh content key and IV, drawn from the system's random source, as\n"
    "the two settings to configure a build with, on one line:\n"
    "\n"
    "  -DKESTIV_KEY=<32 lowercase hex digits> -DKESTIV_IV=<32 lowercase hex digits>\n"
    "\n"
    "Every run prints a new pair. An image reads only under the pair it was made\n"
    "with: keep the one a maze is built with for all its builds, its release too,\n"
    "and never publish it.\n"
    "\n"
    "Exit status 0, 1 when the random source fails, 2 on a usage error.\n";

std::string hexOf(const unsigned char* bytes, std::size_t count) {
    static constexpr char kHexDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < count; ++i) {
        hex += kHexDigits[bytes[i] >> 4];
        hex += kHexDigits[bytes[i] & 15];
    }
    return hex;
}

int runKey(const CommandLine&) {
    unsigned char random[kAesKeyBytes + kAesBlockBytes];
    if (!fillFromSystemRandom(random, sizeof random)) {
        reportError("the system's random source gave no bytes");
        return 1;
    }
    std::printf("-DKESTIV_KEY=%s -DKESTIV_IV=%s\n", hexOf(random, kAesKeyBytes).c_str(),
                hexOf(random + kAesKeyBytes, kAesBlockBytes).c_str());
    return 0;
}

}  // namespace

const Command kKeyCommand = {
    .name = "key",
    .synopsis = "",
    .summary = "print a fresh random key and IV to build with",
    .options = {},
    .operands = {},
    .help = [] { return std::string(kHelp); },
    .run = runKey,
};
