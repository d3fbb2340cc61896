#include <cstdio>
#include <string>

#include "command_line.h"
#include "crypto/content_transform.h"
#include "fs/image_format.h"
#include "image_paths.h"
#include "key_check.h"
#include "loaded_image.h"

namespace {

constexpr const char* kHelp =
    "Checks that IMAGE reads as a whole tree, that every regular file other than\n"
    "README.txt turns back into text with a pad of 1 to 255 bytes, and that every\n"
    "node is a directory or a regular file. Each problem is printed as\n"
    "\"PATH: what is wrong\"; a broken structure as \"IMAGE: what is wrong\", with\n"
    "the byte offset where reading stopped. IMAGE \"-\" is standard input.\n"
    "\n"
    "An image whose stored files mostly do not end in a pad as kestivfs writes it\n"
    "(1 to 16 bytes, each holding the pad's length) under this build's key was\n"
    "made with another key: that is said once, on stderr, instead of a problem\n"
    "for each file.\n"
    "\n"
    "Exit status 0 when clean, 1 with problems, 2 on a usage error.\n";

int runVerify(const CommandLine& line) {
    LoadedImage image = loadImage(line.operands[0]);
    if (!image.root) return 1;

    std::uint64_t nodes = 0, stored = 0;
    std::string problems, padded;
    std::uint64_t problemCount = 0;
    KeyEvidence evidence;
    walkTree(image.root, [&](const file* node, std::string_view path, std::size_t) {
        ++nodes;
        std::string problem;
        if (node->kind != kDirectoryKind && node->kind != kRegularFileKind) {
            problem = "kind " + std::to_string(node->kind) +
                      " is neither a directory (0) nor a regular file (1)";
        } else if (node->kind == kRegularFileKind && !isPlainTextName(node->name)) {
            ++stored;
            const std::size_t size = node->content.size();
            const StoredFormFault fault = revealPadded(node->content, padded);
            const std::size_t pad =
                fault == StoredFormFault::none ? static_cast<std::uint8_t>(padded.back()) : 0;
            if (fault != StoredFormFault::none)
                problem = storedFormProblem(fault, size);
            else if (pad > size)
                problem = storedFormProblem(StoredFormFault::padPastStart, size);
            else if (pad == 0)
                problem = "the pad length is 0; a pad is 1 to 255 bytes";
            if (fault == StoredFormFault::none) weighPadded(evidence, padded);
        }
        if (problem.empty()) return;
        ++problemCount;
        problems.append(path).append(": ").append(problem).append("\n");
    });
    freeTree(image.root);
    if (const std::string anotherKey = anotherKeyProblem(evidence, imageName(line.operands[0]));
        !anotherKey.empty()) {
        reportError(anotherKey);
        return 1;
    }
    if (problemCount) {
        std::fwrite(problems.data(), 1, problems.size(), stdout);
        std::printf("%llu problem%s\n", static_cast<unsigned long long>(problemCount),
                    problemCount == 1 ? "" : "s");
        return 1;
    }
    std::printf("ok: %llu nodes, %llu stored files turn back into text\n",
                static_cast<unsigned long long>(nodes), static_cast<unsigned long long>(stored));
    return 0;
}

}  // namespace

const Command kVerifyCommand = {
    .name = "verify",
    .synopsis = "IMAGE",
    .summary = "check the structure and every stored content",
    .options = {},
    .operands = {"IMAGE"},
    .help = [] { return std::string(kHelp); },
    .run = runVerify,
};
