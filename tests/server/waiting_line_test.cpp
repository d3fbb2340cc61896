#include "waiting_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

SeatsAndLine lineOf(long seats, long perGroup, long lineBound, long perNetwork = 1000) {
    SeatsAndLine line;
    line.seats = seats;
    line.perGroup = perGroup;
    line.perNetwork = perNetwork;
    line.lineBound = lineBound;
    return line;
}

// A connection of `group`, in a network of that group's own unless named.
Admission arrive(SeatsAndLine& line, ConnectionId id, const std::string& group, bool prove = false,
                 const std::string& network = "") {
    std::string own = group.empty() ? "" : "net-" + group;
    return admit(line, id, {group, network.empty() ? own : network}, prove).admission;
}

// Every count the line keeps agrees with its members.
void expectConsistent(const SeatsAndLine& line) {
    long playing = 0, placed = 0, apart = 0;
    for (const auto& [id, member] : line.members) {
        playing += member.state == SeatsAndLine::State::playing;
        placed += member.state == SeatsAndLine::State::waiting ||
                  member.state == SeatsAndLine::State::provingInLine;
        apart += member.state == SeatsAndLine::State::proving;
    }
    EXPECT_EQ(line.inPlay, playing);
    EXPECT_EQ(line.inLine, placed);
    EXPECT_EQ(line.provingApart, apart);
    EXPECT_LE(line.inPlay, line.seats);
    EXPECT_LE(line.inPlay + line.inLine + line.provingApart, line.seats + line.lineBound);
    for (const auto& [key, group] : line.groups) {
        long held = group.playing + group.proving +
                    static_cast<long>(group.waiting.size() + group.unproven.size());
        EXPECT_LE(held, line.perGroup) << key;
        EXPECT_GT(held, 0) << key << " kept empty";
    }
    for (const auto& [key, network] : line.networks) {
        long held = network.playing + network.proving + static_cast<long>(network.places.size());
        EXPECT_LE(held, line.perNetwork) << key;
        EXPECT_GT(held, 0) << key << " kept empty";
    }
}

// Ends games one by one, each game ending the first in `ending` still in
// play, until `wanted` is seated; returns how many seats went before its own
// and its own, that is the place it had.
long seatsUntil(SeatsAndLine& line, ConnectionId wanted, std::vector<ConnectionId> ending) {
    long seatings = 0;
    while (!ending.empty()) {
        ConnectionId next = ending.front();
        ending.erase(ending.begin());
        for (ConnectionId seated : leave(line, next)) {
            ++seatings;
            if (seated == wanted) return seatings;
            ending.push_back(seated);
        }
    }
    return 0;
}

TEST(WaitingLine, PlaysWhileSeatsAreFreeThenWaitsThenTurnsAway) {
    SeatsAndLine line = lineOf(2, 4, 2);
    EXPECT_EQ(arrive(line, 1, "a"), Admission::play);
    EXPECT_EQ(arrive(line, 2, "b"), Admission::play);
    EXPECT_EQ(arrive(line, 3, "c"), Admission::wait);
    EXPECT_EQ(arrive(line, 4, "d"), Admission::wait);
    EXPECT_EQ(arrive(line, 5, "e"), Admission::lineFull);
    EXPECT_EQ(line.members.count(5), 0u);
    expectConsistent(line);
}

TEST(WaitingLine, GamesPlacesAndProofsCountAgainstTheGroupAndTheNetwork) {
    struct Case {
        const char* what;
        bool prove;
        long seats;
        bool sameGroup;  // else groups of their own in one network
        Admission third;
    } cases[] = {
        {"a group's games", false, 10, true, Admission::groupFull},
        {"a group's places in line", false, 0, true, Admission::groupFull},
        {"a group's proofs", true, 10, true, Admission::groupFull},
        {"a group's proofs in line", true, 0, true, Admission::groupFull},
        {"a network's games", false, 10, false, Admission::networkFull},
        {"a network's places in line", false, 0, false, Admission::networkFull},
        {"a network's proofs", true, 10, false, Admission::networkFull},
    };
    for (const Case& c : cases) {
        SeatsAndLine line = lineOf(c.seats, 2, 10, 2);
        for (ConnectionId id : {1, 2}) {
            std::string group = c.sameGroup ? "g" : "g" + std::to_string(id);
            Admission admission = arrive(line, id, group, c.prove, "n");
            EXPECT_TRUE(admission != Admission::groupFull && admission != Admission::networkFull)
                << c.what;
        }
        EXPECT_EQ(arrive(line, 3, c.sameGroup ? "g" : "g3", c.prove, "n"), c.third) << c.what;
        EXPECT_EQ(line.members.count(3), 0u) << c.what;
        Admission other = arrive(line, 4, "h", c.prove, "m");
        EXPECT_TRUE(other != Admission::groupFull && other != Admission::networkFull) << c.what;
        expectConsistent(line);
    }
}

TEST(WaitingLine, ConnectionsWithoutAnAddressAreGroupsAndNetworksOfTheirOwn) {
    SeatsAndLine line = lineOf(10, 1, 10, 1);
    for (ConnectionId id = 1; id <= 5; ++id) {
        EXPECT_EQ(admit(line, id, {"", ""}, false).admission, Admission::play);
    }
    expectConsistent(line);
}

TEST(WaitingLine, AFreedSeatGoesToFewestGamesThenLeastRecentlySeatedThenLongestWaiter) {
    struct Case {
        const char* rule;
        std::vector<std::pair<ConnectionId, std::string>> arrivals;  // seats 3: the first three play
        std::vector<ConnectionId> ending;                            // games ending in turn
        std::vector<ConnectionId> seated;                            // who gets the seats freed
    } cases[] = {
        {"fewest games first, then the group seated least recently",
         {{1, "a"}, {2, "a"}, {3, "b"}, {4, "a"}, {5, "c"}, {6, "b"}},
         {1, 5, 2},
         {5, 4, 6}},
        {"never seated before seated, then by who waited first",
         {{1, "a"}, {2, "b"}, {3, "c"}, {4, "a"}, {5, "d"}, {6, "e"}},
         {1, 2, 3},
         {5, 6, 4}},
        {"within a group, its longest waiter",
         {{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "d"}, {6, "d"}},
         {1, 2, 3},
         {4, 5, 6}},
        {"many waiting connections never move a group forward",
         {{1, "t"}, {2, "t"}, {3, "s"}, {4, "s"}, {5, "s"}, {6, "s"}, {7, "p"}},
         {3, 1, 2},
         {7, 4, 5}},
    };
    for (const Case& c : cases) {
        SeatsAndLine line = lineOf(3, 10, 10);
        for (auto [id, group] : c.arrivals) {
            arrive(line, id, group);
        }
        std::vector<ConnectionId> seated;
        for (ConnectionId ended : c.ending) {
            for (ConnectionId next : leave(line, ended)) seated.push_back(next);
        }
        EXPECT_EQ(seated, c.seated) << c.rule;
        expectConsistent(line);
    }
}

TEST(WaitingLine, APersonAmongScriptsThatKeepConnectionsWaitingIsSeatedAtThePlaceTold) {
    // 10 seats; 50 script groups of 4 connections each, every one
    // reconnecting the instant its game ends; then a person.
    SeatsAndLine line = lineOf(10, 4, 500);
    ConnectionId next = 1;
    std::vector<ConnectionId> playing;
    for (int script = 0; script < 50; ++script) {
        for (int connection = 0; connection < 4; ++connection) {
            if (arrive(line, next, "script" + std::to_string(script)) == Admission::play)
                playing.push_back(next);
            ++next;
        }
    }
    ConnectionId person = next++;
    ASSERT_EQ(arrive(line, person, "person"), Admission::wait);
    long told = placeInLine(line, person);
    EXPECT_EQ(told, 48) << "behind the 47 script groups never seated, ahead of the 3 seated";
    EXPECT_EQ(seatsUntil(line, person, playing), told);
    expectConsistent(line);
}

TEST(WaitingLine, PlacesFollowTheOrderInWhichSeatsWouldGo) {
    SeatsAndLine line = lineOf(2, 4, 10);
    arrive(line, 1, "a");
    arrive(line, 2, "b");
    arrive(line, 3, "a");  // a: one game, seated first
    arrive(line, 4, "a");
    arrive(line, 5, "c");  // c: no game
    arrive(line, 6, "b");  // b: one game, seated after a
    std::vector<std::pair<ConnectionId, long>> expected = {{5, 1}, {3, 2}, {6, 3}, {4, 4}};
    EXPECT_EQ(placesInLine(line), expected);
    for (auto [id, place] : expected) {
        EXPECT_EQ(placeInLine(line, id), place);
    }
    EXPECT_EQ(placeInLine(line, 1), 0) << "a player at a game has no place";
    std::vector<ConnectionId> seated;
    for (ConnectionId player : {2, 1, 5, 3}) {
        for (ConnectionId next : leave(line, player)) seated.push_back(next);
    }
    EXPECT_EQ(seated, (std::vector<ConnectionId>{5, 3, 6, 4}));
}

TEST(WaitingLine, ProofOfWorkHoldsNoPlaceWhileSeatsAreFreeAndAPlaceWhenTheyAreNot) {
    struct Case {
        const char* what;
        long seats, lineBound, playing;  // games already in play, of other groups
        Admission admission;
        long inLine;
    } cases[] = {
        {"seats free, no line at all", 2, 0, 0, Admission::prove, 0},
        {"seats free, a line", 2, 5, 1, Admission::prove, 0},
        {"every seat taken", 1, 5, 1, Admission::proveInLine, 1},
        {"every seat taken and no line", 1, 0, 1, Admission::lineFull, 0},
    };
    for (const Case& c : cases) {
        SeatsAndLine line = lineOf(c.seats, 4, c.lineBound);
        for (ConnectionId id = 1; id <= static_cast<ConnectionId>(c.playing); ++id) {
            arrive(line, id, "player" + std::to_string(id));
        }
        EXPECT_EQ(arrive(line, 100, "prover", true), c.admission) << c.what;
        EXPECT_EQ(line.inLine, c.inLine) << c.what;
        expectConsistent(line);
    }
}

TEST(WaitingLine, UnansweredChallengesNeverShutOutANewcomerWhileSeatsAreFree) {
    // Ten seats, a line of 20: 5 groups × 4 challenges never answered.
    SeatsAndLine line = lineOf(10, 4, 20);
    ConnectionId next = 1;
    for (int group = 0; group < 5; ++group) {
        for (int challenge = 0; challenge < 4; ++challenge) {
            EXPECT_EQ(arrive(line, next++, "idle" + std::to_string(group), true), Admission::prove);
        }
    }
    EXPECT_EQ(arrive(line, next, "person", true), Admission::prove);
    EXPECT_EQ(admitProven(line, next), Admission::play);
    // Beyond seats + line connections held, the keeper holds no more.
    for (int group = 5; line.inPlay + line.inLine + line.provingApart < 30; ++group) {
        arrive(line, ++next, "idle" + std::to_string(group), true);
    }
    EXPECT_EQ(arrive(line, ++next, "late", true), Admission::proversFull);
    expectConsistent(line);
}

TEST(WaitingLine, AProvenConnectionPlaysOrWaitsKeepingItsPlace) {
    SeatsAndLine line = lineOf(1, 4, 10);
    EXPECT_EQ(arrive(line, 1, "a", true), Admission::prove);
    EXPECT_EQ(arrive(line, 2, "b", true), Admission::prove);
    EXPECT_EQ(admitProven(line, 2), Admission::play);
    EXPECT_EQ(admitProven(line, 1), Admission::wait) << "proven when the seats are taken";
    EXPECT_EQ(arrive(line, 3, "c", true), Admission::proveInLine);
    EXPECT_EQ(arrive(line, 4, "d"), Admission::wait);
    EXPECT_EQ(placeInLine(line, 3), 2) << "a place held while proving";
    EXPECT_EQ(leave(line, 2), std::vector<ConnectionId>{1});
    EXPECT_EQ(leave(line, 1), std::vector<ConnectionId>{4}) << "an unproven place is never seated";
    EXPECT_EQ(admitProven(line, 3), Admission::wait);
    EXPECT_EQ(placeInLine(line, 3), 1);
    EXPECT_EQ(admitProven(line, 3), Admission::groupFull) << "3 proves only once";
    EXPECT_EQ(admitProven(line, 4), Admission::groupFull) << "4 never proved";
    expectConsistent(line);
}

TEST(WaitingLine, ANetworkThatHoldsNothingTakesAPlaceFromTheNetworkHoldingTheMost) {
    struct Case {
        const char* what;
        std::vector<std::string> placesOf;  // the networks of the line's places, in arrival order
        std::string newcomer;
        Admission admission;
        ConnectionId displaced;
    } cases[] = {
        {"the newest place of the network holding most",
         {"n1", "n2", "n2", "n1", "n2"},
         "fresh",
         Admission::wait,
         15},
        {"every network holds one place", {"n1", "n2", "n3"}, "fresh", Admission::lineFull, 0},
        {"the newcomer's network holds a place", {"n1", "n2", "n2"}, "n1", Admission::lineFull, 0},
        {"the newcomer's network holds a game", {"n1", "n1", "n1"}, "players", Admission::lineFull, 0},
    };
    for (const Case& c : cases) {
        SeatsAndLine line = lineOf(1, 10, static_cast<long>(c.placesOf.size()));
        arrive(line, 1, "player", false, "players");
        ConnectionId id = 11;
        for (const std::string& network : c.placesOf) {
            ASSERT_EQ(arrive(line, id, "g" + std::to_string(id), false, network), Admission::wait)
                << c.what;
            ++id;
        }
        Admitted admitted = admit(line, 100, {"newcomer", c.newcomer}, false);
        EXPECT_EQ(admitted.admission, c.admission) << c.what;
        EXPECT_EQ(admitted.displaced, c.displaced) << c.what;
        EXPECT_EQ(line.members.count(c.displaced), 0u) << c.what;
        expectConsistent(line);
    }
}

TEST(WaitingLine, ManyGroupsOfOneNetworkCannotTakeTheWholeLineFromAnotherNetwork) {
    // A /48 used as 200 /64s of 4 connections each, 10 seats, a line of 500,
    // up to 16 of a network: then people of other networks.
    SeatsAndLine line = lineOf(10, 4, 500, 16);
    ConnectionId next = 1;
    long heldByTheNetwork = 0;
    for (int group = 0; group < 200; ++group) {
        for (int connection = 0; connection < 4; ++connection) {
            Admission admission = arrive(line, next++, "64-" + std::to_string(group), false, "48");
            heldByTheNetwork += admission == Admission::play || admission == Admission::wait;
        }
    }
    EXPECT_EQ(heldByTheNetwork, 16);
    // Its 6 places go one by one to people of networks that held none, down
    // to the one place that every network then holds.
    for (int person = 0; person < 499; ++person) {
        std::string network = "person" + std::to_string(person);
        Admission admission = arrive(line, next++, network, false, network);
        EXPECT_TRUE(admission == Admission::play || admission == Admission::wait) << person;
    }
    EXPECT_EQ(line.networks["48"].places.size(), 1u);
    EXPECT_EQ(arrive(line, next, "last", false, "last"), Admission::lineFull);
    expectConsistent(line);
}

TEST(WaitingLine, LeavingInAnyStateForgetsTheConnection) {
    SeatsAndLine line = lineOf(1, 4, 10);
    arrive(line, 1, "a");
    arrive(line, 2, "b");
    arrive(line, 3, "c", true);
    arrive(line, 4, "d", true);
    for (ConnectionId id : {3, 4, 2}) {
        EXPECT_TRUE(leave(line, id).empty()) << id;
    }
    EXPECT_TRUE(leave(line, 2).empty()) << "a second leave changes nothing";
    EXPECT_TRUE(leave(line, 1).empty());
    EXPECT_TRUE(line.members.empty());
    EXPECT_TRUE(line.groups.empty());
    EXPECT_TRUE(line.networks.empty());
    EXPECT_TRUE(line.nextGroups.empty());
    EXPECT_EQ(line.inPlay + line.inLine + line.provingApart, 0);
}

TEST(WaitingLine, HoldsItsRulesThroughAThousandRandomSteps) {
    SeatsAndLine line = lineOf(7, 3, 20, 5);
    unsigned state = 12345;
    auto random = [&](unsigned below) {
        state = state * 1103515245 + 12345;
        return (state >> 16) % below;
    };
    ConnectionId next = 1;
    for (int step = 0; step < 1000; ++step) {
        if (random(3) != 0) {
            unsigned group = random(8);
            arrive(line, next++, std::string(1, static_cast<char>('a' + group)), random(4) == 0,
                   std::to_string(group / 3));
        } else if (!line.members.empty()) {
            auto it = line.members.begin();
            std::advance(it, random(static_cast<unsigned>(line.members.size())));
            if (it->second.state != SeatsAndLine::State::playing &&
                it->second.state != SeatsAndLine::State::waiting && random(2) == 0) {
                admitProven(line, it->first);
            } else {
                leave(line, it->first);
            }
        }
        // Nobody proven waits while a seat is free.
        if (line.inPlay < line.seats) {
            ASSERT_TRUE(line.nextGroups.empty()) << "step " << step;
        }
        ASSERT_EQ(static_cast<long>(placesInLine(line).size()), line.inLine) << "step " << step;
    }
    expectConsistent(line);
}

}  // namespace
