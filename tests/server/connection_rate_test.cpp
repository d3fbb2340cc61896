#include "connection_rate.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(ConnectionRate, AGroupConnectsAsOftenAsItsBucketAllows) {
    struct Case {
        const char* what;
        long perMinute;
        std::vector<std::pair<milliseconds, bool>> connections;  // when, and whether allowed
    } cases[] = {
        {"a burst of the whole bucket, then nothing",
         3,
         {{milliseconds(0), true}, {milliseconds(0), true}, {milliseconds(0), true}, {milliseconds(1), false}}},
        {"one more each sixtieth of a minute per connection",
         3,
         {{milliseconds(0), true},
          {milliseconds(0), true},
          {milliseconds(0), true},
          {milliseconds(19999), false},
          {milliseconds(20000), true},
          {milliseconds(20001), false},
          {milliseconds(40000), true}}},
        {"refused connections take nothing",
         1,
         {{milliseconds(0), true},
          {milliseconds(30000), false},
          {milliseconds(59999), false},
          {milliseconds(60000), true}}},
        {"a full bucket holds no more than its size",
         2,
         {{milliseconds(0), true},
          {milliseconds(600000), true},
          {milliseconds(600000), true},
          {milliseconds(600000), false}}},
        {"a steady connection a second fits 60 a minute",
         60,
         {{seconds(0), true}, {seconds(1), true}, {seconds(2), true}, {seconds(3), true}}},
    };
    for (const Case& c : cases) {
        ConnectionRate rate;
        rate.perMinute = c.perMinute;
        int index = 0;
        for (auto [when, allowed] : c.connections) {
            EXPECT_EQ(allowConnection(rate, "g", when), allowed) << c.what << ", connection " << index++;
        }
    }
}

TEST(ConnectionRate, GroupsHaveBucketsOfTheirOwnAndNoAddressIsNeverLimited) {
    ConnectionRate rate;
    rate.perMinute = 1;
    EXPECT_TRUE(allowConnection(rate, "a", seconds(0)));
    EXPECT_FALSE(allowConnection(rate, "a", seconds(1)));
    EXPECT_TRUE(allowConnection(rate, "b", seconds(1)));
    for (int connection = 0; connection < 100; ++connection) {
        EXPECT_TRUE(allowConnection(rate, "", seconds(1)));
    }
}

TEST(ConnectionRate, ForgetsOnlyTheGroupsWhoseBucketsAreFull) {
    ConnectionRate rate;
    rate.perMinute = 2;
    allowConnection(rate, "early", seconds(0));
    allowConnection(rate, "late", seconds(20));
    forgetFullBuckets(rate, seconds(35));
    EXPECT_EQ(rate.fullAt.count("early"), 0u);
    EXPECT_EQ(rate.fullAt.count("late"), 1u);
    EXPECT_TRUE(allowConnection(rate, "late", seconds(35)));
    EXPECT_FALSE(allowConnection(rate, "late", seconds(35))) << "a bucket kept keeps its count";
}

}  // namespace
