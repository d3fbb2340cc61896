#include <cstdio>
#include <string>

#include "command_line.h"
#include "crypto/file_decrypt.h"
#include "fs/image_format.h"
#include "image_paths.h"
#include "key_check.h"
#include "loaded_image.h"

namespace {

constexpr const char* kHelp =
    "Prints the tree, one node a line in image order: kind (directory, file, or\n"
    "kind N for any other value), content length in bytes, and the path from the\n"
    "root, then the node counts, the deepest level (the root's children are\n"
    "level 1) and the image's length. IMAGE \"-\" is standard input.\n"
    "\n"
    "  --text      also print each regular file's text under it, every line after\n"
    "              \"  | \": README.txt as stored, the others turned back from the\n"
    "              stored form; \"  ! \" says why a content cannot be; an\n"
    "              image made with another key (see 'kestivfs verify --help')\n"
    "              is refused, as its texts would only be noise\n"
    "  --summary   print only the figures\n"
    "\n"
    "Paths are names joined by \"/\"; in a name \"\\\\\" is a backslash, \"\\/\" a\n"
    "slash and \"\\xHH\" a control byte, as 'kestivfs cat' reads them. A path over\n"
    "1024 bytes is shown as \"...\" and its last names.\n";

constexpr std::size_t kMaxShownPath = 1024;

std::string_view shownPath(std::string_view path) {
    if (path.size() <= kMaxShownPath) return path;
    std::string_view tail = path.substr(path.size() - kMaxShownPath);
    std::size_t slash = 0;
    while ((slash = tail.find('/', slash)) != std::string_view::npos && slash > 0 && tail[slash - 1] == '\\')
        ++slash;
    return slash == std::string_view::npos ? tail : tail.substr(slash);
}

void printText(std::string_view text) {
    if (text.empty()) {
        std::fputs("  (empty text)\n", stdout);
        return;
    }
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        std::fputs("  | ", stdout);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
}

void printFileText(const file& node) {
    std::string text;
    const StoredFormFault fault = nodeText(node, text);
    if (fault == StoredFormFault::none)
        printText(text);
    else
        std::printf("  ! cannot be turned back into text: %s\n",
                    storedFormProblem(fault, node.content.size()).c_str());
}

int runList(const CommandLine& line) {
    const bool withText = hasOption(line, "--text"), summaryOnly = hasOption(line, "--summary");
    if (withText && summaryOnly)
        return usageError("list", "--text and --summary exclude each other");

    LoadedImage image = loadImage(line.operands[0]);
    if (!image.root) return 1;
    if (withText) {
        if (const std::string anotherKey =
                anotherKeyProblem(weighContentKey(image.root), imageName(line.operands[0]));
            !anotherKey.empty()) {
            freeTree(image.root);
            reportError(anotherKey);
            return 1;
        }
    }
    std::uint64_t directories = 0, files = 0, others = 0, deepest = 0;
    walkTree(image.root, [&](const file* node, std::string_view path, std::size_t level) {
        if (level > deepest) deepest = level;
        std::string kind;
        if (node->kind == kDirectoryKind) {
            ++directories;
            kind = "directory";
        } else if (node->kind == kRegularFileKind) {
            ++files;
            kind = "file";
        } else {
            ++others;
            kind = "kind " + std::to_string(node->kind);
        }
        if (summaryOnly) return;
        const std::string_view shown = shownPath(path);
        std::printf("%-9s %10zu  %s%.*s\n", kind.c_str(), node->content.size(),
                    shown.size() < path.size() ? "..." : "", static_cast<int>(shown.size()),
                    shown.data());
        if (withText && node->kind == kRegularFileKind) printFileText(*node);
    });
    const std::uint64_t used = imageBytesUsed(image.root);
    freeTree(image.root);

    std::printf("%llu nodes: %llu directories, %llu files",
                static_cast<unsigned long long>(directories + files + others),
                static_cast<unsigned long long>(directories), static_cast<unsigned long long>(files));
    if (others) std::printf(", %llu of other kinds", static_cast<unsigned long long>(others));
    std::printf("\ndeepest level: %llu\ntotal length: %llu bytes",
                static_cast<unsigned long long>(deepest), static_cast<unsigned long long>(used));
    if (image.bytes.size() > used)
        std::printf(" (%llu bytes after the last node are ignored)",
                    static_cast<unsigned long long>(image.bytes.size() - used));
    std::fputc('\n', stdout);
    return 0;
}

}  // namespace

const Command kListCommand = {
    .name = "list",
    .synopsis = "[--text | --summary] IMAGE",
    .summary = "show the tree and its figures",
    .options = {{"--text", ""}, {"--summary", ""}},
    .operands = {"IMAGE"},
    .help = [] { return std::string(kHelp); },
    .run = runList,
};
