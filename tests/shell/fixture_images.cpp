#include "fixture_tree.h"

#include "crypto/content_transform.h"
#include "fs/little_endian.h"
#include "image/image_writer.h"

namespace {

// The tree most shell tests walk: every kind of name and node the rules care about.
FixtureNode shellTree() {
    return directory(
        "/", {
                 directory("alpha", {directory("beta", {directory("gamma")}),
                                     rawFile("README.txt", "Alpha readme.\n"),
                                     storedFile("secret.txt", "Deeper secret")}),
                 rawFile("README.txt", std::string("Welcome to the fixture.\r\nSecond line\0 with NUL\n", 46)),
                 storedFile("note.txt", "A note.\nTwo lines."),
                 directory("..", {directory("inside")}),
                 directory("", {storedFile("blank-child.txt", "x")}),
                 directory("dup", {directory("first")}),
                 directory("dup", {directory("second")}),
                 storedFile("empty.txt", ""),
                 {7, "odd", "raw", {}},
                 directory("with space", {directory("x")}),
                 rawFile("plain.bin", storeContent("plain"), {directory("under")}),
                 storedFile("binary.dat", std::string("\x00\x01\x1b[31m\xff\r\n\x7f", 10)),
             });
}

// Contents the content transform cannot or must not take at face value.
FixtureNode badContentTree() {
    std::string padPastEnd(16, 'p');
    padPastEnd[15] = '\x11';
    std::string padZero = "sixteen bytes!!";
    padZero.push_back('\0');
    std::string padOne = "fifteen bytes..";
    padOne.push_back('\x01');
    return directory("/", {
                              rawFile("empty-content", ""),
                              rawFile("partial-block", storeContent("abc") + "x"),
                              rawFile("pad-past-end", storedBlock(padPastEnd)),
                              rawFile("pad-zero", storedBlock(padZero)),
                              rawFile("pad-one", storedBlock(padOne)),
                          });
}

FixtureNode bigContentTree() {
    std::string text;
    for (int line = 0; text.size() < 70'000; ++line) text += "line " + std::to_string(line) + " of a long file\n";
    return directory("/", {storedFile("big.txt", text), directory("after", {directory("inside")})});
}

std::string withChildCount(std::string image, std::size_t countOffset, std::uint32_t count) {
    std::string bytes;
    appendLittleEndian(bytes, count, 4);
    image.replace(countOffset, 4, bytes);
    return image;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> fixtureImages() {
    const std::string small = imageOf(directory("/", {directory("a"), directory("b")}));
    // The root record of small: header 16, kind 4, name length 2, "/" 1, content length 4.
    const std::size_t rootCount = 16 + 4 + 2 + 1 + 4;
    std::string badMagic = small;
    badMagic[7] = 's';
    return {
        {"shell", imageOf(shellTree())},
        {"empty", imageOf(directory("/"))},
        {"version-negative", imageOf(directory("/", {directory("kept")}), -1)},
        {"version-one", imageOf(directory("/", {directory("kept")}), 1)},
        {"bad-magic", badMagic},
        {"no-bytes", ""},
        {"cut-in-magic", small.substr(0, 5)},
        {"cut-in-version", small.substr(0, 12)},
        {"header-only", small.substr(0, 16)},
        {"cut-in-root-record", small.substr(0, 20)},
        {"cut-before-root-count", small.substr(0, rootCount)},
        {"cut-in-child-name", small.substr(0, rootCount + 4 + 4 + 2)},
        {"cut-before-last-count", small.substr(0, small.size() - 1)},
        {"count-past-end", withChildCount(small, rootCount, 3)},
        {"huge-count", withChildCount(small.substr(0, rootCount + 4), rootCount, 4'000'000'000u)},
        {"trailing-bytes", small + "trailing garbage"},
        {"cut-in-content", imageOf(directory("/", {storedFile("f", "0123456789abcdef0123")})).substr(0, 60)},
        {"bad-contents", imageOf(badContentTree())},
        {"big-content", imageOf(bigContentTree())},
        {"deep-chain", chainImage(5000, "n", "bottom")},
    };
}
