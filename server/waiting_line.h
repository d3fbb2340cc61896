#pragma once
// The seats of a server and the line of players waiting for one, counted by
// address group. Only bookkeeping, no input or output: the keeper drives it.
//
// A freed seat goes to the group with the fewest games in play among those
// with someone waiting, the one whose oldest waiting connection came first on
// a tie; that connection plays. So a group that reconnects the instant its
// game ends never overtakes a player who waits. A group's games in play plus
// its connections waiting or proving never exceed `perGroup`.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

// Connections are numbered in the order they arrive.
using ConnectionId = std::uint64_t;

enum class Admission { play, wait, prove, groupFull, lineFull };

struct SeatsAndLine {
    long seats = 0;      // games at once
    long perGroup = 0;   // games, waiting and proving connections of one group at once
    long lineBound = 0;  // connections waiting or proving at once

    struct Group {
        long playing = 0;
        long proving = 0;
        std::set<ConnectionId> waiting;
    };
    enum class State { playing, waiting, proving };
    struct Member {
        std::string group;
        State state;
    };
    long inPlay = 0;
    long inLine = 0;  // waiting or proving
    std::unordered_map<std::string, Group> groups;
    std::unordered_map<ConnectionId, Member> members;
    // The groups with someone waiting, the next to get a seat first:
    // (games in play, oldest waiting connection, group).
    std::set<std::tuple<long, ConnectionId, std::string>> nextGroups;
};

// A connection arriving from `group` (empty: a group of its own). With
// `prove`, one that is admitted first proves its work (Admission::prove);
// otherwise it plays at once when a seat is free and nobody waits, or waits.
// groupFull and lineFull leave it out of the bookkeeping.
Admission admit(SeatsAndLine& line, ConnectionId connection, const std::string& group, bool prove);

// A proving connection has proved its work: it plays or waits.
Admission admitProven(SeatsAndLine& line, ConnectionId connection);

// The connection is gone, whatever it was doing. Returns the waiting
// connections that now play, in the order their seats went to them.
std::vector<ConnectionId> leave(SeatsAndLine& line, ConnectionId connection);

// Seats waiting connections while seats are free, as after a game's end or
// more seats. Returns them in the order their seats went to them.
std::vector<ConnectionId> fillSeats(SeatsAndLine& line);

// Every waiting connection with its place in line from 1: the order in which
// seats would go if no game ended but those in play, that is by games of its
// group in play plus its index among its group's waiting, then by arrival.
std::vector<std::pair<ConnectionId, long>> placesInLine(const SeatsAndLine& line);

// The place of one waiting connection, as placesInLine gives it.
long placeInLine(const SeatsAndLine& line, ConnectionId connection);
