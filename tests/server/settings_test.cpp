#include "settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(Settings, NumbersAreDecimalWithoutSignOrLeadingZero) {
    struct Case {
        const char* text;
        long lowest, highest;
        bool valid;
        long value;
    } cases[] = {
        {"1", 1, 10, true, 1},      {"10", 1, 10, true, 10},
        {"0", 0, 1, true, 0},       {"0", 1, 10, false, 0},
        {"00", 0, 10, false, 0},    {"01", 0, 10, false, 0},
        {"11", 1, 10, false, 0},    {"31", 32, 128, false, 0},
        {"-1", 0, 10, false, 0},    {"+1", 0, 10, false, 0},
        {" 1", 0, 10, false, 0},    {"1 ", 0, 10, false, 0},
        {"", 0, 10, false, 0},      {"1e3", 0, 5000, false, 0},
        {"0x10", 0, 100, false, 0}, {"9999999999", 0, 86400, false, 0},
    };
    for (const Case& c : cases) {
        long value = -1;
        EXPECT_EQ(parseSettingNumber(c.text, c.lowest, c.highest, value), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(Settings, EveryBadValueIsReportedAndUnknownNamesWarned) {
    setenv("KESTIV_GAMES", "0", 1);
    setenv("KESTIV_IPV6_PREFIX", "16", 1);
    setenv("KESTIV_WEBSOCKET", "8080", 1);
    setenv("KESTIV_GAME_SECOND", "60", 1);
    GameSettings settings{};
    std::vector<std::string> problems = readGameSettings(settings);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_NE(problems[0].find("KESTIV_GAMES must be a whole number from 1 to 10000"), std::string::npos);
    EXPECT_NE(problems[1].find("KESTIV_IPV6_PREFIX must be a whole number from 32 to 128"),
              std::string::npos);
    EXPECT_NE(problems[2].find("KESTIV_WEBSOCKET_ORIGIN"), std::string::npos);
    std::vector<std::string> warnings = unknownSettingNames();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("did you mean KESTIV_GAME_SECONDS?"), std::string::npos);
    for (const char* name :
         {"KESTIV_GAMES", "KESTIV_IPV6_PREFIX", "KESTIV_WEBSOCKET", "KESTIV_GAME_SECOND"}) {
        unsetenv(name);
    }
    EXPECT_TRUE(readGameSettings(settings).empty());
    EXPECT_EQ(settings.games, 100);
    EXPECT_EQ(settings.ipv6Prefix, 64);
    EXPECT_EQ(settings.proxyProtocol, 0);
    EXPECT_EQ(settings.powBits, 0);
}

TEST(Settings, MetricsAddressIsAListenAddressAndAlwaysListed) {
    struct Case {
        const char* text;
        bool valid;
    } cases[] = {
        {"9100", true},      {"127.0.0.1:9100", true}, {"[::1]:9100", true},
        {"0", false},        {"65536", false},         {"localhost:9100", false},
        {"::1:9100", false}, {"127.0.0.1:", false},    {"127.0.0.1:09100", false},
    };
    GameSettings settings{};
    for (const Case& c : cases) {
        setenv("KESTIV_METRICS", c.text, 1);
        std::vector<std::string> problems = readGameSettings(settings);
        EXPECT_EQ(problems.empty(), c.valid) << c.text;
        EXPECT_EQ(settings.metrics, c.text);
    }
    unsetenv("KESTIV_METRICS");
    EXPECT_TRUE(readGameSettings(settings).empty());
    EXPECT_NE(listGameSettings(settings).find("\nKESTIV_METRICS=\n"), std::string::npos);
}

TEST(Settings, ProxiesAreNamedWhenProxyHeadersAreReadAndAlwaysListed) {
    struct Case {
        const char* protocol;
        const char* from;
        const char* problem;  // empty: none
    } cases[] = {
        {"0", "", ""},
        {"1", "", "KESTIV_PROXY_FROM must name the proxies whose PROXY headers count"},
        {"1", "10.0.0.0/8,fd00::/8,192.0.2.7", ""},
        {"0", "10.0.0.0/8", ""},
        {"1", "10.0.0.1/8", "'10.0.0.1/8' has bits set beyond its prefix"},
        {"1", "10.0.0.0/8 ", "'10.0.0.0/8 ' has a prefix length that is no whole number from 0 to 32"},
        {"1", "10.0.0.0/8, ::1", "' ::1' is no IPv4 or IPv6 address"},
        {"0", "proxy.example.org", "'proxy.example.org' is no IPv4 or IPv6 address"},
    };
    GameSettings settings{};
    for (const Case& c : cases) {
        setenv("KESTIV_PROXY_PROTOCOL", c.protocol, 1);
        setenv("KESTIV_PROXY_FROM", c.from, 1);
        std::vector<std::string> problems = readGameSettings(settings);
        if (*c.problem == '\0') {
            EXPECT_TRUE(problems.empty()) << c.from;
            EXPECT_NE(listGameSettings(settings).find("\nKESTIV_PROXY_FROM=" + std::string(c.from) + "\n"),
                      std::string::npos);
        } else {
            ASSERT_EQ(problems.size(), 1u) << c.from;
            EXPECT_NE(problems[0].find(c.problem), std::string::npos) << problems[0];
        }
    }
    setenv("KESTIV_PROXY_FROM", (std::string(1024, '1') + "0").c_str(), 1);
    std::vector<std::string> problems = readGameSettings(settings);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("1024 characters long at most"), std::string::npos);
    unsetenv("KESTIV_PROXY_PROTOCOL");
    unsetenv("KESTIV_PROXY_FROM");
}

TEST(Settings, DurationsAsMessagesNameThem) {
    EXPECT_EQ(describeDuration(1), "1 second");
    EXPECT_EQ(describeDuration(2), "2 seconds");
    EXPECT_EQ(describeDuration(60), "1 minute");
    EXPECT_EQ(describeDuration(1800), "30 minutes");
    EXPECT_EQ(describeDuration(90), "90 seconds");
}

}  // namespace
