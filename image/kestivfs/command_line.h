// The tool's command line. Each subcommand declares its options and operands
// in a Command; one parser gives every subcommand the same conventions:
// --help and -h anywhere before "--" print its help; "--" ends the options;
// "--name=value" is "--name value"; "-" is an operand (standard input where a
// file is read); a usage error prints "kestivfs NAME: message" and exits 2.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr int kUsageStatus = 2;

struct OptionSpec {
    std::string_view name;       // "--seed", "-o"
    std::string_view valueName;  // what follows it, "N"; empty for a flag
    bool required = false;
};

// What a command line held, options in the order given (a repeated option is
// there twice; the last one counts).
struct CommandLine {
    std::vector<std::pair<std::string_view, std::string>> options;  // name, value ("" for a flag)
    std::vector<std::string> operands;
};

struct Command {
    std::string_view name;
    std::string_view synopsis;  // what follows "kestivfs NAME " in its usage line
    std::string_view summary;   // its line in the tool's own usage
    std::vector<OptionSpec> options;
    std::vector<std::string_view> operands;  // the operands' names, all required
    std::string (*help)();                   // what its --help prints after the usage line
    int (*run)(const CommandLine& line);
};

// Parses args (the words after the subcommand's name) by command's
// declaration and runs it; prints its help or a usage error instead when
// asked or misused. Returns the exit status.
int runCommand(const Command& command, const std::vector<std::string>& args);

// True when option was given.
bool hasOption(const CommandLine& line, std::string_view option);

// The value of the last occurrence of option; null when it was not given.
const std::string* optionValue(const CommandLine& line, std::string_view option);

// Prints "kestivfs COMMAND: message" and a pointer to --help on stderr;
// returns kUsageStatus.
int usageError(std::string_view command, std::string_view message);

// Prints "kestivfs: message" on stderr.
void reportError(std::string_view message);

// A decimal number from 0 to max, nothing else in text; false otherwise.
bool parseNumber(std::string_view text, std::uint64_t max, std::uint64_t& value);

// The operand that stands for standard input where a file is read. Images are
// only ever written to files, whole or not at all.
inline constexpr std::string_view kStandardStream = "-";
inline constexpr std::string_view kImageToStandardOutput =
    "-o takes a file; an image is not written to standard output";

// The subcommands.
extern const Command kMazeCommand;
extern const Command kPackCommand;
extern const Command kListCommand;
extern const Command kCatCommand;
extern const Command kVerifyCommand;
extern const Command kKeyCommand;
