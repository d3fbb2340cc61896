// Writes the seed corpora of the fuzz targets into the directory given as the
// only argument, one subdirectory per target.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/content_transform.h"
#include "fixture_tree.h"
#include "image/atomic_output.h"

namespace {

// Long fixtures only slow the fuzzer down; their shape is kept by the short ones.
constexpr std::size_t kLongestSeed = 8192;

bool writeSeeds(const std::string& dir, const std::vector<std::pair<std::string, std::string>>& seeds) {
    std::filesystem::create_directories(dir);
    for (const auto& [name, bytes] : seeds) {
        if (bytes.size() > kLongestSeed) continue;
        const std::string path = dir + "/" + name;
        if (!writeFileAtomically(path, bytes)) {
            std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", path.c_str());
            return false;
        }
    }
    return true;
}

std::vector<std::pair<std::string, std::string>> contentSeeds() {
    std::vector<std::pair<std::string, std::string>> seeds;
    const std::string_view texts[] = {"",
                                      "x",
                                      "fifteen bytes..",
                                      "sixteen bytes!!!",
                                      "A note.\nTwo lines.",
                                      std::string_view("\0\x01\xff", 3)};
    int i = 0;
    for (std::string_view text : texts)
        seeds.emplace_back("stored-" + std::to_string(i++), storeContent(text));
    seeds.emplace_back("partial-block", storeContent("abc") + "x");
    std::string padPastEnd(16, 'p');
    padPastEnd[15] = '\x11';
    seeds.emplace_back("pad-past-end", storedBlock(padPastEnd));
    return seeds;
}

// A selector byte, 16 key bytes, 16 IV bytes, then the buffer.
std::vector<std::pair<std::string, std::string>> aesSeeds() {
    std::vector<std::pair<std::string, std::string>> seeds;
    const std::string keyAndIv(32, '\x2b');
    for (std::size_t length : {0, 1, 15, 16, 17, 32, 47, 64, 100}) {
        for (char selector : {'\0', '\1', '\2'})
            seeds.emplace_back("len" + std::to_string(length) + "-" + std::to_string(selector),
                               std::string(1, selector) + keyAndIv + std::string(length, '\xa5'));
    }
    return seeds;
}

// Sessions over the shell fixture.
std::vector<std::pair<std::string, std::string>> shellSeeds() {
    return {
        {"walk", "dir\ncd alpha\ndir\ncd beta\ncd gamma\ncd ..\ncd\ndir\n"},
        {"type", "type README.txt\ntype note.txt\ncd alpha\ntype secret.txt\ntype README.txt\n"},
        {"odd-names", "cd \ndir\ncd ..\ncd with space\ncd ..\ncd dup\ncd\ntype ..\n"},
        {"file-as-directory", "cd plain.bin\ndir\ncd under\ncd\ncd note.txt\ntype x\n"},
        {"binary", "type binary.dat\ntype empty.txt\ntype odd\n"},
        {"cls", "cls\nclsXYZ\ncls dir\r\ndir\r\n"},
        {"refused", "ls -la\n"},
        {"leave", "cd alpha\nexit\n"},
        {"crash", "catalog\n"},
        {"no-line-end", "dir"},
    };
}

// PROXY headers of both versions, each followed by a player's first line.
std::vector<std::pair<std::string, std::string>> proxyHeaderSeeds() {
    const std::string v2 = std::string("\r\n\r\n\0\r\nQUIT\n", 12);
    const std::string ipv4 = "\xc6\x33\x64\x07\xc0\x00\x02\x01\x9c\x40\x0f\xa0";
    return {
        {"v1-tcp4", "PROXY TCP4 198.51.100.7 192.0.2.1 40000 4000\r\ndir\r\n"},
        {"v1-tcp6", "PROXY TCP6 2001:db8::1 2001:db8::2 40000 4000\r\ndir\n"},
        {"v1-unknown", "PROXY UNKNOWN\r\n"},
        {"v2-tcp4", v2 + std::string("\x21\x11\x00\x0c", 4) + ipv4 + "dir\n"},
        {"v2-local", v2 + std::string("\x20\x00\x00\x00", 4)},
        {"v2-tcp4-tlvs",
         v2 + std::string("\x21\x11\x00\x14", 4) + ipv4 + std::string("\x04\x00\x05kestv", 8)},
        {"no-header", "dir\r\n"},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_fuzz_seeds DIRECTORY\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    std::vector<std::pair<std::string, std::string>> imageSeeds;
    for (const auto& [name, image] : fixtureImages()) imageSeeds.emplace_back(name + ".img", image);
    const bool written = writeSeeds(dir + "/image_reader", imageSeeds) &&
                         writeSeeds(dir + "/content_transform", contentSeeds()) &&
                         writeSeeds(dir + "/aes", aesSeeds()) &&
                         writeSeeds(dir + "/shell", shellSeeds()) &&
                         writeSeeds(dir + "/proxy_header", proxyHeaderSeeds());
    return written ? 0 : 1;
}
