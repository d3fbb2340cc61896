// Runs an executable as a separate process, the way a person or a script runs
// the terminal: input on its standard input, both output streams collected.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct ProcessResult {
    std::string out;
    std::string err;
    int status;  // exit status as the parent sees it: -1 reads 255
};

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         std::string_view input);

// text as the platform's text-mode standard output writes it.
std::string asWritten(std::string_view text);
