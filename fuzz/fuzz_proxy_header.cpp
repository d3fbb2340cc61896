// The PROXY header reader, fed as kestiv-seat feeds it: exactly the bytes it
// asks for each time, from an input that may be anything. It must end, never
// ask for nothing, and never take a byte beyond a header it accepts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "proxy_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t taken = 0;
    for (;;) {
        ProxyHeader header = readProxyHeader(input.substr(0, taken));
        if (header.state == ProxyHeaderState::complete) {
            if (!header.ownAddress && header.source.family != AF_INET && header.source.family != AF_INET6) {
                std::abort();
            }
            if (readProxyHeader(input.substr(0, taken + 1)).state == ProxyHeaderState::complete &&
                taken < size) {
                std::abort();  // a header followed by a byte of the player's is no header
            }
            return 0;
        }
        if (header.state == ProxyHeaderState::invalid || taken == size) {
            return 0;
        }
        if (header.more == 0) {
            std::abort();
        }
        taken = std::min(taken + header.more, size);
    }
}
