// Linux players are pointed to rlwrap for the line editing and history that
// a Windows console gives every program: under it, Up recalls the previous
// line, and the colours still reach the screen.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

const std::string BLUE = "\x1b[34m";
const std::string UP = "\x1b[A";

// A program on a pseudo-terminal of 80 by 24, driven as a person at a
// keyboard drives it.
class KeyboardSession {
public:
    KeyboardSession(const char* program, const char* argument) {
        winsize size{};
        size.ws_row = 24;
        size.ws_col = 80;
        child_ = forkpty(&master_, nullptr, nullptr, &size);
        if (child_ == 0) {
            setenv("TERM", "xterm", 1);
            setenv("RLWRAP_HOME", testing::TempDir().c_str(), 1);
            execlp(program, program, argument, static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    void type(std::string_view keys) {
        ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }

    // Everything shown up to and including the next appearance of text,
    // or all that came within five seconds when it never appears.
    std::string readUntil(std::string_view text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        const std::size_t from = shown_.size();
        while (shown_.find(text, from) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd ready{master_, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) continue;
            char buffer[4096];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            shown_.append(buffer, static_cast<std::size_t>(n));
        }
        return shown_.substr(from);
    }

    int status() {
        int status = 0;
        waitpid(child_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ~KeyboardSession() { close(master_); }

private:
    int master_ = -1;
    pid_t child_ = -1;
    std::string shown_;
};

TEST(Rlwrap, UpRecallsThePreviousLineAndColoursArrive) {
    KeyboardSession session(KESTIV_RLWRAP, KESTIV_FIXTURE_DIR "/fixture-shell");
    ASSERT_NE(session.readUntil("kestiv's terminal ---> "), "");
    session.type("cd alpha\r");
    session.readUntil("cd alpha");
    session.type("dir\r");
    const std::string listing = session.readUntil("secret.txt");
    EXPECT_NE(listing.find(BLUE + "beta"), std::string::npos) << listing;
    session.type(UP + "\r");
    const std::string recalled = session.readUntil("secret.txt");
    EXPECT_NE(recalled.find(BLUE + "beta"), std::string::npos) << "Up did not give dir again:\n"
                                                               << recalled;
    session.type("\x04");  // end of input
    session.readUntil("\n");
    EXPECT_EQ(session.status(), 0);
}

}  // namespace
