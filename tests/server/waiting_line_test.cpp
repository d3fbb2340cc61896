#include "waiting_line.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

SeatsAndLine lineOf(long seats, long perGroup, long lineBound) {
    SeatsAndLine line;
    line.seats = seats;
    line.perGroup = perGroup;
    line.lineBound = lineBound;
    return line;
}

// Every count the line keeps agrees with its members.
void expectConsistent(const SeatsAndLine& line) {
    long playing = 0, waiting = 0, proving = 0;
    for (const auto& [id, member] : line.members) {
        playing += member.state == SeatsAndLine::State::playing;
        waiting += member.state == SeatsAndLine::State::waiting;
        proving += member.state == SeatsAndLine::State::proving;
    }
    EXPECT_EQ(line.inPlay, playing);
    EXPECT_EQ(line.inLine, waiting + proving);
    EXPECT_LE(line.inPlay, line.seats);
    for (const auto& [key, group] : line.groups) {
        EXPECT_LE(group.playing + group.proving + static_cast<long>(group.waiting.size()), line.perGroup)
            << key;
        EXPECT_TRUE(group.playing + group.proving + group.waiting.size() > 0) << key << " kept empty";
    }
}

TEST(WaitingLine, PlaysWhileSeatsAreFreeThenWaitsThenTurnsAway) {
    SeatsAndLine line = lineOf(2, 4, 2);
    EXPECT_EQ(admit(line, 1, "a", false), Admission::play);
    EXPECT_EQ(admit(line, 2, "b", false), Admission::play);
    EXPECT_EQ(admit(line, 3, "c", false), Admission::wait);
    EXPECT_EQ(admit(line, 4, "d", false), Admission::wait);
    EXPECT_EQ(admit(line, 5, "e", false), Admission::lineFull);
    EXPECT_EQ(line.members.count(5), 0u);
    expectConsistent(line);
}

TEST(WaitingLine, AGroupsGamesWaitingAndProvingCountAgainstItsLimit) {
    struct Case {
        const char* what;
        bool prove;
        long seats;
    } cases[] = {{"games", false, 10}, {"places in line", false, 0}, {"proving", true, 10}};
    for (const Case& c : cases) {
        SeatsAndLine line = lineOf(c.seats, 2, 10);
        EXPECT_NE(admit(line, 1, "g", c.prove), Admission::groupFull) << c.what;
        EXPECT_NE(admit(line, 2, "g", c.prove), Admission::groupFull) << c.what;
        EXPECT_EQ(admit(line, 3, "g", c.prove), Admission::groupFull) << c.what;
        EXPECT_NE(admit(line, 4, "h", c.prove), Admission::groupFull) << c.what;
        expectConsistent(line);
    }
}

TEST(WaitingLine, ConnectionsWithoutAnAddressAreGroupsOfTheirOwn) {
    SeatsAndLine line = lineOf(10, 1, 10);
    for (ConnectionId id = 1; id <= 5; ++id) {
        EXPECT_EQ(admit(line, id, "", false), Admission::play);
    }
    expectConsistent(line);
}

TEST(WaitingLine, AFreedSeatGoesToTheGroupWithFewestGamesThenToWhoWaitedLongest) {
    SeatsAndLine line = lineOf(3, 4, 10);
    // Group a holds two seats, b one; a waits first, then c, then b.
    admit(line, 1, "a", false);
    admit(line, 2, "a", false);
    admit(line, 3, "b", false);
    EXPECT_EQ(admit(line, 4, "a", false), Admission::wait);
    EXPECT_EQ(admit(line, 5, "c", false), Admission::wait);
    EXPECT_EQ(admit(line, 6, "b", false), Admission::wait);
    // c has no game: first, though a waited longer.
    EXPECT_EQ(leave(line, 1), std::vector<ConnectionId>{5});
    // a, b and c have one game each now: a waited longest.
    EXPECT_EQ(leave(line, 5), std::vector<ConnectionId>{4});
    EXPECT_EQ(leave(line, 2), std::vector<ConnectionId>{6});
    expectConsistent(line);
}

TEST(WaitingLine, AGroupThatReconnectsAtOnceNeverOvertakesAPlayerWhoWaits) {
    SeatsAndLine line = lineOf(4, 4, 100);
    ConnectionId next = 1;
    std::vector<ConnectionId> scripts;
    for (int i = 0; i < 4; ++i) {
        admit(line, next, "script", false);
        scripts.push_back(next++);
    }
    ConnectionId person = next++;
    EXPECT_EQ(admit(line, person, "person", false), Admission::wait);
    // A script's game ends and it reconnects in the same instant.
    std::vector<ConnectionId> seated = leave(line, scripts[0]);
    EXPECT_EQ(seated, std::vector<ConnectionId>{person});
    EXPECT_EQ(admit(line, next, "script", false), Admission::wait);
    expectConsistent(line);
}

TEST(WaitingLine, ANewArrivalWaitsBehindTheLineEvenWithASeatFreeWhileSomeoneProves) {
    SeatsAndLine line = lineOf(1, 4, 10);
    EXPECT_EQ(admit(line, 1, "a", true), Admission::prove);
    EXPECT_EQ(admit(line, 2, "b", true), Admission::prove);
    EXPECT_EQ(admitProven(line, 2), Admission::play);
    EXPECT_EQ(admitProven(line, 1), Admission::wait);
    EXPECT_EQ(admit(line, 3, "c", false), Admission::wait);
    EXPECT_EQ(leave(line, 2), std::vector<ConnectionId>{1});
    EXPECT_EQ(admitProven(line, 3), Admission::groupFull) << "3 never proved";
    expectConsistent(line);
}

TEST(WaitingLine, ProvingConnectionsCountAgainstTheLine) {
    SeatsAndLine line = lineOf(5, 4, 2);
    EXPECT_EQ(admit(line, 1, "a", true), Admission::prove);
    EXPECT_EQ(admit(line, 2, "b", true), Admission::prove);
    EXPECT_EQ(admit(line, 3, "c", true), Admission::lineFull);
    // Without proof of work a free seat is taken at once, line or not.
    EXPECT_EQ(admit(line, 4, "d", false), Admission::play);
    expectConsistent(line);
}

TEST(WaitingLine, LeavingInAnyStateForgetsTheConnection) {
    SeatsAndLine line = lineOf(1, 4, 10);
    admit(line, 1, "a", false);
    admit(line, 2, "b", false);
    admit(line, 3, "c", true);
    EXPECT_TRUE(leave(line, 3).empty());
    EXPECT_TRUE(leave(line, 2).empty());
    EXPECT_TRUE(leave(line, 2).empty()) << "a second leave changes nothing";
    EXPECT_TRUE(leave(line, 1).empty());
    EXPECT_TRUE(line.members.empty());
    EXPECT_TRUE(line.groups.empty());
    EXPECT_TRUE(line.nextGroups.empty());
    EXPECT_EQ(line.inPlay, 0);
    EXPECT_EQ(line.inLine, 0);
}

TEST(WaitingLine, PlacesFollowTheOrderInWhichSeatsWouldGo) {
    SeatsAndLine line = lineOf(2, 4, 10);
    admit(line, 1, "a", false);
    admit(line, 2, "b", false);
    admit(line, 3, "a", false);  // a: one game, first waiting: rank 1
    admit(line, 4, "a", false);  // a: rank 2
    admit(line, 5, "c", false);  // c: no game: rank 0
    admit(line, 6, "b", false);  // b: one game: rank 1, after 3
    std::vector<std::pair<ConnectionId, long>> expected = {{5, 1}, {3, 2}, {6, 3}, {4, 4}};
    EXPECT_EQ(placesInLine(line), expected);
    for (auto [id, place] : expected) {
        EXPECT_EQ(placeInLine(line, id), place);
    }
    EXPECT_EQ(placeInLine(line, 1), 0) << "a player at a game has no place";
    // Games ending in turn, the seats go in the order of the places.
    std::vector<ConnectionId> seated;
    for (ConnectionId player : {2, 1, 5, 3}) {
        for (ConnectionId next : leave(line, player)) {
            seated.push_back(next);
        }
    }
    EXPECT_EQ(seated, (std::vector<ConnectionId>{5, 3, 6, 4}));
}

TEST(WaitingLine, HoldsItsRulesThroughAThousandRandomSteps) {
    SeatsAndLine line = lineOf(7, 3, 20);
    unsigned state = 12345;
    auto random = [&](unsigned below) {
        state = state * 1103515245 + 12345;
        return (state >> 16) % below;
    };
    ConnectionId next = 1;
    for (int step = 0; step < 1000; ++step) {
        if (random(3) != 0) {
            bool prove = random(4) == 0;
            admit(line, next++, std::string(1, static_cast<char>('a' + random(6))), prove);
        } else if (!line.members.empty()) {
            auto it = line.members.begin();
            std::advance(it, random(static_cast<unsigned>(line.members.size())));
            if (it->second.state == SeatsAndLine::State::proving && random(2) == 0) {
                admitProven(line, it->first);
            } else {
                leave(line, it->first);
            }
        }
        // Nobody waits while a seat is free.
        if (line.inPlay < line.seats) {
            ASSERT_TRUE(line.nextGroups.empty()) << "step " << step;
        }
    }
    expectConsistent(line);
}

}  // namespace
