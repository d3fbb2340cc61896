#include "proxy_header.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <algorithm>
#include <string>

namespace {

const std::string signature("\r\n\r\n\0\r\nQUIT\n", 12);

std::string v2(unsigned char versionCommand, unsigned char family, const std::string& body) {
    return signature +
           std::string{static_cast<char>(versionCommand), static_cast<char>(family),
                       static_cast<char>(body.size() >> 8), static_cast<char>(body.size() & 255)} +
           body;
}

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int value : values) {
        text += static_cast<char>(value);
    }
    return text;
}

// Feeds the header as a reader would: exactly the bytes asked for each time.
ProxyHeader readInSteps(const std::string& header, size_t& taken) {
    taken = 0;
    for (;;) {
        ProxyHeader read = readProxyHeader(std::string_view(header).substr(0, taken));
        if (read.state != ProxyHeaderState::incomplete) {
            return read;
        }
        EXPECT_GT(read.more, 0u);
        if (taken == header.size()) {
            return read;  // all there is: a reader would wait for more, then give up
        }
        taken = std::min(taken + read.more, header.size());
    }
}

TEST(ProxyHeader, ReadsEachVersionsAddressesTakingNoByteBeyondTheHeader) {
    const std::string ipv4 = bytes({198, 51, 100, 7, 192, 0, 2, 1, 0x9c, 0x40, 0x0f, 0xa0});
    const std::string ipv6 = bytes({0x20, 0x01, 0x0d, 0xb8, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}) +
                             std::string(16, '\0') + bytes({0x9c, 0x40, 0x0f, 0xa0});
    struct Case {
        const char* what;
        std::string header;
        bool ownAddress;
        const char* source;
    } cases[] = {
        {"v1 TCP4", "PROXY TCP4 198.51.100.7 192.0.2.1 40000 4000\r\n", false, "198.51.100.7"},
        {"v1 TCP6", "PROXY TCP6 2001:db8:7::1 2001:db8::2 40000 4000\r\n", false, "2001:db8:7::1"},
        {"v1 TCP6, mapped", "PROXY TCP6 ::ffff:198.51.100.9 ::1 1 65535\r\n", false, "198.51.100.9"},
        {"v1 UNKNOWN", "PROXY UNKNOWN\r\n", true, ""},
        {"v1 UNKNOWN with addresses", "PROXY UNKNOWN ffff:f::1 ffff:f::2 65535 65535\r\n", true, ""},
        {"v1 TCP4 from loopback", "PROXY TCP4 127.0.2.1 127.0.0.1 40000 4000\r\n", false, "127.0.2.1"},
        {"v1 TCP4 from the last unicast", "PROXY TCP4 223.255.255.255 192.0.2.1 1 1\r\n", false,
         "223.255.255.255"},
        {"v1 TCP6 from loopback", "PROXY TCP6 ::1 ::1 40000 4000\r\n", false, "::1"},
        {"v1 UNKNOWN with a word", "PROXY UNKNOWN x\r\n", true, ""},
        {"v2 TCP4", v2(0x21, 0x11, ipv4), false, "198.51.100.7"},
        {"v2 TCP6", v2(0x21, 0x21, ipv6), false, "2001:db8:7::1"},
        {"v2 TCP4 with TLVs", v2(0x21, 0x11, ipv4 + bytes({0x04, 0, 3, 'a', 'b', 'c'})), false,
         "198.51.100.7"},
        {"v2 TCP4 with TLVs, empty ones too",
         v2(0x21, 0x11, ipv4 + bytes({0x04, 0, 0, 0x05, 0, 1, 'x'})), false, "198.51.100.7"},
        {"v2 TCP6 with 512 bytes of TLVs",
         v2(0x21, 0x21, ipv6 + bytes({0x04, 1, 253}) + std::string(509, 'n')), false, "2001:db8:7::1"},
        {"v2 LOCAL", v2(0x20, 0x00, ""), true, ""},
        {"v2 LOCAL with TLVs", v2(0x20, 0x00, bytes({0x01, 0, 2, 'h', '2'})), true, ""},
    };
    for (const Case& c : cases) {
        size_t taken = 0;
        ProxyHeader header = readInSteps(c.header + "dir\r\n", taken);
        ASSERT_EQ(header.state, ProxyHeaderState::complete) << c.what;
        EXPECT_EQ(taken, c.header.size()) << c.what;
        EXPECT_EQ(header.ownAddress, c.ownAddress) << c.what;
        EXPECT_EQ(describeAddress(header.source), c.source) << c.what;
    }
}

TEST(ProxyHeader, TurnsDownWhatIsNoHeader) {
    const std::string ipv4 = bytes({198, 51, 100, 7, 192, 0, 2, 1, 0x9c, 0x40, 0x0f, 0xa0});
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"a player's line", "dir\r\n"},
        {"lower case", "proxy TCP4 1.2.3.4 1.2.3.5 1 2\r\n"},
        {"LF alone", "PROXY TCP4 198.51.100.7 192.0.2.1 40000 4000\n"},
        {"a short IPv4 address", "PROXY TCP4 198.51.100 192.0.2.1 40000 4000\r\n"},
        {"IPv6 as TCP4", "PROXY TCP4 2001:db8::1 192.0.2.1 40000 4000\r\n"},
        {"a port too high", "PROXY TCP4 198.51.100.7 192.0.2.1 65536 4000\r\n"},
        {"a port with a leading zero", "PROXY TCP4 198.51.100.7 192.0.2.1 040 4000\r\n"},
        {"a word missing", "PROXY TCP4 198.51.100.7 192.0.2.1 40000\r\n"},
        {"two spaces", "PROXY TCP4  198.51.100.7 192.0.2.1 40000 4000\r\n"},
        {"a protocol unknown", "PROXY UDP4 198.51.100.7 192.0.2.1 40000 4000\r\n"},
        {"a line without end", "PROXY UNKNOWN " + std::string(120, 'x')},
        {"UNKNOWN run on", "PROXY UNKNOWNgarbage\r\n"},
        {"UNKNOWN in lower case", "PROXY unknown\r\n"},
        {"v1 from 0.0.0.0", "PROXY TCP4 0.0.0.0 192.0.2.1 40000 4000\r\n"},
        {"v1 from this network", "PROXY TCP4 0.1.2.3 192.0.2.1 40000 4000\r\n"},
        {"v1 from broadcast", "PROXY TCP4 255.255.255.255 192.0.2.1 40000 4000\r\n"},
        {"v1 from multicast", "PROXY TCP4 224.0.0.1 192.0.2.1 40000 4000\r\n"},
        {"v1 from reserved", "PROXY TCP4 240.0.0.1 192.0.2.1 40000 4000\r\n"},
        {"v1 from ::", "PROXY TCP6 :: 2001:db8::2 40000 4000\r\n"},
        {"v1 from IPv6 multicast", "PROXY TCP6 ff02::1 2001:db8::2 40000 4000\r\n"},
        {"v1 from mapped 0.0.0.0", "PROXY TCP6 ::ffff:0.0.0.0 ::1 40000 4000\r\n"},
        {"v1 from mapped broadcast", "PROXY TCP6 ::ffff:255.255.255.255 ::1 40000 4000\r\n"},
        {"v2 version 1", v2(0x11, 0x11, ipv4)},
        {"v2 command 2", v2(0x22, 0x11, ipv4)},
        {"v2 family 4", v2(0x21, 0x41, ipv4)},
        {"v2 UDP4", v2(0x21, 0x12, ipv4)},
        {"v2 UDP6", v2(0x21, 0x22, ipv4 + ipv4 + ipv4)},
        {"v2 TCP4, protocol unspecified", v2(0x21, 0x10, ipv4)},
        {"v2 TCP4, protocol 3", v2(0x21, 0x13, ipv4)},
        {"v2 unix", v2(0x21, 0x31, std::string(216, 'u'))},
        {"v2 PROXY, family unspecified", v2(0x21, 0x00, "")},
        {"v2 LOCAL with addresses", v2(0x20, 0x11, ipv4)},
        {"v2 LOCAL with an address body", v2(0x20, 0x00, ipv4)},
        {"v2 from 0.0.0.0", v2(0x21, 0x11, bytes({0, 0, 0, 0}) + ipv4.substr(4))},
        {"v2 from broadcast", v2(0x21, 0x11, bytes({255, 255, 255, 255}) + ipv4.substr(4))},
        {"v2 from ::", v2(0x21, 0x21, std::string(16, '\0') + ipv4 + ipv4.substr(0, 8))},
        {"v2 addresses cut short", v2(0x21, 0x11, ipv4.substr(0, 11))},
        {"v2 IPv6 addresses cut short", v2(0x21, 0x21, ipv4)},
        {"v2 a TLV cut short", v2(0x21, 0x11, ipv4 + bytes({0x04, 0, 3, 'a', 'b'}))},
        {"v2 a TLV's header cut short", v2(0x21, 0x11, ipv4 + bytes({0x04, 0}))},
        {"v2 513 bytes of TLVs", v2(0x21, 0x11, ipv4 + bytes({0x04, 1, 254}) + std::string(510, 'n'))},
        {"v2 1 KB of TLVs", v2(0x21, 0x11, ipv4 + bytes({0x04, 4, 0}) + std::string(1024, 'n'))},
        {"v2 longer than any proxy's", v2(0x21, 0x11, ipv4 + std::string(3000, '\0'))},
        {"a signature broken", "\r\n\r\n\0\r\nQUIX\n" + std::string(20, '\0')},
    };
    for (const Case& c : cases) {
        size_t taken = 0;
        EXPECT_NE(readInSteps(c.bytes, taken).state, ProxyHeaderState::complete) << c.what;
    }
}

TEST(ProxyHeader, AsksForNoMoreThanTheShortestHeaderHolds) {
    // "PROXY UNKNOWN\r\n" is 15 bytes: the first read may take 15, no more.
    EXPECT_EQ(readProxyHeader("").more, 15u);
    EXPECT_EQ(readProxyHeader("PROX").more, 11u);
    EXPECT_EQ(readProxyHeader(signature).more, 3u);
    EXPECT_EQ(readProxyHeader("PROXY TCP4 1.2.").more, 1u);
    // A whole header followed by the player's bytes is no header.
    EXPECT_EQ(readProxyHeader("PROXY UNKNOWN\r\nd").state, ProxyHeaderState::invalid);
}

TEST(ProxyHeader, TurnsDownTooManyTlvsBeforeReadingThem) {
    // The first 16 bytes of version 2 tell the length: 1 KB of TLVs is
    // refused then, not read.
    std::string start = signature + bytes({0x21, 0x11, 0x04, 0x0c});
    EXPECT_EQ(readProxyHeader(start).state, ProxyHeaderState::invalid);
    start = signature + bytes({0x21, 0x11, 0x02, 0x0c});
    EXPECT_EQ(readProxyHeader(start).more, 12u + 512u);
}

}  // namespace
