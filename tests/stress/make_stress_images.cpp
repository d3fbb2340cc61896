// Writes the stress images into the directory given as the only argument,
// each with the session that walks it (<name>.input) and what that session
// writes after the first prompt, or after the banner for an image that is
// refused (<name>.expected).
#include <cstdio>
#include <string>
#include <string_view>

#include "crypto/content_transform.h"
#include "fixture_tree.h"
#include "fs/image_format.h"
#include "image/atomic_output.h"
#include "image/image_writer.h"

namespace {

constexpr std::string_view kPrompt = "kestiv's terminal ---> ";
constexpr int kChainLevels = 1'000'000;
constexpr std::size_t kLongestName = 65'535;
constexpr std::size_t kBigContent = std::size_t{64} << 20;

std::string dir;

bool write(const std::string& name, std::string_view bytes) {
    const std::string path = dir + "/" + name;
    if (writeFileAtomically(path, bytes)) return true;
    std::fprintf(stderr, "make_stress_images: cannot write %s\n", path.c_str());
    return false;
}

bool writeCase(const std::string& name, std::string_view image, std::string_view input,
               std::string_view expected) {
    return write(name + ".img", image) && write(name + ".input", input) &&
           write(name + ".expected", expected);
}

std::string repeated(std::string_view text, std::size_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += text;
    return out;
}

// A chain of directories named "d", kChainLevels below the root, with a file
// at the bottom: walked all the way down and back.
bool deepChain() {
    const std::string image = chainImage(kChainLevels, "d", "bottom\n");
    const std::string input = repeated("cd d\n", kChainLevels) + "dir\ntype leaf.txt\ncd ..\ncd\ndir\n";
    const std::string expected = repeated(kPrompt, kChainLevels) + "leaf.txt\n" + std::string(kPrompt) +
                                 "bottom\n\n\n" + std::string(kPrompt) + std::string(kPrompt) +
                                 std::string(kPrompt) + "d\n" + std::string(kPrompt);
    return writeCase("deep-chain", image, input, expected);
}

// A root announcing four billion children of which two follow before the
// image ends.
bool hugeCount() {
    std::string image;
    appendImageHeader(image);
    appendNode(image, kDirectoryKind, "/", "", 4'000'000'000u);
    appendNode(image, kDirectoryKind, "a", "", 0);
    appendNode(image, kDirectoryKind, "b", "", 0);
    return writeCase("huge-count", image, "dir\n", "Oh no, CRAAAAAAAAAAASH");
}

// A directory and, inside it, a file whose names are as long as a name can be.
bool longNames() {
    std::string directoryName(kLongestName, 'D');
    std::string fileName(kLongestName, 'f');
    directoryName.front() = '<';
    fileName.back() = '>';
    std::string image;
    appendImageHeader(image);
    appendNode(image, kDirectoryKind, "/", "", 1);
    appendNode(image, kDirectoryKind, directoryName, "", 1);
    appendNode(image, kRegularFileKind, fileName, storeContent("at the end of long names\n"), 0);
    const std::string input = "dir\ncd " + directoryName + "\ndir\ntype " + fileName + "\n";
    const std::string expected = directoryName + "\n" + std::string(kPrompt) +
                                 std::string(kPrompt) + fileName + "\n" + std::string(kPrompt) +
                                 "at the end of long names\n\n\n" + std::string(kPrompt);
    return writeCase("long-names", image, input, expected);
}

// One stored file of 64 MiB of numbered lines, shown twice.
bool bigContent() {
    std::string text;
    text.reserve(kBigContent);
    char line[32];
    for (unsigned n = 0; text.size() < kBigContent; ++n) {
        std::snprintf(line, sizeof line, "line %010u\n", n);
        text += line;
    }
    text.resize(kBigContent);
    std::string image;
    appendImageHeader(image);
    appendNode(image, kDirectoryKind, "/", "", 1);
    appendNode(image, kRegularFileKind, "big.txt", storeContent(text), 0);
    const std::string shown = text + "\n\n" + std::string(kPrompt);
    return writeCase("big-content", image, "type big.txt\ntype big.txt\n", shown + shown);
}

// A small tree for sessions that are long in lines or in line length.
bool small() {
    std::string image;
    appendImageHeader(image);
    appendNode(image, kDirectoryKind, "/", "", 2);
    appendNode(image, kDirectoryKind, "a", "", 0);
    appendNode(image, kRegularFileKind, "README.txt", "small\n", 0);
    return writeCase("small", image, "dir\n", "a\nREADME.txt\n" + std::string(kPrompt));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_stress_images DIRECTORY\n", stderr);
        return 2;
    }
    dir = argv[1];
    return deepChain() && hugeCount() && longNames() && bigContent() && small() ? 0 : 1;
}
