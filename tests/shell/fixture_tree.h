// Small images for the terminal's tests, described as trees.
#pragma once

#include <cstdint>
#include <string_view>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct FixtureNode {
    std::uint32_t kind;
    std::string name;
    std::string content;  // as stored in the image
    std::vector<FixtureNode> children;
};

FixtureNode directory(std::string name, std::vector<FixtureNode> children = {});
// A regular file whose text is stored in the stored form.
FixtureNode storedFile(std::string name, std::string_view text);
// A regular file whose bytes are stored as given ("README.txt", or a broken stored form).
FixtureNode rawFile(std::string name, std::string bytes, std::vector<FixtureNode> children = {});

// The image of a tree: header with version, then the nodes in pre-order.
std::string imageOf(const FixtureNode& root, std::int64_t version = 0);

// Bytes that the content transform turns into exactly block (16 bytes, no pad
// of its own), to build contents whose last byte breaks or tests the pad rules.
std::string storedBlock(std::string_view block);

// A chain of directories all called name, levels deep below the root, with a
// stored file "leaf.txt" holding leafText at the bottom: deep enough to show
// any recursion on depth.
std::string chainImage(int levels, std::string_view name, std::string_view leafText);

// Every fixture image by name, as the terminal tests link them.
std::vector<std::pair<std::string, std::string>> fixtureImages();
