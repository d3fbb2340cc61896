// Arbitrary standard input through the command loop, over the shell fixture
// unpacked once. Every run starts at the root with output going nowhere; the
// loop must end by itself, at end of input only once all of it is read,
// leaving cwd on a node of the tree.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fs/unpack.h"
#include "terminal/shell.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    require(std::freopen("/dev/null", "w", stdout) != nullptr);
    unpackFileSystem();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::FILE* input = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    require(input != nullptr);
    cwd = root;
    const SessionEnd end = runCommands(input);
    require(end != SessionEnd::inputEnded || std::feof(input));
    require(!std::ferror(stdout));
    // cwd is still a node of the tree: its parents lead back to the root.
    int steps = 0;
    for (const file* at = cwd; at != root; at = at->parent) require(++steps < 64);
    std::fclose(input);
    return 0;
}
