#pragma once
// The seats of a server and the line of players waiting for one, counted by
// address group and by network. Only bookkeeping, no input or output: the
// keeper drives it.
//
// Who is seated next: a freed seat goes to a group with the fewest games in
// play, among those to the group seated least recently (a group never seated
// first, the one whose waiting player came first among those), and within it
// to its longest waiter. How many connections a group keeps waiting never
// moves it forward, and a group just seated goes behind every other.
//
// Limits: a group's games, waiting and proving connections never exceed
// perGroup, a network's never perNetwork; the line holds lineBound places.
// When the line is full, a newcomer whose network holds nothing takes the
// newest place of the network holding the most, if that one holds two or
// more. A connection proving its work while a seat is free holds no seat and
// no place; one that arrives when every seat is taken holds a place in line
// while it proves. The keeper holds at most seats + lineBound connections.
#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

// Connections are numbered in the order they arrive.
using ConnectionId = std::uint64_t;

enum class Admission {
    play,
    wait,
    prove,        // proves its work first, holding no place
    proveInLine,  // holds a place in line and proves its work meanwhile
    groupFull,    // its address group holds perGroup
    networkFull,  // its network holds perNetwork
    lineFull,     // every seat and every place is taken
    proversFull,  // seats free, but as many connections prove as the keeper holds
};

// Where a connection comes from: its address group and its wider network.
// An empty name makes a group or network of the connection's own.
struct Origin {
    std::string group;
    std::string network;
};

struct SeatsAndLine {
    long seats = 0;       // games at once
    long perGroup = 0;    // games, waiting and proving connections of one group at once
    long perNetwork = 0;  // the same of one network
    long lineBound = 0;   // places in line

    struct Group {
        long playing = 0;
        long proving = 0;                 // proving without a place
        std::set<ConnectionId> waiting;   // proven, with a place
        std::set<ConnectionId> unproven;  // proving with a place
        std::uint64_t seatedAt = 0;       // `seatings` when it was last seated; 0: never
    };
    struct Network {
        long playing = 0;
        long proving = 0;               // proving without a place
        std::set<ConnectionId> places;  // waiting or proving with a place
    };
    enum class State { playing, waiting, proving, provingInLine };
    struct Member {
        std::string group;
        std::string network;
        State state;
    };
    long inPlay = 0;
    long inLine = 0;        // places held: waiting, or proving with a place
    long provingApart = 0;  // proving without a place
    std::uint64_t seatings = 0;
    std::unordered_map<std::string, Group> groups;
    std::unordered_map<std::string, Network> networks;
    std::unordered_map<ConnectionId, Member> members;
    // The groups with a proven waiter, the next to get a seat first:
    // (games in play, seated at, oldest waiting connection, group).
    std::set<std::tuple<long, std::uint64_t, ConnectionId, std::string>> nextGroups;
};

// What admit decided, and the connection it let go to make room (0: none):
// that one is out of the bookkeeping already.
struct Admitted {
    Admission admission;
    ConnectionId displaced = 0;
};

// A connection arriving from `origin`. With `prove`, one that is admitted
// proves its work first; otherwise it plays at once when a seat is free and
// nobody waits, or waits. A refusal leaves it out of the bookkeeping.
Admitted admit(SeatsAndLine& line, ConnectionId connection, const Origin& origin, bool prove);

// A proving connection has proved its work: it plays or waits (keeping its
// place if it had one). groupFull for a connection that was not proving.
Admission admitProven(SeatsAndLine& line, ConnectionId connection);

// The connection is gone, whatever it was doing. Returns the waiting
// connections that now play, in the order their seats went to them.
std::vector<ConnectionId> leave(SeatsAndLine& line, ConnectionId connection);

// Seats waiting connections while seats are free, as after a game's end or
// more seats. Returns them in the order their seats went to them.
std::vector<ConnectionId> fillSeats(SeatsAndLine& line);

// Every connection with a place in line, with that place from 1: the order in
// which seats would go by the rule above if every game in play went on and
// every connection proving proved. O(places × log groups).
std::vector<std::pair<ConnectionId, long>> placesInLine(const SeatsAndLine& line);

// The place of one connection, as placesInLine gives it; 0 when it has none.
long placeInLine(const SeatsAndLine& line, ConnectionId connection);
