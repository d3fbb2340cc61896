#include <string>

#include "command_line.h"
#include "pack.h"
#include "standard_streams.h"

namespace {

constexpr const char* kHelp =
    "Makes an image of the folder DIR: its root is named \"/\", folders become\n"
    "directories and regular files regular files, children in byte order of their\n"
    "names, so the same folder always gives the same image. Files named README.txt\n"
    "are stored as they are, every other file in the terminal's stored form.\n"
    "\n"
    "  --follow-symlinks  pack what symbolic links lead to (a link to a folder\n"
    "                     that holds it is an error)\n"
    "  --skip-special     leave out symbolic links (unless followed), fifos,\n"
    "                     sockets and devices, naming each on stderr\n"
    "  --allow-untypeable pack names a player cannot type, with a warning for\n"
    "                     each, instead of refusing the folder\n"
    "  -o IMAGE           where to write the image (a file outside DIR)\n"
    "\n"
    "A player reaches a name only by typing it after \"cd \" or \"type \", so a name\n"
    "is refused, each such name on stderr, when it is not valid UTF-8, holds a\n"
    "control character (bytes 0x00-0x1f and 0x7f, U+0080-U+009F), begins or ends\n"
    "with a space, or is longer than 4090 bytes (a terminal's line takes 4095).\n"
    "A folder that is empty, or has no README.txt at its top, is packed with a\n"
    "warning: players look for README.txt first, and the container's probe needs it.\n"
    "\n"
    "Without those options a symbolic link or special file is an error. So is an\n"
    "entry that cannot be read, a name over 65535 bytes, a file over 2147483631\n"
    "bytes (2 GiB less 17: the stored form adds a pad and stays under 2 GiB) and\n"
    "a folder of more than 4294967295 entries. On any error IMAGE is left as it\n"
    "was: the image is written in a new folder beside it and renamed into place\n"
    "when complete.\n";

int runPack(const CommandLine& line) {
    const std::string& folder = line.operands[0];
    if (folder == kStandardStream)
        return usageError("pack", "DIR must be a folder, not standard input");
    const std::string& output = *optionValue(line, "-o");
    if (output == kStandardStream) return usageError("pack", kImageToStandardOutput);
    PackOptions options;
    options.followSymlinks = hasOption(line, "--follow-symlinks");
    options.skipSpecial = hasOption(line, "--skip-special");
    options.allowUntypeable = hasOption(line, "--allow-untypeable");
    options.showProgress = standardErrorIsTerminal();
    return packFolder(folder, output, options) ? 0 : 1;
}

}  // namespace

const Command kPackCommand = {
    .name = "pack",
    .synopsis = "[OPTIONS] DIR -o IMAGE",
    .summary = "make an image of a folder",
    .options = {{"--follow-symlinks", ""},
                {"--skip-special", ""},
                {"--allow-untypeable", ""},
                {"-o", "IMAGE", true}},
    .operands = {"DIR"},
    .help = [] { return std::string(kHelp); },
    .run = runPack,
};
