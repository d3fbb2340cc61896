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
        {"v2 TCP4", v2(0x21, 0x11, ipv4), false, "198.51.100.7"},
        {"v2 UDP4", v2(0x21, 0x12, ipv4), false, "198.51.100.7"},
        {"v2 TCP6", v2(0x21, 0x21, ipv6), false, "2001:db8:7::1"},
        {"v2 TCP4 with TLVs", v2(0x21, 0x11, ipv4 + bytes({0x04, 0, 3, 'a', 'b', 'c'})), false,
         "198.51.100.7"},
        {"v2 LOCAL", v2(0x20, 0x00, ""), true, ""},
        {"v2 LOCAL with addresses", v2(0x20, 0x11, ipv4), true, ""},
        {"v2 PROXY, UNSPEC", v2(0x21, 0x00, ""), true, ""},
        {"v2 unix", v2(0x21, 0x31, std::string(216, 'u')), true, ""},
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
        {"v2 version 1", v2(0x11, 0x11, ipv4)},
        {"v2 command 2", v2(0x22, 0x11, ipv4)},
        {"v2 family 4", v2(0x21, 0x41, ipv4)},
        {"v2 addresses cut short", v2(0x21, 0x11, ipv4.substr(0, 11))},
        {"v2 IPv6 addresses cut short", v2(0x21, 0x21, ipv4)},
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

}  // namespace
