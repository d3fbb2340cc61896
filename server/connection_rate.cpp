#include "connection_rate.h"

#include <algorithm>

namespace {

std::chrono::microseconds refillTime(const ConnectionRate& rate) {
    return std::chrono::microseconds(std::chrono::minutes(1)) / std::max(rate.perMinute, 1L);
}

}  // namespace

bool allowConnection(ConnectionRate& rate, const std::string& group, std::chrono::microseconds now) {
    if (group.empty()) {
        return true;
    }
    std::chrono::microseconds each = refillTime(rate);
    auto found = rate.fullAt.find(group);
    std::chrono::microseconds fullAt = found == rate.fullAt.end() ? now : std::max(found->second, now);
    // Taking one more would leave the bucket full only after a whole
    // bucket's time from now: it is empty.
    if (fullAt + each - now > each * rate.perMinute) {
        return false;
    }
    rate.fullAt[group] = fullAt + each;
    return true;
}

void forgetFullBuckets(ConnectionRate& rate, std::chrono::microseconds now) {
    std::erase_if(rate.fullAt, [&](const auto& entry) { return entry.second <= now; });
}
