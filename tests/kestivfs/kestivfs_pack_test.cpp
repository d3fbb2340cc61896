// kestivfs pack as a process: a folder made here becomes an image that list,
// cat and verify read back, and everything an image cannot hold is refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "kestivfs_run.h"

namespace fs = std::filesystem;

namespace {

std::string binaryBytes() {
    std::string bytes;
    for (int round = 0; round < 3; ++round)
        for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    return bytes;
}

// Nested directories, a README.txt, an empty file, a binary file, names with
// spaces and an empty directory; "B" sorts before "README.txt" and "a dir".
void makeSampleFolder(const std::string& root) {
    fs::create_directories(root + "/a dir/nested one");
    fs::create_directories(root + "/void");
    writeBytes(root + "/README.txt", "Read me first.\n");
    writeBytes(root + "/a dir/nested one/deep file.txt", "deep\n");
    writeBytes(root + "/empty", "");
    writeBytes(root + "/binary.bin", binaryBytes());
    writeBytes(root + "/B", "b");
}

TEST(Pack, RoundTripsAFolderThroughListAndCat) {
    ScratchFolder scratch;
    const std::string folder = scratch / "sample", image = scratch / "sample.img";
    makeSampleFolder(folder);
    const ProcessResult pack = kestivfs({"pack", folder, "-o", image});
    ASSERT_EQ(pack.status, 0) << pack.err;
    EXPECT_EQ(pack.out, "");
    EXPECT_EQ(pack.err, "");
    EXPECT_FALSE(temporaryLeftBeside(image));

    const ProcessResult list = kestivfs({"list", image});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out,
              "directory          0  /\n"
              "file              16  /B\n"
              "file              15  /README.txt\n"
              "directory          0  /a dir\n"
              "directory          0  /a dir/nested one\n"
              "file              16  /a dir/nested one/deep file.txt\n"
              "file             784  /binary.bin\n"
              "file              16  /empty\n"
              "directory          0  /void\n"
              "9 nodes: 4 directories, 5 files\n"
              "deepest level: 3\n"
              "total length: 1048 bytes\n");
    EXPECT_EQ(readBytes(image).size(), 1048u);

    const struct {
        const char* path;
        std::string text;
    } files[] = {
        {"B", "b"},
        {"README.txt", "Read me first.\n"},
        {"a dir/nested one/deep file.txt", "deep\n"},
        {"/binary.bin", binaryBytes()},
        {"empty", ""},
    };
    for (const auto& f : files) {
        const ProcessResult cat = kestivfs({"cat", image, f.path});
        EXPECT_EQ(cat.status, 0) << f.path << ": " << cat.err;
        EXPECT_TRUE(cat.out == f.text) << f.path;
    }
    const std::string stored = readBytes(image);
    EXPECT_NE(stored.find("Read me first.\n"), std::string::npos) << "README.txt is stored plain";
    EXPECT_EQ(stored.find("deep\n"), std::string::npos) << "other files are stored transformed";

    const ProcessResult verify = kestivfs({"verify", image});
    EXPECT_EQ(verify.status, 0);
    EXPECT_EQ(verify.out, "ok: 9 nodes, 4 stored files turn back into text\n");
}

TEST(Pack, TheSameFolderGivesTheSameBytes) {
    ScratchFolder scratch;
    const std::string folder = scratch / "sample";
    makeSampleFolder(folder);
    ASSERT_EQ(kestivfs({"pack", folder, "-o", scratch / "one.img"}).status, 0);
    fs::last_write_time(folder + "/B", fs::file_time_type::clock::now() - std::chrono::hours(5));
    ASSERT_EQ(kestivfs({"pack", folder, "-o", scratch / "two.img"}).status, 0);
    EXPECT_TRUE(readBytes(scratch / "one.img") == readBytes(scratch / "two.img"));
}

TEST(Pack, ReplacesAnExistingImageWhole) {
    ScratchFolder scratch;
    const std::string folder = scratch / "sample", image = scratch / "out.img";
    makeSampleFolder(folder);
    writeBytes(image, std::string(5'000, 'x'));
    ASSERT_EQ(kestivfs({"pack", folder, "-o", image}).status, 0);
    EXPECT_EQ(readBytes(image).size(), 1048u);
}

struct RefusalCase {
    const char* label;
    void (*make)(const std::string& folder);
    std::vector<std::string> options;
    std::string entry;    // the path named in the message, below the folder
    std::string problem;  // how the message goes on (a prefix)
};

class PackRefuses : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(PackRefuses, NamesThePathAndLeavesTheOutputAlone) {
    const RefusalCase& c = GetParam();
    ScratchFolder scratch;
    const std::string folder = scratch / "f", image = scratch / "out.img";
    makeSampleFolder(folder);
    c.make(folder);
    writeBytes(image, "previous image");
    std::vector<std::string> args{"pack"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {folder, "-o", image});
    const ProcessResult pack = kestivfs(args);
    EXPECT_EQ(pack.status, 1);
    EXPECT_EQ(pack.out, "");
    const std::string start = "kestivfs: " + folder + "/" + c.entry + ": " + c.problem;
    EXPECT_EQ(pack.err.rfind(start, 0), 0u) << pack.err;
    EXPECT_EQ(std::count(pack.err.begin(), pack.err.end(), '\n'), 1) << pack.err;
    EXPECT_EQ(readBytes(image), "previous image");
    EXPECT_FALSE(temporaryLeftBeside(image));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, PackRefuses,
    ::testing::Values(
        RefusalCase{"symlink",
                    [](const std::string& f) { fs::create_symlink("README.txt", f + "/link"); },
                    {},
                    "link",
                    "a symbolic link; --follow-symlinks packs what it leads to, --skip-special "
                    "leaves it out\n"},
        RefusalCase{
            "fifo",
            [](const std::string& f) { ASSERT_EQ(mkfifo((f + "/a dir/pipe").c_str(), 0644), 0); },
            {},
            "a dir/pipe",
            "a fifo, which an image cannot hold; --skip-special leaves it out\n"},
        RefusalCase{"dangling symlink followed",
                    [](const std::string& f) { fs::create_symlink("nowhere", f + "/void/link"); },
                    {"--follow-symlinks"},
                    "void/link",
                    "a symbolic link that leads nowhere: "},
        RefusalCase{"symlink loop followed",
                    [](const std::string& f) { fs::create_directory_symlink("..", f + "/a dir/up"); },
                    {"--follow-symlinks"},
                    "a dir/up",
                    "a symbolic link to a folder that holds it; following it never ends\n"},
        RefusalCase{"file of 2 GiB",
                    [](const std::string& f) {
                        // Sparse: no disk is used, the size is what counts.
                        writeBytes(f + "/huge", "");
                        fs::resize_file(f + "/huge", std::uintmax_t{1} << 31);
                    },
                    {},
                    "huge",
                    "its content would take 2147483664 bytes; an image holds at most 2147483647"}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST(Pack, SkipsOrFollowsWhenAsked) {
    ScratchFolder scratch;
    const std::string folder = scratch / "f";
    makeSampleFolder(folder);
    fs::create_symlink("README.txt", folder + "/link");
    fs::create_directory_symlink("a dir", folder + "/dir link");
    ASSERT_EQ(mkfifo((folder + "/pipe").c_str(), 0644), 0);

    const ProcessResult skipped = kestivfs({"pack", "--skip-special", folder, "-o", scratch / "s.img"});
    EXPECT_EQ(skipped.status, 0);
    EXPECT_EQ(skipped.err, "kestivfs: skipping " + folder +
                               "/dir link: a symbolic link\n"
                               "kestivfs: skipping " +
                               folder +
                               "/link: a symbolic link\n"
                               "kestivfs: skipping " +
                               folder + "/pipe: a fifo\n");
    const ProcessResult packed = kestivfs({"pack", folder, "-o", scratch / "plain.img"});
    fs::remove(folder + "/pipe");
    ASSERT_EQ(kestivfs({"pack", "--skip-special", folder, "-o", scratch / "plain.img"}).status, 0);
    EXPECT_TRUE(readBytes(scratch / "s.img") == readBytes(scratch / "plain.img"));

    const ProcessResult followed =
        kestivfs({"pack", "--follow-symlinks", folder, "-o", scratch / "l.img"});
    EXPECT_EQ(followed.status, 0) << followed.err;
    EXPECT_EQ(kestivfs({"cat", scratch / "l.img", "link"}).out, "Read me first.\n");
    EXPECT_EQ(kestivfs({"cat", scratch / "l.img", "dir link/nested one/deep file.txt"}).out, "deep\n");
    EXPECT_EQ(packed.status, 1);
}

TEST(Pack, RefusesAnUnreadableFile) {
    ScratchFolder scratch;
    const std::string folder = scratch / "f", image = scratch / "out.img";
    makeSampleFolder(folder);
    writeBytes(folder + "/secret", "hidden");
    fs::permissions(folder + "/secret", fs::perms::none);
    std::string program = KESTIVFS_PROGRAM;
    std::vector<std::string> args{"pack", folder, "-o", image};
    if (geteuid() == 0) {
        // Root reads any file, so the pack runs as nobody, who cannot.
        if (!exists("/usr/bin/setpriv"))
            GTEST_SKIP() << "running as root without setpriv to drop to an unprivileged user";
        fs::permissions(scratch.path, fs::perms::all);
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", program});
        program = "/usr/bin/setpriv";
    }
    const ProcessResult pack = runProcess(program, args, "");
    EXPECT_EQ(pack.status, 1);
    EXPECT_EQ(pack.err, "kestivfs: " + folder + "/secret: cannot read: Permission denied\n");
    EXPECT_FALSE(exists(image));
    EXPECT_FALSE(temporaryLeftBeside(image));
}

// A pipe (or a device such as /dev/null) takes the image as it is written;
// replacing it with a file would break whatever else uses it.
TEST(Pack, WritesIntoAPipeAndLeavesItAPipe) {
    ScratchFolder scratch;
    const std::string folder = scratch / "sample", image = scratch / "sample.img",
                      pipe = scratch / "pipe";
    makeSampleFolder(folder);
    ASSERT_EQ(kestivfs({"pack", folder, "-o", image}).status, 0);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Opened for reading first, so that the write does not wait for a reader;
    // the image fits in the pipe's buffer.
    const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const ProcessResult pack = kestivfs({"pack", folder, "-o", pipe});
    EXPECT_EQ(pack.status, 0) << pack.err;
    std::string received(4096, '\0');
    const ssize_t count = read(reader, received.data(), received.size());
    close(reader);
    received.resize(count < 0 ? 0 : static_cast<std::size_t>(count));
    EXPECT_EQ(received, readBytes(image));
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_FALSE(temporaryLeftBeside(pipe));
}

// In a shared folder such as /tmp, anyone can place a link where a temporary
// file of a guessable name would go.
TEST(Pack, WritesThroughNoLinkPlacedBesideTheImage) {
    ScratchFolder scratch;
    const std::string folder = scratch / "sample", image = scratch / "sample.img",
                      victim = scratch / "victim";
    makeSampleFolder(folder);
    writeBytes(victim, "not to be touched");
    fs::create_symlink(victim, image + ".partial");
    const ProcessResult pack = kestivfs({"pack", folder, "-o", image});
    EXPECT_EQ(pack.status, 0) << pack.err;
    EXPECT_EQ(readBytes(victim), "not to be touched");
    EXPECT_EQ(readBytes(image).size(), 1048u);
}

TEST(Pack, RefusesAnOutputInsideTheFolderAndAMissingFolder) {
    ScratchFolder scratch;
    const std::string folder = scratch / "f";
    makeSampleFolder(folder);
    const ProcessResult inside = kestivfs({"pack", folder, "-o", folder + "/a dir/x.img"});
    EXPECT_EQ(inside.status, 1);
    EXPECT_EQ(inside.err, "kestivfs: " + folder +
                              "/a dir/x.img: the image cannot be written inside "
                              "the folder it packs\n");
    const ProcessResult missing = kestivfs({"pack", scratch / "none", "-o", scratch / "x.img"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "kestivfs: " + scratch / "none" + ": does not exist\n");
    const ProcessResult file = kestivfs({"pack", folder + "/README.txt", "-o", scratch / "x.img"});
    EXPECT_EQ(file.status, 1);
    EXPECT_EQ(file.err, "kestivfs: " + folder + "/README.txt: not a folder\n");
    EXPECT_FALSE(exists(scratch / "x.img"));
}

// Each name a player cannot type is named, escaped, and the folder refused
// unless --allow-untypeable packs it with the same lines as warnings.
TEST(Pack, NamesAPlayerCannotTypeAreRefusedOrWarnedOf) {
    const struct {
        const char* label;
        std::string name, said;  // said: the message's path below the folder, and its reason
    } cases[] = {
        {"control byte", "Icon\r", "Icon\\x0d: a name a player cannot type: it holds the control byte 0x0d"},
        {"escape sequence", "\x1b[2Jgone",
         "\\x1b[2Jgone: a name a player cannot type: it holds the control byte 0x1b"},
        {"Latin-1", "caf\xe9",
         "caf\\xe9: a name a player cannot type: it is not valid UTF-8 (byte 0xe9 at offset 3)"},
        {"trailing space", "crate ",
         "crate : a name a player cannot type: it ends with a space, which dir's listing does not show"},
        {"leading space", " crate", " crate: a name a player cannot type: it begins with a space"},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        const std::string folder = scratch / "f", image = scratch / "out.img";
        makeSampleFolder(folder);
        writeBytes(folder + "/a dir/" + c.name, "x");
        writeBytes(image, "previous image");
        const std::string line = folder + "/a dir/" + c.said + "\n";

        const ProcessResult refused = kestivfs({"pack", folder, "-o", image});
        EXPECT_EQ(refused.status, 1) << c.label;
        EXPECT_EQ(refused.err, "kestivfs: " + line + "kestivfs: " + folder +
                                   ": 1 name a player cannot type; --allow-untypeable packs them anyway\n")
            << c.label;
        EXPECT_EQ(readBytes(image), "previous image") << c.label;
        EXPECT_FALSE(temporaryLeftBeside(image)) << c.label;

        const ProcessResult allowed = kestivfs({"pack", "--allow-untypeable", folder, "-o", image});
        EXPECT_EQ(allowed.status, 0) << c.label;
        EXPECT_EQ(allowed.err, "kestivfs: warning: " + line) << c.label;
        EXPECT_EQ(kestivfs({"cat", image, "a dir/" + c.said.substr(0, c.said.find(": "))}).out, "x")
            << c.label;
    }
}

TEST(Pack, EveryUntypeableNameIsNamedBeforeTheFolderIsRefused) {
    ScratchFolder scratch;
    const std::string folder = scratch / "f";
    makeSampleFolder(folder);
    fs::create_directories(folder + "/tab\there");
    writeBytes(folder + "/tab\there/new\nline", "x");
    const ProcessResult refused = kestivfs({"pack", folder, "-o", scratch / "out.img"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              "kestivfs: " + folder +
                  "/tab\\x09here: a name a player cannot type: it holds the control byte 0x09\n"
                  "kestivfs: " +
                  folder +
                  "/tab\\x09here/new\\x0aline: a name a player cannot type: it holds the "
                  "control byte 0x0a\n"
                  "kestivfs: " +
                  folder + ": 2 names a player cannot type; --allow-untypeable packs them anyway\n");
    EXPECT_FALSE(exists(scratch / "out.img"));
}

// What a player meets first: an empty maze, or one without README.txt at its
// top, which the container's probe also needs, is packed with a warning.
TEST(Pack, WarnsOfAnEmptyFolderAndOfNoReadmeAtTheTop) {
    const std::string empty = "the folder is empty: the maze has nothing in it";
    const std::string noReadme =
        "no README.txt at the top: players look for one first, and the container's readiness "
        "probe needs it";
    const struct {
        const char* label;
        void (*make)(const std::string& folder);
        std::vector<std::string> warnings;  // each after "kestivfs: warning: FOLDER: "
    } cases[] = {
        {"empty", [](const std::string& f) { fs::create_directories(f); }, {empty, noReadme}},
        {"README.txt only below the top",
         [](const std::string& f) {
             fs::create_directories(f + "/cellar");
             writeBytes(f + "/cellar/README.txt", "below\n");
         },
         {noReadme}},
        {"README.txt a folder",
         [](const std::string& f) { fs::create_directories(f + "/README.txt"); },
         {noReadme}},
        {"readme in other letters",
         [](const std::string& f) {
             fs::create_directories(f);
             writeBytes(f + "/readme.txt", "hi\n");
         },
         {noReadme}},
        {"README.txt at the top",
         [](const std::string& f) {
             fs::create_directories(f);
             writeBytes(f + "/README.txt", "hi\n");
         },
         {}},
        {"an empty README.txt",
         [](const std::string& f) {
             fs::create_directories(f);
             writeBytes(f + "/README.txt", "");
         },
         {}},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        const std::string folder = scratch / "f";
        c.make(folder);
        const ProcessResult pack = kestivfs({"pack", folder, "-o", scratch / "out.img"});
        EXPECT_EQ(pack.status, 0) << c.label;
        std::string expected;
        for (const std::string& warning : c.warnings)
            expected += "kestivfs: warning: " + folder + ": " + warning + "\n";
        EXPECT_EQ(pack.err, expected) << c.label;
        EXPECT_TRUE(exists(scratch / "out.img")) << c.label;
    }
}

}  // namespace
