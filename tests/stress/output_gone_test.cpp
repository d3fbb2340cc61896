// The terminal ends when its standard output goes away, whether SIGPIPE kills
// it or is ignored, instead of reading input that never ends. Input here is a
// pipe whose writer stays open, so only the lost output can end the session.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

enum class Output { closed, readerGone };

struct GoneCase {
    const char* name;
    Output output;
    bool ignoreSigpipe;
    bool inputEnds;  // no command at all: input ends at once
    int exitStatus;  // -1 when SIGPIPE is to end it
};

void PrintTo(const GoneCase& c, std::ostream* os) { *os << c.name; }

class OutputGone : public testing::TestWithParam<GoneCase> {};

// How long a terminal that keeps running is given before the test kills it;
// a correct one ends within milliseconds.
constexpr std::chrono::seconds kPatience{20};

TEST_P(OutputGone, EndsTheSession) {
    const GoneCase& c = GetParam();
    int input[2], output[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(pipe(output), 0);
    if (c.inputEnds) {
        close(input[1]);
    } else {
        const std::string lines = "dir\ndir\n";
        ASSERT_EQ(write(input[1], lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    }
    std::FILE* errors = std::tmpfile();
    ASSERT_NE(errors, nullptr);

    // The reader is gone before the terminal writes anything: closed after the
    // fork, a slow parent could let the whole session fit in the pipe first.
    close(output[0]);
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGPIPE, c.ignoreSigpipe ? SIG_IGN : SIG_DFL);
        dup2(input[0], STDIN_FILENO);
        if (c.output == Output::readerGone)
            dup2(output[1], STDOUT_FILENO);
        else
            close(STDOUT_FILENO);
        dup2(fileno(errors), STDERR_FILENO);
        for (int fd : {input[0], input[1], output[1]}) close(fd);
        execl(KESTIV_SHELL_TERMINAL, KESTIV_SHELL_TERMINAL, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(input[0]);
    close(output[1]);

    int status = 0;
    pid_t ended = 0;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    if (!c.inputEnds) close(input[1]);
    ASSERT_EQ(ended, child) << "the terminal still ran after its output had gone";

    if (c.exitStatus < 0) {
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), SIGPIPE);
    } else {
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.exitStatus);
    }
    struct stat written {};
    ASSERT_EQ(fstat(fileno(errors), &written), 0);
    EXPECT_EQ(written.st_size, 0) << "nothing belongs on standard error";
    std::fclose(errors);
}

INSTANTIATE_TEST_SUITE_P(
    Posix, OutputGone,
    testing::Values(GoneCase{"closed_output", Output::closed, false, false, 255},
                    GoneCase{"closed_output_sigpipe_ignored", Output::closed, true, false, 255},
                    GoneCase{"reader_gone", Output::readerGone, false, false, -1},
                    GoneCase{"reader_gone_sigpipe_ignored", Output::readerGone, true, false, 255},
                    GoneCase{"closed_output_empty_input", Output::closed, false, true, 0},
                    GoneCase{"reader_gone_sigpipe_ignored_empty_input", Output::readerGone, true, true, 0}),
    [](const testing::TestParamInfo<GoneCase>& info) { return std::string(info.param.name); });

}  // namespace
