#include "maze.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "crypto/content_transform.h"
#include "decoy_text.h"
#include "fs/image_format.h"
#include "image/image_writer.h"
#include "pack_limits.h"
#include "prng.h"

namespace {

constexpr std::string_view kNameCharacters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

struct Builder {
    Maze maze;
    MazeRandom random;
    std::uint32_t depth;
    std::vector<std::uint32_t> openDirectories;  // those that may take children
};

std::uint32_t addNode(Builder& b, std::uint32_t kind, std::uint32_t parent) {
    const auto index = static_cast<std::uint32_t>(b.maze.nodes.size());
    const std::uint32_t level = b.maze.nodes[parent].level + 1;
    b.maze.nodes.push_back({kind, "", "", level, parent, {}});
    b.maze.nodes[parent].children.push_back(index);
    if (kind == kDirectoryKind && level < b.depth) b.openDirectories.push_back(index);
    return index;
}

// A parent for a new random node: half the time the deeper of two draws, so
// that many branches run deep and the goal's is not the only long one.
std::uint32_t randomParent(Builder& b) {
    const std::vector<std::uint32_t>& open = b.openDirectories;
    const std::uint32_t first = open[randomBelow(b.random, open.size())];
    if (randomChance(b.random, 1, 2)) return first;
    const std::uint32_t second = open[randomBelow(b.random, open.size())];
    return b.maze.nodes[second].level > b.maze.nodes[first].level ? second : first;
}

// The directories: a chain to the goal's directory, when the maze runs deeper
// than the goal a second chain branching off it down to the deepest level,
// and the rest placed at random. The chains grow at random moments among the
// others, so their directories are no older, and no busier, than the rest.
// Returns the goal's directory and the deepest chain's last directory.
std::pair<std::uint32_t, std::uint32_t> growDirectories(Builder& b, const MazeOptions& options) {
    const std::uint32_t chain = options.goalDepth - 1;
    const std::uint32_t available = options.directories - 1;
    std::uint32_t branchLevel = 0, extension = 0;
    if (options.depth > options.goalDepth) {
        const std::uint32_t spare = available - chain;
        const std::uint32_t lowest = options.depth - 1 > spare ? options.depth - 1 - spare : 0;
        branchLevel = static_cast<std::uint32_t>(randomBetween(b.random, lowest, chain));
        extension = options.depth - 1 - branchLevel;
    }
    std::uint32_t specialLeft = chain + extension;
    std::vector<std::uint32_t> chainPath{0};  // the goal chain's directories by level
    std::uint32_t extensionEnd = 0, extensionMade = 0;
    for (std::uint32_t left = available; left > 0; --left) {
        if (randomBelow(b.random, left) >= specialLeft) {
            addNode(b, kDirectoryKind, randomParent(b));
            continue;
        }
        --specialLeft;
        const std::uint32_t chainMade = static_cast<std::uint32_t>(chainPath.size() - 1);
        const bool chainCan = chainMade < chain;
        const bool extensionCan = extensionMade < extension && chainMade >= branchLevel;
        if (chainCan && (!extensionCan || randomChance(b.random, 1, 2))) {
            chainPath.push_back(addNode(b, kDirectoryKind, chainPath.back()));
        } else {
            const std::uint32_t parent = extensionMade == 0 ? chainPath[branchLevel] : extensionEnd;
            extensionEnd = addNode(b, kDirectoryKind, parent);
            ++extensionMade;
        }
    }
    return {chainPath.back(), extension > 0 ? extensionEnd : chainPath.back()};
}

void placeFiles(Builder& b, const MazeOptions& options, std::uint32_t goalDirectory,
                std::uint32_t deepestDirectory) {
    Maze& maze = b.maze;
    maze.readme = addNode(b, kRegularFileKind, 0);
    maze.nodes[maze.readme].name = kPlainTextName;
    maze.nodes[maze.readme].text = kReadmeText;
    maze.goal = addNode(b, kRegularFileKind, goalDirectory);
    maze.nodes[maze.goal].text = goalText(options.flag);
    const std::uint32_t decoys = options.files - 3;
    const bool deepDecoy = options.depth > options.goalDepth;
    maze.empty =
        addNode(b, kRegularFileKind, deepDecoy && decoys == 0 ? deepestDirectory : randomParent(b));
    for (std::uint32_t i = 0; i < decoys; ++i)
        addNode(b, kRegularFileKind, deepDecoy && i == 0 ? deepestDirectory : randomParent(b));
}

// Name lengths at random within their ranges, then nudged one byte at a time
// until they add up to the wanted total.
void nameNodes(Builder& b, const MazeOptions& options) {
    std::vector<std::uint32_t> named;
    for (std::uint32_t i = 1; i < b.maze.nodes.size(); ++i)
        if (i != b.maze.readme) named.push_back(i);
    auto range = [&](std::uint32_t i) {
        return b.maze.nodes[i].kind == kDirectoryKind ? std::pair{kDirectoryNameMin, kDirectoryNameMax}
                                                      : std::pair{kFileNameMin, kFileNameMax};
    };
    std::vector<std::size_t> lengths;
    std::uint64_t total = 0;
    for (std::uint32_t i : named) {
        const auto [low, high] = range(i);
        lengths.push_back(randomBetween(b.random, low, high));
        total += lengths.back();
    }
    while (options.nameBytes != 0 && total != options.nameBytes) {
        const std::size_t at = randomBelow(b.random, named.size());
        const auto [low, high] = range(named[at]);
        if (total < options.nameBytes && lengths[at] < high) {
            ++lengths[at];
            ++total;
        } else if (total > options.nameBytes && lengths[at] > low) {
            --lengths[at];
            --total;
        }
    }
    // Unique regardless of letter case, so that no two names read alike.
    std::unordered_set<std::string> taken;
    for (std::size_t k = 0; k < named.size(); ++k) {
        std::string name(lengths[k], ' ');
        std::string folded;
        do {
            for (char& c : name) c = kNameCharacters[randomBelow(b.random, kNameCharacters.size())];
            folded = name;
            for (char& c : folded)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } while (!taken.insert(folded).second);
        b.maze.nodes[named[k]].name = std::move(name);
    }
}

void writeDecoys(Builder& b, const MazeOptions& options) {
    Maze& maze = b.maze;
    std::unordered_set<std::string> seen;
    for (std::uint32_t i = 0; i < maze.nodes.size(); ++i) {
        if (maze.nodes[i].kind != kRegularFileKind || i == maze.readme || i == maze.goal || i == maze.empty)
            continue;
        do maze.nodes[i].text = decoyText(b.random, options.decoySize - 16, options.decoySize - 1);
        while (!seen.insert(maze.nodes[i].text).second);
    }
}

void shuffleChildren(Builder& b) {
    for (MazeNode& node : b.maze.nodes)
        for (std::size_t i = node.children.size(); i > 1; --i)
            std::swap(node.children[i - 1], node.children[randomBelow(b.random, i)]);
}

}  // namespace

extern constexpr std::string_view kReadmeText =
    "Welcome to kestiv's terminal.\n"
    "\n"
    "You stand at the root of a maze: thousands of directories, most\n"
    "of them dead ends, and deep inside one goal file. Find it.\n"
    "\n"
    "  dir        list this directory\n"
    "  cd NAME    enter a directory\n"
    "  cd ..      go back up\n"
    "  cd         return to the root\n"
    "  type NAME  show a file\n"
    "  cls        clear the screen\n"
    "  exit       leave\n"
    "\n"
    "Mind your typos.\n";

// The bounds that the build checks an author's settings against, held to the
// image's layout: a node record is kMinNodeBytes and its name; the root is
// named "/", README.txt is stored as its text and the empty file as one pad.
static_assert(kMaxMazeImageBytes == kMaxImageBytes);
static_assert(kMazeImageBaseBytes == kImageHeaderBytes + (kMinNodeBytes + 1) +
                                         (kMinNodeBytes + kPlainTextName.size() + kReadmeText.size()) +
                                         storedBytesOf(0) + kGoalStoredBytes);
static_assert(kMazeDirectoryMostBytes == kMinNodeBytes + kDirectoryNameMax);
static_assert(kMazeFileMostBytes == kMinNodeBytes + kFileNameMax);

std::string goalText(std::string_view flag) {
    std::string text(kGoalWording);
    text.append(flag);
    text += '\n';
    // A short flag gets a rule under it, so that the file keeps its size.
    if (text.size() < kGoalMinTextBytes) {
        const std::size_t fill = std::max<std::size_t>(2, kGoalMinTextBytes - text.size());
        text += '\n';
        text.append(fill - 2, '~');
        text += '\n';
    }
    return text;
}

std::string mazeOptionsProblem(const MazeOptions& o) {
    if (o.directories < 1 || o.directories > kMaxMazeCount)
        return "the number of directories (the root included) must be 1 to " +
               std::to_string(kMaxMazeCount);
    if (o.files < kMinMazeFiles || o.files > kMaxMazeCount)
        return "the number of files (README.txt, the goal and the empty file included) must be " +
               std::to_string(kMinMazeFiles) + " to " + std::to_string(kMaxMazeCount);
    if (o.depth < kMinMazeDepth)
        return "the depth must be at least " + std::to_string(kMinMazeDepth);
    if (o.goalDepth < 1 || o.goalDepth > o.depth)
        return "the goal depth must be 1 to the depth (" + std::to_string(o.depth) + ")";
    if (o.directories < o.depth)
        return "a depth of " + std::to_string(o.depth) + " needs at least " +
               std::to_string(o.depth) + " directories (the root included)";
    if (o.decoySize % kDecoySizeStep != 0 || o.decoySize < kMinDecoySize || o.decoySize > kMaxDecoySize)
        return "the decoy size must be a multiple of " + std::to_string(kDecoySizeStep) + " from " +
               std::to_string(kMinDecoySize) + " to " + std::to_string(kMaxDecoySize);
    if (o.flag.empty()) return "the flag must not be empty";
    if (goalText(o.flag).size() > kGoalMaxTextBytes)
        return "the flag is " + std::to_string(o.flag.size()) + " bytes; at most " +
               std::to_string(kGoalMaxTextBytes - kGoalWording.size() - 1) + " fit in the goal file";
    const std::uint64_t dirNames = o.directories - 1, fileNames = o.files - 1;
    const std::uint64_t leastNames = dirNames * kDirectoryNameMin + fileNames * kFileNameMin;
    const std::uint64_t mostNames = dirNames * kDirectoryNameMax + fileNames * kFileNameMax;
    if (o.nameBytes != 0 && (o.nameBytes < leastNames || o.nameBytes > mostNames))
        return "names cannot add up to " + std::to_string(o.nameBytes) + " bytes";
    const std::uint64_t largest = kMazeImageBaseBytes + dirNames * kMazeDirectoryMostBytes +
                                  fileNames * kMazeFileMostBytes +
                                  (o.files - 3) * std::uint64_t{o.decoySize};
    if (largest > kMaxMazeImageBytes)
        return "the maze could take " + std::to_string(largest) + " bytes; an image must stay under 4 GiB";
    return "";
}

Maze generateMaze(const MazeOptions& options) {
    Builder b{{}, seedRandom(options.seed), options.depth, {0}};
    b.maze.nodes.reserve(std::size_t{options.directories} + options.files);
    b.maze.nodes.push_back({kDirectoryKind, "/", "", 0, 0, {}});
    const auto [goalDirectory, deepestDirectory] = growDirectories(b, options);
    placeFiles(b, options, goalDirectory, deepestDirectory);
    nameNodes(b, options);
    writeDecoys(b, options);
    shuffleChildren(b);
    return std::move(b.maze);
}

std::string mazeImage(const Maze& maze) {
    std::string image;
    appendImageHeader(image);
    std::vector<std::uint32_t> pending{0};
    while (!pending.empty()) {
        const MazeNode& node = maze.nodes[pending.back()];
        pending.pop_back();
        const auto childCount = static_cast<std::uint32_t>(node.children.size());
        if (node.kind != kRegularFileKind || isPlainTextName(node.name))
            appendNode(image, node.kind, node.name, node.text, childCount);
        else
            appendNode(image, node.kind, node.name, storeContent(node.text), childCount);
        pending.insert(pending.end(), node.children.rbegin(), node.children.rend());
    }
    return image;
}
