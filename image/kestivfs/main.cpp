// kestivfs: makes, inspects and checks the file-system images that the
// terminal carries.
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"

namespace {

constexpr const char* kUsage =
    "Usage: kestivfs COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  maze [OPTIONS] -o IMAGE    generate the maze (the default one without options)\n"
    "  pack [OPTIONS] DIR -o IMAGE  make an image of a folder\n"
    "  list [--text|--summary] IMAGE  show the tree and its figures\n"
    "  cat IMAGE PATH             write one file's text\n"
    "  verify IMAGE               check the structure and every stored content\n"
    "\n"
    "'kestivfs COMMAND --help' tells more. Exit status 2 means a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return kUsageStatus;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "maze") return runMaze(args);
    if (command == "list") return runList(args);
    if (command == "cat") return runCat(args);
    if (command == "verify") return runVerify(args);
    if (command == "pack") return runPack(args);
    std::fprintf(stderr, "kestivfs: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return kUsageStatus;
}
