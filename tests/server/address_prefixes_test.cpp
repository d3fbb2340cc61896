#include "address_prefixes.h"

#include <gtest/gtest.h>

namespace {

PlayerAddress address(const char* text) {
    PlayerAddress parsed;
    EXPECT_TRUE(parsePlayerAddress(text, parsed)) << text;
    return parsed;
}

TEST(AddressPrefixes, MatchesAddressesInTheirNetworksOnly) {
    struct Case {
        const char* list;
        const char* peer;
        bool in;
    } cases[] = {
        {"192.0.2.7", "192.0.2.7", true},
        {"192.0.2.7", "192.0.2.8", false},
        {"10.0.0.0/8", "10.255.1.2", true},
        {"10.0.0.0/8", "11.0.0.1", false},
        {"10.0.0.0/8", "9.255.255.255", false},
        {"192.0.2.128/25", "192.0.2.128", true},
        {"192.0.2.128/25", "192.0.2.127", false},
        {"10.0.0.0/8", "::ffff:10.1.2.3", true},  // a dual-stack listener's IPv4 peer
        {"::ffff:10.0.0.0/104", "10.1.2.3", true},
        {"::ffff:192.0.2.7", "192.0.2.7", true},
        {"0.0.0.0/0", "203.0.113.1", true},
        {"0.0.0.0/0", "2001:db8::1", false},
        {"::/0", "203.0.113.1", true},
        {"fd00::/8", "fd12:3456::1", true},
        {"fd00::/8", "fe80::1", false},
        {"2001:db8:1::/48", "2001:db8:1:ffff::1", true},
        {"2001:db8:1::/48", "2001:db8:2::1", false},
        {"2001:db8::/127", "2001:db8::1", true},
        {"2001:db8::/127", "2001:db8::2", false},
        {"::1", "::1", true},
        {"::1", "127.0.0.1", false},
        {"127.0.0.0/8", "::1", false},
        {"10.0.0.0/8,fd00::/8,192.0.2.7", "192.0.2.7", true},
        {"10.0.0.0/8,fd00::/8,192.0.2.7", "fd00::9", true},
        {"10.0.0.0/8,fd00::/8,192.0.2.7", "172.16.0.1", false},
    };
    for (const Case& c : cases) {
        std::vector<AddressPrefix> prefixes;
        ASSERT_TRUE(parseAddressPrefixes(c.list, prefixes).empty()) << c.list;
        EXPECT_EQ(inAddressPrefixes(address(c.peer), prefixes), c.in) << c.peer << " in " << c.list;
    }
}

TEST(AddressPrefixes, NoAddressIsInAnyList) {
    std::vector<AddressPrefix> prefixes;
    ASSERT_TRUE(parseAddressPrefixes("::/0", prefixes).empty());
    EXPECT_FALSE(inAddressPrefixes(PlayerAddress{}, prefixes));
    EXPECT_FALSE(inAddressPrefixes(address("192.0.2.7"), {}));
}

TEST(AddressPrefixes, NamesEachBadEntry) {
    struct Case {
        const char* list;
        size_t problems;
        size_t good;
    } cases[] = {
        {"", 1, 0},
        {"10.0.0.0/8,", 1, 1},
        {",10.0.0.0/8", 1, 1},
        {"10.0.0.0/8, 192.0.2.7", 1, 1},
        {"10.0.0.0/8;192.0.2.7", 1, 0},
        {"localhost", 1, 0},
        {"192.0.2", 1, 0},
        {"192.0.2.256", 1, 0},
        {"[2001:db8::1]", 1, 0},
        {"fe80::1%eth0", 1, 0},
        {"10.0.0.0/33", 1, 0},
        {"10.0.0.0/", 1, 0},
        {"10.0.0.0/08", 1, 0},
        {"10.0.0.0/-8", 1, 0},
        {"10.0.0.0/8/8", 1, 0},
        {"2001:db8::/129", 1, 0},
        {"10.0.0.1/8", 1, 0},      // a network and a host at once
        {"2001:db8::1/64", 1, 0},  // likewise
        {"::ffff:10.0.0.1/104", 1, 0},
        {"x,y,10.0.0.0/8", 2, 1},
        {"192.0.2.7/32,2001:db8::/32,::ffff:10.0.0.0/104,0.0.0.0/0", 0, 4},
    };
    for (const Case& c : cases) {
        std::vector<AddressPrefix> prefixes;
        std::vector<std::string> problems = parseAddressPrefixes(c.list, prefixes);
        EXPECT_EQ(problems.size(), c.problems) << c.list;
        EXPECT_EQ(prefixes.size(), c.good) << c.list;
    }
    std::vector<AddressPrefix> prefixes;
    std::vector<std::string> problems = parseAddressPrefixes("10.0.0.1/8", prefixes);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "'10.0.0.1/8' has bits set beyond its prefix: name the network alone");
}

}  // namespace
