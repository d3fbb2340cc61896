#include <cstdio>
#include <string>

#include "command_line.h"
#include "pack.h"
#include "standard_streams.h"

namespace {

constexpr const char* kHelp =
    "Usage: kestivfs pack [OPTIONS] DIR -o IMAGE\n"
    "\n"
    "Makes an image of the folder DIR: its root is named \"/\", folders become\n"
    "directories and regular files regular files, children in byte order of their\n"
    "names, so the same folder always gives the same image. Files named README.txt\n"
    "are stored as they are, every other file in the terminal's stored form.\n"
    "\n"
    "  --follow-symlinks  pack what symbolic links lead to (a link to a folder\n"
    "                     that holds it is an error)\n"
    "  --skip-special     leave out symbolic links (unless followed), fifos,\n"
    "                     sockets and devices, naming each on stderr\n"
    "  -o IMAGE           where to write the image (outside DIR)\n"
    "\n"
    "Without those options a symbolic link or special file is an error. So is an\n"
    "entry that cannot be read, a name over 65535 bytes, a file over 2147483631\n"
    "bytes (2 GiB less 17: the stored form adds a pad and stays under 2 GiB) and\n"
    "a folder of more than 4294967295 entries. On any error IMAGE is left as it was: the image is written\n"
    "to IMAGE.partial and renamed into place when complete.\n";

}  // namespace

int runPack(const std::vector<std::string>& args) {
    if (asksForHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    PackOptions options;
    std::string folder, output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--follow-symlinks") {
            options.followSymlinks = true;
        } else if (arg == "--skip-special") {
            options.skipSpecial = true;
        } else if (arg == "-o") {
            if (i + 1 == args.size()) return usageError("pack", "-o needs a value");
            output = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("pack", "unknown option '" + arg + "'");
        } else if (!folder.empty()) {
            return usageError("pack", "one DIR only");
        } else {
            folder = arg;
        }
    }
    if (folder.empty()) return usageError("pack", "DIR is missing");
    if (output.empty()) return usageError("pack", "-o IMAGE is required");
    options.showProgress = standardErrorIsTerminal();
    return packFolder(folder, output, options) ? 0 : 1;
}
