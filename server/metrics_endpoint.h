#pragma once
// The metrics' HTTP side in the keeper's event loop: a non-blocking listener
// and a few scrapes at once, each allowed one short request within a short
// time and given one response, then closed. Nothing here ever blocks the loop.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "metrics.h"

struct Scrape {
    std::string request;
    std::string response;
    size_t sent = 0;
    std::chrono::steady_clock::time_point deadline;
};

// Everything the keeper keeps for its live view: the counts, and the
// scrapes reading them.
struct LiveView {
    ServerMetrics metrics;
    int listener = -1;  // none when KESTIV_METRICS is off
    int events = -1;
    std::unordered_map<int, Scrape> scrapes;  // by descriptor
};

// Listens on `address` ([ADDRESS:]PORT, as KESTIV_METRICS holds it).
// Returns the listening descriptor, or -1 with `problem` saying why.
int listenForScrapes(const std::string& address, std::string& problem);

// Whether an epoll tag is the live view's, and so for handleScrapes.
bool isScrapeTag(std::uint64_t tag);

// Watches `listener` (from listenForScrapes, or -1 for none) in `events`.
void watchScrapes(LiveView& view, int events, int listener);

// Takes up what epoll said of the tag: new scrapes, a request's bytes, room
// to send; `render` gives the metrics' text when a request asks for it.
void handleScrapes(LiveView& view, std::uint64_t tag, std::uint32_t ready,
                   const std::function<std::string()>& render);

// Closes the scrapes whose time is up.
void expireScrapes(LiveView& view);
