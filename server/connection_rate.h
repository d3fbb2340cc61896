#pragma once
// How often one address group may connect: a token bucket per group that
// holds `perMinute` connections and fills again at `perMinute` a minute, kept
// as the time at which it would be full (the generic cell rate algorithm).
// The caller passes the time: no clock here.
#include <chrono>
#include <string>
#include <unordered_map>

struct ConnectionRate {
    long perMinute = 0;
    // When each group's bucket is full again; a group absent is full.
    std::unordered_map<std::string, std::chrono::microseconds> fullAt;
};

// Whether a connection of `group` at `now` fits its bucket; if so it takes
// one connection from it. A refused connection takes nothing. An empty group
// (a connection without an address) always fits.
bool allowConnection(ConnectionRate& rate, const std::string& group, std::chrono::microseconds now);

// Forgets the groups whose buckets are full again at `now`, so that memory
// holds only the groups of the last minute.
void forgetFullBuckets(ConnectionRate& rate, std::chrono::microseconds now);
