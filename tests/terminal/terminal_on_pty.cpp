#include "terminal_on_pty.h"

#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

TerminalRun runOnTerminal(const std::string& program, const std::string& input) {
    std::FILE* in = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::fflush(in);
    std::rewind(in);

    termios settings{};
    cfmakeraw(&settings);
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, &settings, nullptr);
    if (child == 0) {
        dup2(fileno(in), STDIN_FILENO);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0)
            out.append(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;  // EIO once the child has closed its side
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(master);
    std::fclose(in);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}
