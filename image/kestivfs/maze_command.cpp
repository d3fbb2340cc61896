#include <string>

#include "command_line.h"
#include "image/atomic_output.h"
#include "maze.h"

namespace {

std::string help() {
    const MazeOptions d = defaultMazeOptions();
    const auto n = [](std::uint64_t value) { return std::to_string(value); };
    return "Generates a maze image: a random tree of directories holding decoy files,\n"
           "README.txt at the root and the goal file with the flag. The same options\n"
           "always give the same bytes, on every platform.\n"
           "\n"
           "  --seed N          random seed (default " +
           n(d.seed) +
           ")\n"
           "  --directories N   directories, the root included (default " +
           n(d.directories) +
           ")\n"
           "  --files N         regular files, README.txt, the goal and one empty\n"
           "                    file included; at least 3 (default " +
           n(d.files) +
           ")\n"
           "  --depth N         level of the deepest node, the root's children being\n"
           "                    level 1 (default " +
           n(d.depth) +
           "); needs N directories\n"
           "  --goal-depth N    level of the goal file, at most the depth (default " +
           n(d.goalDepth) +
           ")\n"
           "  --decoy-size N    stored bytes of each decoy file, a multiple of 16 from\n"
           "                    32 to 1048576 (default " +
           n(d.decoySize) +
           ")\n"
           "  --flag TEXT       the flag in the goal file, at most " +
           n(kGoalMaxTextBytes - kGoalWording.size() - 1) +
           " bytes\n"
           "                    (default " +
           d.flag +
           ")\n"
           "  -o IMAGE          the file to write the image to (written whole or not at all)\n"
           "\n"
           "Guaranteed for any options: the counts, the depth and the goal's level as\n"
           "asked; directory names of " +
           n(kDirectoryNameMin) + " to " + n(kDirectoryNameMax) + " and file names of " +
           n(kFileNameMin) + " to " + n(kFileNameMax) +
           " ASCII\n"
           "letters and digits, unique regardless of case; decoys of the given stored\n"
           "size, all different; the goal file stored in " +
           n(kGoalStoredBytes) +
           " bytes, the empty file in 16.\n"
           "With the default directory and file counts the names add up to exactly\n" +
           n(d.nameBytes) + " bytes, so the defaults give an image of exactly 22468842 bytes.\n";
}

// The numeric options, each a 32-bit field of the options but the seed.
struct NumberOption {
    std::string_view name;
    std::uint64_t max;
    void (*set)(MazeOptions&, std::uint64_t);
};

const NumberOption kNumberOptions[] = {
    {"--seed", UINT64_MAX, [](MazeOptions& o, std::uint64_t v) { o.seed = v; }},
    {"--directories", UINT32_MAX,
     [](MazeOptions& o, std::uint64_t v) { o.directories = static_cast<std::uint32_t>(v); }},
    {"--files", UINT32_MAX,
     [](MazeOptions& o, std::uint64_t v) { o.files = static_cast<std::uint32_t>(v); }},
    {"--depth", UINT32_MAX,
     [](MazeOptions& o, std::uint64_t v) { o.depth = static_cast<std::uint32_t>(v); }},
    {"--goal-depth", UINT32_MAX,
     [](MazeOptions& o, std::uint64_t v) { o.goalDepth = static_cast<std::uint32_t>(v); }},
    {"--decoy-size", UINT32_MAX,
     [](MazeOptions& o, std::uint64_t v) { o.decoySize = static_cast<std::uint32_t>(v); }},
};

int runMaze(const CommandLine& line) {
    const MazeOptions defaults = defaultMazeOptions();
    MazeOptions options = defaults;
    for (const NumberOption& option : kNumberOptions) {
        const std::string* value = optionValue(line, option.name);
        if (!value) continue;
        std::uint64_t number;
        if (!parseNumber(*value, option.max, number))
            return usageError("maze", std::string(option.name) + " takes a number from 0 to " +
                                          std::to_string(option.max) + ", not '" + *value + "'");
        option.set(options, number);
    }
    if (const std::string* flag = optionValue(line, "--flag")) options.flag = *flag;
    // The name total that makes the default image's length holds for the default counts only.
    if (options.directories != defaults.directories || options.files != defaults.files)
        options.nameBytes = 0;
    if (const std::string problem = mazeOptionsProblem(options); !problem.empty())
        return usageError("maze", problem);
    const std::string& output = *optionValue(line, "-o");
    if (output == kStandardStream) return usageError("maze", kImageToStandardOutput);
    if (!writeFileAtomically(output, mazeImage(generateMaze(options)))) {
        reportError("cannot write " + output);
        return 1;
    }
    return 0;
}

}  // namespace

const Command kMazeCommand = {
    .name = "maze",
    .synopsis = "[OPTIONS] -o IMAGE",
    .summary = "generate the maze (the default one without options)",
    .options = {{"--seed", "N"},
                {"--directories", "N"},
                {"--files", "N"},
                {"--depth", "N"},
                {"--goal-depth", "N"},
                {"--decoy-size", "N"},
                {"--flag", "TEXT"},
                {"-o", "IMAGE", true}},
    .operands = {},
    .help = help,
    .run = runMaze,
};
