#include "waiting_line.h"

#include <algorithm>
#include <functional>
#include <queue>

namespace {

using Group = SeatsAndLine::Group;
using Network = SeatsAndLine::Network;
using Member = SeatsAndLine::Member;
using State = SeatsAndLine::State;

std::string keyOf(const std::string& name, ConnectionId connection) {
    if (!name.empty()) return name;
    // Real group and network names never begin with '#'. Built in two steps:
    // GCC 12 at -O3 takes "#" + std::to_string(...) for an overlapping copy
    // and warns -Wrestrict falsely, which a build with warnings as errors
    // cannot pass.
    std::string key(1, '#');
    key += std::to_string(connection);
    return key;
}

long heldBy(const Group& group) {
    return group.playing + group.proving +
           static_cast<long>(group.waiting.size() + group.unproven.size());
}

long heldBy(const Network& network) {
    return network.playing + network.proving + static_cast<long>(network.places.size());
}

// Takes the group's entry out of nextGroups before its games, its seating or
// its oldest waiting connection change; putBack puts it in again after.
void takeOut(SeatsAndLine& line, const std::string& key, const Group& group) {
    if (!group.waiting.empty()) {
        line.nextGroups.erase({group.playing, group.seatedAt, *group.waiting.begin(), key});
    }
}

void putBack(SeatsAndLine& line, const std::string& key, const Group& group) {
    if (!group.waiting.empty()) {
        line.nextGroups.insert({group.playing, group.seatedAt, *group.waiting.begin(), key});
    }
}

void forgetIfEmpty(SeatsAndLine& line, const Member& member) {
    auto group = line.groups.find(member.group);
    if (group != line.groups.end() && heldBy(group->second) == 0) {
        line.groups.erase(group);
    }
    auto network = line.networks.find(member.network);
    if (network != line.networks.end() && heldBy(network->second) == 0) {
        line.networks.erase(network);
    }
}

bool seatFree(const SeatsAndLine& line) {
    return line.inPlay < line.seats && line.nextGroups.empty();
}

// Gives a seat to a member counted nowhere yet.
void giveSeat(SeatsAndLine& line, Member& member) {
    Group& group = line.groups[member.group];
    takeOut(line, member.group, group);
    ++group.playing;
    group.seatedAt = ++line.seatings;
    putBack(line, member.group, group);
    ++line.networks[member.network].playing;
    ++line.inPlay;
    member.state = State::playing;
}

// Gives a place in line to a member counted nowhere yet.
void givePlace(SeatsAndLine& line, ConnectionId connection, Member& member, State state) {
    Group& group = line.groups[member.group];
    takeOut(line, member.group, group);
    (state == State::waiting ? group.waiting : group.unproven).insert(connection);
    putBack(line, member.group, group);
    line.networks[member.network].places.insert(connection);
    ++line.inLine;
    member.state = state;
}

// Takes the member out of every count, keeping it a member.
void uncount(SeatsAndLine& line, ConnectionId connection, const Member& member) {
    Group& group = line.groups[member.group];
    Network& network = line.networks[member.network];
    takeOut(line, member.group, group);
    switch (member.state) {
    case State::playing:
        --group.playing;
        --network.playing;
        --line.inPlay;
        break;
    case State::waiting:
    case State::provingInLine:
        group.waiting.erase(connection);
        group.unproven.erase(connection);
        network.places.erase(connection);
        --line.inLine;
        break;
    case State::proving:
        --group.proving;
        --network.proving;
        --line.provingApart;
        break;
    }
    putBack(line, member.group, group);
}

// Lets go the newest place of the network holding the most places, when the
// newcomer's network holds nothing and that one holds two or more. Returns
// the connection let go, or 0.
ConnectionId makeRoom(SeatsAndLine& line, const std::string& newcomersNetwork) {
    if (line.networks.count(newcomersNetwork) != 0) {
        return 0;
    }
    const Network* most = nullptr;
    for (const auto& [key, network] : line.networks) {
        if (most == nullptr || network.places.size() > most->places.size()) {
            most = &network;
        }
    }
    if (most == nullptr || most->places.size() < 2) {
        return 0;
    }
    ConnectionId newest = *most->places.rbegin();
    auto member = line.members.find(newest);
    uncount(line, newest, member->second);
    forgetIfEmpty(line, member->second);
    line.members.erase(member);
    return newest;
}

// The order in which seats would go to the places in line if no game ended
// and every connection proving proved: calls `visit(connection, place)` for
// each in turn until it returns false.
void eachPlace(const SeatsAndLine& line, const std::function<bool(ConnectionId, long)>& visit) {
    std::vector<std::vector<ConnectionId>> queues;
    // (games in play, seated at, next connection, its queue, its index in it)
    using Turn = std::tuple<long, std::uint64_t, ConnectionId, size_t, size_t>;
    std::priority_queue<Turn, std::vector<Turn>, std::greater<>> turns;
    for (const auto& [key, group] : line.groups) {
        if (group.waiting.empty() && group.unproven.empty()) continue;
        std::vector<ConnectionId> queue;
        std::merge(group.waiting.begin(), group.waiting.end(), group.unproven.begin(),
                   group.unproven.end(), std::back_inserter(queue));
        turns.push({group.playing, group.seatedAt, queue.front(), queues.size(), 0});
        queues.push_back(std::move(queue));
    }
    std::uint64_t seatings = line.seatings;
    for (long place = 1; !turns.empty(); ++place) {
        auto [playing, seatedAt, connection, queue, index] = turns.top();
        turns.pop();
        if (!visit(connection, place)) return;
        if (index + 1 < queues[queue].size()) {
            turns.push({playing + 1, ++seatings, queues[queue][index + 1], queue, index + 1});
        }
    }
}

}  // namespace

std::vector<ConnectionId> fillSeats(SeatsAndLine& line) {
    std::vector<ConnectionId> seated;
    while (line.inPlay < line.seats && !line.nextGroups.empty()) {
        ConnectionId connection = std::get<2>(*line.nextGroups.begin());
        Member& member = line.members[connection];
        uncount(line, connection, member);
        giveSeat(line, member);
        seated.push_back(connection);
    }
    return seated;
}

Admitted admit(SeatsAndLine& line, ConnectionId connection, const Origin& origin, bool prove) {
    Member member{keyOf(origin.group, connection), keyOf(origin.network, connection), State::waiting};
    auto group = line.groups.find(member.group);
    if (group != line.groups.end() && heldBy(group->second) >= line.perGroup) {
        return {Admission::groupFull};
    }
    auto network = line.networks.find(member.network);
    if (network != line.networks.end() && heldBy(network->second) >= line.perNetwork) {
        return {Admission::networkFull};
    }
    if (seatFree(line)) {
        if (!prove) {
            giveSeat(line, line.members[connection] = member);
            return {Admission::play};
        }
        if (line.inPlay + line.inLine + line.provingApart >= line.seats + line.lineBound) {
            return {Admission::proversFull};
        }
        ++line.groups[member.group].proving;
        ++line.networks[member.network].proving;
        ++line.provingApart;
        member.state = State::proving;
        line.members[connection] = member;
        return {Admission::prove};
    }
    Admitted admitted{prove ? Admission::proveInLine : Admission::wait};
    if (line.inLine >= line.lineBound && (admitted.displaced = makeRoom(line, member.network)) == 0) {
        return {Admission::lineFull};
    }
    givePlace(line, connection, line.members[connection] = member,
              prove ? State::provingInLine : State::waiting);
    return admitted;
}

Admission admitProven(SeatsAndLine& line, ConnectionId connection) {
    auto found = line.members.find(connection);
    if (found == line.members.end() ||
        (found->second.state != State::proving && found->second.state != State::provingInLine)) {
        return Admission::groupFull;
    }
    Member& member = found->second;
    uncount(line, connection, member);
    if (seatFree(line)) {
        giveSeat(line, member);
        return Admission::play;
    }
    givePlace(line, connection, member, State::waiting);
    return Admission::wait;
}

std::vector<ConnectionId> leave(SeatsAndLine& line, ConnectionId connection) {
    auto found = line.members.find(connection);
    if (found == line.members.end()) {
        return {};
    }
    Member member = found->second;
    line.members.erase(found);
    uncount(line, connection, member);
    forgetIfEmpty(line, member);
    return fillSeats(line);
}

std::vector<std::pair<ConnectionId, long>> placesInLine(const SeatsAndLine& line) {
    std::vector<std::pair<ConnectionId, long>> places;
    places.reserve(static_cast<size_t>(line.inLine));
    eachPlace(line, [&](ConnectionId connection, long place) {
        places.push_back({connection, place});
        return true;
    });
    return places;
}

long placeInLine(const SeatsAndLine& line, ConnectionId connection) {
    long found = 0;
    eachPlace(line, [&](ConnectionId each, long place) {
        found = each == connection ? place : 0;
        return found == 0;
    });
    return found;
}
