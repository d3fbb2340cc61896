#include <cstdio>
#include <string>

#include "command_line.h"
#include "crypto/file_decrypt.h"
#include "fs/image_format.h"
#include "image_paths.h"
#include "key_check.h"
#include "loaded_image.h"
#include "standard_streams.h"

namespace {

constexpr const char* kHelp =
    "Writes the text of one regular file to standard output, byte for byte with\n"
    "nothing added: README.txt as stored, any other file turned back from its\n"
    "stored form, as the terminal's type command shows it.\n"
    "\n"
    "PATH is the names from the root joined by \"/\" (a leading \"/\" is optional),\n"
    "e.g. README.txt or abcd/efgh/filename. In a name, \"\\\\\" is a backslash, \"\\/\"\n"
    "a slash and \"\\xHH\" any byte, as 'kestivfs list' prints them. Of siblings with\n"
    "equal names the first is taken, as in the terminal. IMAGE \"-\" is standard\n"
    "input.\n"
    "\n"
    "Exit status 1 when the path leads nowhere, to something that is not a\n"
    "regular file, or to a content that cannot be turned back into text; that\n"
    "includes every stored file of an image made with another key (see\n"
    "'kestivfs verify --help'), whose text would only be noise.\n";

// Empty unless node's text is stored and the image was made with another key.
std::string keyProblemFor(const file& node, file* root, const std::string& image) {
    if (isPlainTextName(node.name)) return "";
    return anotherKeyProblem(weighContentKey(root), imageName(image));
}

int runCat(const CommandLine& line) {
    const std::vector<std::string>& operands = line.operands;
    const std::string& path = operands[1];
    std::vector<std::string> names;
    std::string error;
    if (!splitPath(path, names, error)) return usageError("cat", error);

    LoadedImage image = loadImage(operands[0]);
    if (!image.root) return 1;
    file* node = findNode(image.root, names);
    int status = 1;
    std::string text;
    if (!node) {
        reportError("no " + path + " in " + imageName(operands[0]));
    } else if (node->kind == kDirectoryKind) {
        reportError(path + " is a directory");
    } else if (node->kind != kRegularFileKind) {
        reportError(path + " is of kind " + std::to_string(node->kind) + ", not a regular file");
    } else if (const std::string anotherKey = keyProblemFor(*node, image.root, operands[0]);
               !anotherKey.empty()) {
        reportError(anotherKey);
    } else if (const StoredFormFault fault = nodeText(*node, text); fault != StoredFormFault::none) {
        reportError("cannot turn " + path +
                    " back into text: " + storedFormProblem(fault, node->content.size()));
    } else {
        status = 0;
    }
    freeTree(image.root);
    if (status == 0) {
        makeStandardOutputBinary();
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout)) {
            reportError("cannot write to standard output");
            status = 1;
        }
    }
    return status;
}

}  // namespace

const Command kCatCommand = {
    .name = "cat",
    .synopsis = "IMAGE PATH",
    .summary = "write one file's text",
    .options = {},
    .operands = {"IMAGE", "PATH"},
    .help = [] { return std::string(kHelp); },
    .run = runCat,
};
