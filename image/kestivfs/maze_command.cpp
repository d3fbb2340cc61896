#include <cstdio>
#include <string>

#include "command_line.h"
#include "image/image_writer.h"
#include "maze.h"

namespace {

void printHelp(const MazeOptions& d) {
    std::printf(
        "Usage: kestivfs maze [OPTIONS] -o IMAGE\n"
        "\n"
        "Generates a maze image: a random tree of directories holding decoy files,\n"
        "README.txt at the root and the goal file with the flag. The same options\n"
        "always give the same bytes, on every platform.\n"
        "\n"
        "  --seed N          random seed (default %llu)\n"
        "  --directories N   directories, the root included (default %u)\n"
        "  --files N         regular files, README.txt, the goal and one empty\n"
        "                    file included; at least 3 (default %u)\n"
        "  --depth N         level of the deepest node, the root's children being\n"
        "                    level 1 (default %u); needs N directories\n"
        "  --goal-depth N    level of the goal file, at most the depth (default %u)\n"
        "  --decoy-size N    stored bytes of each decoy file, a multiple of 16 from\n"
        "                    32 to 1048576 (default %u)\n"
        "  --flag TEXT       the flag in the goal file, at most %zu bytes\n"
        "                    (default %s)\n"
        "  -o IMAGE          where to write the image (written whole or not at all)\n"
        "\n"
        "Guaranteed for any options: the counts, the depth and the goal's level as\n"
        "asked; directory names of %zu to %zu and file names of %zu to %zu ASCII\n"
        "letters and digits, unique regardless of case; decoys of the given stored\n"
        "size, all different; the goal file stored in %u bytes, the empty file in 16.\n"
        "With the default directory and file counts the names add up to exactly\n"
        "%llu bytes, so the defaults give an image of exactly 22468842 bytes.\n",
        static_cast<unsigned long long>(d.seed), d.directories, d.files, d.depth, d.goalDepth,
        d.decoySize, kGoalMaxTextBytes - kGoalWording.size() - 1, d.flag.c_str(),
        kDirectoryNameMin, kDirectoryNameMax, kFileNameMin, kFileNameMax, kGoalStoredBytes,
        static_cast<unsigned long long>(d.nameBytes));
}

}  // namespace

int runMaze(const std::vector<std::string>& args) {
    const MazeOptions defaults = defaultMazeOptions();
    if (asksForHelp(args)) {
        printHelp(defaults);
        return 0;
    }
    MazeOptions options = defaults;
    std::string output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option != "--seed" && option != "--directories" && option != "--files" &&
            option != "--depth" && option != "--goal-depth" && option != "--decoy-size" &&
            option != "--flag" && option != "-o")
            return usageError("maze", "unknown argument '" + option + "'");
        if (i + 1 == args.size()) return usageError("maze", option + " needs a value");
        const std::string& value = args[++i];
        if (option == "--flag") {
            options.flag = value;
            continue;
        }
        if (option == "-o") {
            output = value;
            continue;
        }
        std::uint64_t number;
        const std::uint64_t max = option == "--seed" ? UINT64_MAX : UINT32_MAX;
        if (!parseNumber(value, max, number))
            return usageError("maze", option + " takes a number from 0 to " + std::to_string(max) +
                                          ", not '" + value + "'");
        if (option == "--seed") options.seed = number;
        else if (option == "--directories") options.directories = static_cast<std::uint32_t>(number);
        else if (option == "--files") options.files = static_cast<std::uint32_t>(number);
        else if (option == "--depth") options.depth = static_cast<std::uint32_t>(number);
        else if (option == "--goal-depth") options.goalDepth = static_cast<std::uint32_t>(number);
        else options.decoySize = static_cast<std::uint32_t>(number);
    }
    if (output.empty()) return usageError("maze", "-o IMAGE is required");
    if (options.directories != defaults.directories || options.files != defaults.files)
        options.nameBytes = 0;
    if (const std::string problem = mazeOptionsProblem(options); !problem.empty())
        return usageError("maze", problem);
    if (!writeFileAtomically(output, mazeImage(generateMaze(options)))) {
        reportError("cannot write " + output);
        return 1;
    }
    return 0;
}
