#include <windows.h>

#include <stdexcept>

#include "run_process.h"

namespace {

// A temporary file that the child inherits as one of its standard handles and
// that is deleted once closed. Files rather than pipes so that neither side
// can block on a large input or output.
struct TemporaryFile {
    HANDLE handle;
    TemporaryFile() {
        char dir[MAX_PATH + 1];
        char path[MAX_PATH + 1];
        if (!GetTempPathA(sizeof dir, dir) || !GetTempFileNameA(dir, "kst", 0, path))
            throw std::runtime_error("no temporary file name");
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                             nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            throw std::runtime_error("cannot create a temporary file");
    }
    ~TemporaryFile() { CloseHandle(handle); }
    void rewind() const { SetFilePointer(handle, 0, nullptr, FILE_BEGIN); }
    void write(std::string_view bytes) const {
        for (std::size_t done = 0; done < bytes.size();) {
            DWORD written = 0;
            if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                           &written, nullptr) ||
                written == 0)
                throw std::runtime_error("cannot write the input file");
            done += written;
        }
    }
    std::string contents() const {
        rewind();
        std::string bytes;
        char buffer[65536];
        DWORD n = 0;
        while (ReadFile(handle, buffer, sizeof buffer, &n, nullptr) && n > 0)
            bytes.append(buffer, n);
        return bytes;
    }
};

// One argument as the C runtime's command-line parser splits it back out:
// quoted, with backslashes doubled only where they precede a quote.
void appendQuoted(std::string& commandLine, const std::string& arg) {
    commandLine += '"';
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        commandLine.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        commandLine += c;
    }
    commandLine.append(backslashes * 2, '\\');
    commandLine += '"';
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         std::string_view input) {
    TemporaryFile in, out, err;
    in.write(input);
    in.rewind();

    std::string commandLine;
    appendQuoted(commandLine, program);
    for (const std::string& arg : args) {
        commandLine += ' ';
        appendQuoted(commandLine, arg);
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.handle;
    startup.hStdOutput = out.handle;
    startup.hStdError = err.handle;
    PROCESS_INFORMATION child{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &child))
        throw std::runtime_error("cannot start " + program);
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    // A POSIX parent sees only the low byte of the status; so do the tests here.
    return {out.contents(), err.contents(), static_cast<int>(exitCode & 0xFF)};
}

std::string asWritten(std::string_view text) {
    std::string written;
    written.reserve(text.size());
    for (char c : text) {
        if (c == '\n') written += '\r';
        written += c;
    }
    return written;
}
