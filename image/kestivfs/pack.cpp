#include "pack.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "crypto/content_transform.h"
#include "fs/image_format.h"
#include "image/atomic_output.h"
#include "image/image_writer.h"
#include "pack_limits.h"
#include "typeable_name.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFlushBytes = 1 << 20;
using Clock = std::chrono::steady_clock;

struct Entry {
    fs::path path;
    std::string name;
    bool directory;
};

struct Packer {
    PackOptions options;
    AtomicOutput output;
    std::string buffer;
    std::uint64_t nodes = 0, bytes = 0;
    Clock::time_point start = Clock::now(), lastProgress = start;
    bool progressShown = false;
    std::uint64_t untypeable = 0;
};

std::string bytesOf(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool fail(const fs::path& path, const std::string& message) {
    std::fprintf(stderr, "kestivfs: %s: %s\n", bytesOf(path).c_str(), message.c_str());
    return false;
}

void note(const fs::path& path, const std::string& message) {
    std::fprintf(stderr, "kestivfs: skipping %s: %s\n", bytesOf(path).c_str(), message.c_str());
}

void warn(const fs::path& path, const std::string& message) {
    std::fprintf(stderr, "kestivfs: warning: %s: %s\n", bytesOf(path).c_str(), message.c_str());
}

// Names each entry whose name a player cannot type: a warning when allowed, a
// problem counted towards refusing the folder otherwise.
void judgeName(Packer& p, const Entry& entry) {
    const std::string reason = untypeableReason(entry.name);
    if (reason.empty()) return;
    const std::string shown = shownBytes(bytesOf(entry.path));
    const char* lead = p.options.allowUntypeable ? "warning: " : "";
    if (!p.options.allowUntypeable) ++p.untypeable;
    std::fprintf(stderr, "kestivfs: %s%s: a name a player cannot type: %s\n", lead, shown.c_str(),
                 reason.c_str());
}

// What a player meets first: the top of the maze, and its README.txt, which
// the container's probe also lists the top to find.
void judgeTop(const fs::path& folder, const std::vector<Entry>& entries) {
    if (entries.empty()) warn(folder, "the folder is empty: the maze has nothing in it");
    const bool hasReadme = std::any_of(entries.begin(), entries.end(), [](const Entry& entry) {
        return !entry.directory && isPlainTextName(entry.name);
    });
    if (!hasReadme)
        warn(folder,
             "no README.txt at the top: players look for one first, and the container's "
             "readiness probe needs it");
}

std::string typeWord(fs::file_type type) {
    switch (type) {
    case fs::file_type::fifo: return "fifo";
    case fs::file_type::socket: return "socket";
    case fs::file_type::block: return "block device";
    case fs::file_type::character: return "character device";
    case fs::file_type::symlink: return "symbolic link";
    default: return "special file";
    }
}

// True when the folder that link leads to holds folder, so that following
// it would never end.
bool leadsToAncestor(const fs::path& link, const fs::path& folder) {
    std::error_code error;
    const fs::path target = fs::canonical(link, error);
    const fs::path here = fs::canonical(folder, error);
    if (error) return false;
    return std::mismatch(target.begin(), target.end(), here.begin(), here.end()).first == target.end();
}

// The entries of folder that go into the image, in byte order of their names;
// entries are judged in that order too, so the messages come out the same on
// every run.
bool listFolder(Packer& p, const fs::path& folder, std::vector<Entry>& entries) {
    entries.clear();
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return fail(folder, "cannot read the folder: " + error.message());
    for (; it != fs::directory_iterator(); it.increment(error))
        entries.push_back({it->path(), bytesOf(it->path().filename()), false});
    if (error) return fail(folder, "cannot read the folder: " + error.message());
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });

    std::size_t kept = 0;
    for (Entry& entry : entries) {
        const fs::path& path = entry.path;
        fs::file_status status = fs::symlink_status(path, error);
        if (error) return fail(path, "cannot tell what it is: " + error.message());
        bool followed = false;
        if (fs::is_symlink(status)) {
            if (!p.options.followSymlinks) {
                if (p.options.skipSpecial) {
                    note(path, "a symbolic link");
                    continue;
                }
                return fail(path,
                            "a symbolic link; --follow-symlinks packs what it leads to, "
                            "--skip-special leaves it out");
            }
            status = fs::status(path, error);
            if (error) return fail(path, "a symbolic link that leads nowhere: " + error.message());
            followed = true;
        }
        if (fs::is_directory(status)) {
            if (followed && leadsToAncestor(path, folder))
                return fail(path, "a symbolic link to a folder that holds it; following it never ends");
            entry.directory = true;
        } else if (!fs::is_regular_file(status)) {
            if (!p.options.skipSpecial)
                return fail(path, "a " + typeWord(status.type()) +
                                      ", which an image cannot hold; --skip-special leaves it out");
            note(path, "a " + typeWord(status.type()));
            continue;
        }
        judgeName(p, entry);
        if (&entries[kept] != &entry) entries[kept] = std::move(entry);
        ++kept;
    }
    entries.resize(kept);
    return true;
}

bool readWhole(const fs::path& path, std::string& content) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) return fail(path, "cannot read: " + error.message());
    if (const std::string problem = nodeLimitProblem(0, storedBytesOf(size), 0); !problem.empty())
        return fail(path, problem);
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(path, std::string("cannot read: ") + std::strerror(errno));
    content.clear();
    content.reserve(static_cast<std::size_t>(size));
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) content.append(chunk, in.gcount());
    if (in.bad()) return fail(path, "cannot read: an input error");
    return true;
}

void flush(Packer& p) {
    writeAtomicOutput(p.output, p.buffer);
    p.bytes += p.buffer.size();
    p.buffer.clear();
}

void showProgress(Packer& p, bool last) {
    if (!p.options.showProgress) return;
    const Clock::time_point now = Clock::now();
    if (!last && (now - p.start < std::chrono::seconds(1) ||
                  now - p.lastProgress < std::chrono::milliseconds(200)))
        return;
    if (last && !p.progressShown) return;
    p.lastProgress = now;
    p.progressShown = true;
    std::fprintf(stderr, "\rpacking: %llu entries, %.1f MB%s", static_cast<unsigned long long>(p.nodes),
                 static_cast<double>(p.bytes + p.buffer.size()) / 1e6, last ? "\n" : "");
}

bool packNodes(Packer& p, const fs::path& folder) {
    std::vector<Entry> pending{{folder, "/", true}};
    std::vector<Entry> entries;
    std::string content;
    while (!pending.empty()) {
        const Entry entry = std::move(pending.back());
        pending.pop_back();
        if (entry.directory) {
            if (!listFolder(p, entry.path, entries)) return false;
            if (p.nodes == 0) judgeTop(folder, entries);
            if (const std::string problem = nodeLimitProblem(entry.name.size(), 0, entries.size());
                !problem.empty())
                return fail(entry.path, problem);
            appendNode(p.buffer, kDirectoryKind, entry.name, "",
                       static_cast<std::uint32_t>(entries.size()));
            for (auto it = entries.rbegin(); it != entries.rend(); ++it)
                pending.push_back(std::move(*it));
        } else {
            if (!readWhole(entry.path, content)) return false;
            if (!isPlainTextName(entry.name)) content = storeContent(content);
            if (const std::string problem = nodeLimitProblem(entry.name.size(), content.size(), 0);
                !problem.empty())
                return fail(entry.path, problem);
            if (content.size() >= kFlushBytes) flush(p);
            appendNode(p.buffer, kRegularFileKind, entry.name, content, 0);
        }
        ++p.nodes;
        if (p.buffer.size() >= kFlushBytes) flush(p);
        if (p.nodes % 64 == 0 || p.buffer.empty()) showProgress(p, false);
    }
    flush(p);
    if (const std::string problem = imageLimitProblem(p.bytes); !problem.empty())
        return fail(folder, problem);
    if (p.untypeable)
        return fail(folder, std::to_string(p.untypeable) + (p.untypeable == 1 ? " name" : " names") +
                                " a player cannot type; --allow-untypeable packs them anyway");
    return true;
}

}  // namespace

bool packFolder(const fs::path& folder, const std::string& output, const PackOptions& options) {
    std::error_code error;
    if (!fs::exists(folder, error))
        return fail(folder, error ? "cannot tell what it is: " + error.message() : "does not exist");
    if (!fs::is_directory(folder, error)) return fail(folder, "not a folder");
    const fs::path outputPath = fs::weakly_canonical(fs::absolute(output), error);
    const fs::path root = fs::canonical(folder, error);
    if (!error && std::mismatch(root.begin(), root.end(), outputPath.begin(), outputPath.end()).first ==
                      root.end())
        return fail(output, "the image cannot be written inside the folder it packs");

    Packer p;
    p.options = options;
    if (!openAtomicOutput(p.output, output))
        return fail(output, std::string("cannot create: ") + std::strerror(errno));
    appendImageHeader(p.buffer);
    const bool packed = packNodes(p, folder);
    showProgress(p, true);
    if (!packed) {
        abandonAtomicOutput(p.output);
        return false;
    }
    if (!commitAtomicOutput(p.output)) return fail(output, "cannot write the image");
    return true;
}
