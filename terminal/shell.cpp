#include "shell.h"

#include <string>
#include <string_view>

#include "crypto/file_decrypt.h"
#include "fs/image_format.h"
#include "fs/unpack.h"
#include "line_reader.h"
#include "presentation.h"

namespace {

bool beginsWith(std::string_view line, std::string_view text) { return line.starts_with(text); }

bool isUnixCommand(std::string_view line) {
    for (std::string_view command : {"ls", "grep", "cat"})
        if (line == command ||
            (beginsWith(line, command) && line.substr(command.size()).starts_with(' ')))
            return true;
    return false;
}

void listDirectory() {
    for (file* child : cwd->children) {
        if (child->kind == kDirectoryKind) setConsoleTextAttribute(hConsole, FOREGROUND_BLUE);
        writeText(child->name);
        writeText("\n");
        std::fflush(stdout);
        setConsoleTextAttribute(hConsole, saved_attributes);
    }
}

}  // namespace

SessionEnd runCommands(std::FILE* input) {
    std::string line;
    while (readLine(input, line)) {
        if (beginsWith(line, "cls")) {
            clearConsole();
        } else if (isUnixCommand(line)) {
            writeInColour(FOREGROUND_RED, "Hey, this is on Windows, can't you tell?");
            return SessionEnd::left;
        } else if (line == "dir") {
            listDirectory();
        } else if (line == "cd") {
            cwd = root;
        } else if (beginsWith(line, "cd ")) {
            if (std::string_view(line).substr(3) == "..") {
                cwd = cwd->parent;
            } else {
                file* target = cwd->in_child(line.substr(3));
                if (!target) return SessionEnd::crashed;
                cwd = target;
            }
        } else if (beginsWith(line, "type ")) {
            file* shown = cwd->in_child(line.substr(5));
            if (!shown || shown->kind != kRegularFileKind) return SessionEnd::crashed;
            std::string text;
            if (nodeText(*shown, text) != StoredFormFault::none) return SessionEnd::crashed;
            writeText(text);
            for (int i = 0; i < 2; ++i) {
                writeText("\n");
                std::fflush(stdout);
            }
        } else if (line == "exit" || line == "quit") {
            return SessionEnd::left;
        } else {
            return SessionEnd::crashed;
        }
        prompt();
        // Output that can no longer be written (closed, or its reader gone with
        // SIGPIPE ignored) ends the session: nothing else would stop the loop
        // from reading input that nobody sees the answers to.
        if (std::ferror(stdout)) return SessionEnd::crashed;
    }
    return SessionEnd::inputEnded;
}
