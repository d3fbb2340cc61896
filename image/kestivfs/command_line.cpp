#include "command_line.h"

#include <charconv>
#include <cstdio>

int usageError(std::string_view command, std::string_view message) {
    std::fprintf(stderr, "kestivfs %.*s: %.*s\nTry 'kestivfs %.*s --help'.\n",
                 static_cast<int>(command.size()), command.data(), static_cast<int>(message.size()),
                 message.data(), static_cast<int>(command.size()), command.data());
    return kUsageStatus;
}

void reportError(std::string_view message) {
    std::fprintf(stderr, "kestivfs: %.*s\n", static_cast<int>(message.size()), message.data());
}

bool parseNumber(std::string_view text, std::uint64_t max, std::uint64_t& value) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && value <= max;
}

bool asksForHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") return false;
        if (arg == "--help" || arg == "-h") return true;
    }
    return false;
}
