#include "command_line.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>

namespace {

bool isHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

bool looksLikeOption(std::string_view arg) { return arg.size() > 1 && arg.front() == '-'; }

const OptionSpec* findOption(const Command& command, std::string_view name) {
    const auto found = std::find_if(command.options.begin(), command.options.end(),
                                    [&](const OptionSpec& option) { return option.name == name; });
    return found == command.options.end() ? nullptr : &*found;
}

// Reads args into line; the first misuse found, if any, in words. Help is
// looked for to the end even after a misuse, so --help always answers.
std::optional<std::string> parse(const Command& command, const std::vector<std::string>& args,
                                 CommandLine& line, bool& helpAsked) {
    std::optional<std::string> misuse;
    const auto note = [&](std::string message) {
        if (!misuse) misuse = std::move(message);
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !looksLikeOption(arg)) {
            line.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (isHelp(arg)) {
            helpAsked = true;
            continue;
        }
        const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string::npos;
        const std::string_view name = std::string_view(arg).substr(0, equals);
        const OptionSpec* option = findOption(command, name);
        if (!option) {
            note("unknown option '" + std::string(name) + "'");
        } else if (option->valueName.empty()) {
            if (equals != std::string::npos) note(std::string(name) + " takes no value");
            line.options.emplace_back(option->name, "");
        } else if (equals != std::string::npos) {
            line.options.emplace_back(option->name, arg.substr(equals + 1));
        } else if (i + 1 < args.size()) {
            line.options.emplace_back(option->name, args[++i]);
        } else {
            note(std::string(name) + " needs a value");
        }
    }
    for (const OptionSpec& option : command.options)
        if (option.required && !hasOption(line, option.name))
            note(std::string(option.name) + " " + std::string(option.valueName) + " is required");
    if (line.operands.size() < command.operands.size())
        note(std::string(command.operands[line.operands.size()]) + " is missing");
    else if (line.operands.size() > command.operands.size())
        note("unexpected argument '" + line.operands[command.operands.size()] + "'");
    return misuse;
}

}  // namespace

int runCommand(const Command& command, const std::vector<std::string>& args) {
    CommandLine line;
    bool helpAsked = false;
    const std::optional<std::string> misuse = parse(command, args, line, helpAsked);
    if (helpAsked) {
        std::printf("Usage: kestivfs %.*s %.*s\n\n%s", static_cast<int>(command.name.size()),
                    command.name.data(), static_cast<int>(command.synopsis.size()),
                    command.synopsis.data(), command.help().c_str());
        return 0;
    }
    if (misuse) return usageError(command.name, *misuse);
    return command.run(line);
}

bool hasOption(const CommandLine& line, std::string_view option) {
    return optionValue(line, option) != nullptr;
}

const std::string* optionValue(const CommandLine& line, std::string_view option) {
    for (auto given = line.options.rbegin(); given != line.options.rend(); ++given)
        if (given->first == option) return &given->second;
    return nullptr;
}

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
