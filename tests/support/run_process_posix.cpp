#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "run_process.h"

namespace {

// A temporary file, removed when it goes out of scope. Files rather than pipes
// so that neither side can block on a large input or output.
struct TemporaryFile {
    std::string path;
    int fd;
    TemporaryFile() {
        const char* dir = std::getenv("TMPDIR");
        path = std::string(dir && *dir ? dir : "/tmp") + "/kestiv-test-XXXXXX";
        fd = mkstemp(path.data());
        if (fd < 0) throw std::runtime_error("mkstemp failed");
    }
    ~TemporaryFile() {
        close(fd);
        unlink(path.c_str());
    }
    std::string contents() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         std::string_view input) {
    TemporaryFile in, out, err;
    for (std::size_t done = 0; done < input.size();) {
        const ssize_t n = write(in.fd, input.data() + done, input.size() - done);
        if (n <= 0) throw std::runtime_error("cannot write the input file");
        done += static_cast<std::size_t>(n);
    }
    lseek(in.fd, 0, SEEK_SET);

    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        dup2(in.fd, STDIN_FILENO);
        dup2(out.fd, STDOUT_FILENO);
        dup2(err.fd, STDERR_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int wait_status = 0;
    while (waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
    }
    const int status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return {out.contents(), err.contents(), status};
}

std::string asWritten(std::string_view text) { return std::string(text); }
