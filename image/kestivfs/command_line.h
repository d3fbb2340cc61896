// What the subcommands share: the usage-error convention and number parsing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kUsageStatus = 2;

// Prints "kestivfs COMMAND: message" and a pointer to --help on stderr;
// returns kUsageStatus.
int usageError(std::string_view command, std::string_view message);

// Prints "kestivfs: message" on stderr.
void reportError(std::string_view message);

// A decimal number from 0 to max, nothing else in text; false otherwise.
bool parseNumber(std::string_view text, std::uint64_t max, std::uint64_t& value);

// True when args holds --help or -h before any "--".
bool asksForHelp(const std::vector<std::string>& args);

// Each subcommand: its arguments after the subcommand's name; its exit status.
int runMaze(const std::vector<std::string>& args);
int runList(const std::vector<std::string>& args);
int runCat(const std::vector<std::string>& args);
int runVerify(const std::vector<std::string>& args);
int runPack(const std::vector<std::string>& args);
