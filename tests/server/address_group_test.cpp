#include "address_group.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cstring>

namespace {

TEST(AddressGroup, GroupsAsTheServerCountsThem) {
    struct Case {
        const char* address;
        int prefix;
        const char* group;
    } cases[] = {
        {"192.0.2.7", 64, "192.0.2.7"},
        {"[2001:db8:1:2:aaaa:bbbb:cccc:dddd]", 64, "2001:db8:1:2::/64"},
        {"2001:db8:1:2::1", 64, "2001:db8:1:2::/64"},
        {"2001:db8:1:2:ffff::1", 48, "2001:db8:1::/48"},
        {"2001:db8:1:2:ffff::1", 56, "2001:db8:1::/56"},
        {"2001:db8:1:2ff:ffff::1", 56, "2001:db8:1:200::/56"},
        {"2001:db8::7", 128, "2001:db8::7/128"},
        {"2001:db8:ffff:ffff::", 33, "2001:db8:8000::/33"},
        {"::ffff:198.51.100.3", 64, "198.51.100.3"},  // IPv4-mapped counts as IPv4
        {"::1", 64, "::/64"},
    };
    for (const Case& c : cases) {
        PlayerAddress address;
        ASSERT_TRUE(parsePlayerAddress(c.address, address)) << c.address;
        EXPECT_EQ(addressGroup(address, c.prefix), c.group) << c.address << "/" << c.prefix;
    }
}

TEST(AddressGroup, NetworksAsTheServerCountsThem) {
    struct Case {
        const char* address;
        int ipv4Prefix;
        int ipv6Prefix;
        const char* network;
    } cases[] = {
        {"192.0.2.7", 24, 48, "192.0.2.0/24"},
        {"192.0.2.255", 16, 48, "192.0.0.0/16"},
        {"192.0.2.7", 32, 48, "192.0.2.7/32"},
        {"198.51.100.130", 25, 48, "198.51.100.128/25"},
        {"::ffff:198.51.100.3", 24, 48, "198.51.100.0/24"},  // IPv4-mapped counts as IPv4
        {"2001:db8:5:1a2b::1", 24, 48, "2001:db8:5::/48"},
        {"2001:db8:5:1a2b::1", 24, 56, "2001:db8:5:1a00::/56"},
        {"2001:db8:5:1a2b::1", 24, 128, "2001:db8:5:1a2b::1/128"},
    };
    for (const Case& c : cases) {
        PlayerAddress address;
        ASSERT_TRUE(parsePlayerAddress(c.address, address)) << c.address;
        EXPECT_EQ(addressNetwork(address, c.ipv4Prefix, c.ipv6Prefix), c.network) << c.address;
    }
    EXPECT_EQ(addressNetwork(PlayerAddress{}, 24, 48), "");
}

TEST(AddressGroup, RefusesWhatIsNoAddress) {
    for (const char* text :
         {"", "localhost", "192.0.2", "192.0.2.256", "[192.0.2.1]x", "2001:db8::1%lo", "1.2.3.4:80"}) {
        PlayerAddress address;
        EXPECT_FALSE(parsePlayerAddress(text, address)) << text;
    }
    EXPECT_EQ(addressGroup(PlayerAddress{}, 64), "");
}

TEST(AddressGroup, ReadsSocketPeers) {
    sockaddr_in6 mapped{};
    mapped.sin6_family = AF_INET6;
    inet_pton(AF_INET6, "::ffff:203.0.113.9", &mapped.sin6_addr);
    PlayerAddress address = addressOfPeer(reinterpret_cast<sockaddr*>(&mapped), sizeof mapped);
    EXPECT_EQ(address.family, AF_INET);
    EXPECT_EQ(describeAddress(address), "203.0.113.9");
    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    inet_pton(AF_INET, "203.0.113.10", &ipv4.sin_addr);
    EXPECT_EQ(describeAddress(addressOfPeer(reinterpret_cast<sockaddr*>(&ipv4), sizeof ipv4)),
              "203.0.113.10");
    sockaddr unix{};
    unix.sa_family = AF_UNIX;
    EXPECT_EQ(addressOfPeer(&unix, sizeof unix).family, 0);
    EXPECT_EQ(addressOfPeer(reinterpret_cast<sockaddr*>(&ipv4), 4).family, 0) << "too short";
}

}  // namespace
