// kestivfs: makes, inspects and checks the file-system images that the
// terminal carries.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"

namespace {

// Dispatch and the usage text both come from this table.
const Command* const kCommands[] = {&kMazeCommand, &kPackCommand,   &kListCommand,
                                    &kCatCommand,  &kVerifyCommand, &kKeyCommand};

std::string usage() {
    std::string text = "Usage: kestivfs COMMAND [ARGUMENTS]\n\nCommands:\n";
    for (const Command* command : kCommands) {
        std::string entry = "  " + std::string(command->name) + " " + std::string(command->synopsis);
        entry.resize(std::max<std::size_t>(entry.size() + 2, 36), ' ');
        text += entry + std::string(command->summary) + "\n";
    }
    return text + "\n'kestivfs COMMAND --help' tells more. Exit status 2 means a usage error.\n";
}

const Command* findCommand(std::string_view name) {
    for (const Command* command : kCommands)
        if (command->name == name) return command;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) {
        std::fputs(usage().c_str(), stderr);
        return kUsageStatus;
    }
    const std::string& name = words[0];
    if (name == "--help" || name == "-h" || name == "help") {
        if (words.size() == 2 && findCommand(words[1]))
            return runCommand(*findCommand(words[1]), {"--help"});
        std::fputs(usage().c_str(), stdout);
        return 0;
    }
    if (const Command* command = findCommand(name))
        return runCommand(*command, std::vector<std::string>(words.begin() + 1, words.end()));
    std::fprintf(stderr, "kestivfs: unknown command '%s'\n\n%s", name.c_str(), usage().c_str());
    return kUsageStatus;
}
