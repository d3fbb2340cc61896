// Runs a fixture terminal as a process and spells out what it should write.
#pragma once

#include <string>
#include <string_view>

#include "run_process.h"
#include "terminal/banner.h"

inline constexpr std::string_view kPrompt = "kestiv's terminal ---> ";
inline constexpr std::string_view kCrash = "Oh no, CRAAAAAAAAAAASH";
inline constexpr std::string_view kTaunt = "Hey, this is on Windows, can't you tell?";
inline constexpr int kLeftStatus = 255;  // exit(-1) as the parent sees it

inline std::string fixtureTerminal(std::string_view name) {
    return std::string(KESTIV_FIXTURE_DIR) + "/fixture-" + std::string(name) + KESTIV_EXECUTABLE_SUFFIX;
}

inline ProcessResult runFixture(std::string_view name, std::string_view input) {
    return runProcess(fixtureTerminal(name), {}, input);
}

// What a terminal with a readable image writes before the first command.
inline std::string startOfSession() { return std::string(kBanner) + std::string(kPrompt); }

// Matches a whole session: exact standard output in text mode, exit status,
// and nothing ever on standard error.
#define EXPECT_SESSION(result, expectedOut, expectedStatus) \
    do {                                                    \
        const ProcessResult& r_ = (result);                 \
        EXPECT_EQ(r_.out, asWritten(expectedOut));          \
        EXPECT_EQ(r_.status, (expectedStatus));             \
        EXPECT_EQ(r_.err, "");                              \
    } while (0)
