#include "waiting_line.h"

#include <algorithm>

namespace {

using Group = SeatsAndLine::Group;
using State = SeatsAndLine::State;

std::string groupKey(const std::string& group, ConnectionId connection) {
    if (!group.empty()) return group;
    // Real group names never begin with '#'.
    std::string key(1, '#');
    key += std::to_string(connection);
    return key;
}

// Takes the group's entry out of nextGroups before its games or its oldest
// waiting connection change; putBack puts it in again after.
void takeOut(SeatsAndLine& line, const std::string& key, const Group& group) {
    if (!group.waiting.empty()) {
        line.nextGroups.erase({group.playing, *group.waiting.begin(), key});
    }
}

void putBack(SeatsAndLine& line, const std::string& key, const Group& group) {
    if (!group.waiting.empty()) {
        line.nextGroups.insert({group.playing, *group.waiting.begin(), key});
    }
}

void forgetIfEmpty(SeatsAndLine& line, const std::string& key) {
    auto found = line.groups.find(key);
    if (found != line.groups.end() && found->second.playing == 0 && found->second.proving == 0 &&
        found->second.waiting.empty()) {
        line.groups.erase(found);
    }
}

// Seats or queues a connection already counted in its group.
Admission seatOrQueue(SeatsAndLine& line, ConnectionId connection, const std::string& key) {
    Group& group = line.groups[key];
    SeatsAndLine::Member& member = line.members[connection];
    member.group = key;
    bool seatFree = line.inPlay < line.seats && line.nextGroups.empty();
    takeOut(line, key, group);
    Admission admission = Admission::wait;
    if (seatFree) {
        ++group.playing;
        ++line.inPlay;
        member.state = State::playing;
        admission = Admission::play;
    } else {
        group.waiting.insert(connection);
        ++line.inLine;
        member.state = State::waiting;
    }
    putBack(line, key, group);
    return admission;
}

// Each waiting connection's rank: games of its group in play plus its index
// among its group's waiting, then its arrival.
std::vector<std::pair<long, ConnectionId>> ranks(const SeatsAndLine& line) {
    std::vector<std::pair<long, ConnectionId>> ranked;
    for (const auto& [key, group] : line.groups) {
        long index = 0;
        for (ConnectionId connection : group.waiting) {
            ranked.push_back({group.playing + index++, connection});
        }
    }
    return ranked;
}

}  // namespace

std::vector<ConnectionId> fillSeats(SeatsAndLine& line) {
    std::vector<ConnectionId> seated;
    while (line.inPlay < line.seats && !line.nextGroups.empty()) {
        auto [playing, connection, key] = *line.nextGroups.begin();
        Group& group = line.groups[key];
        takeOut(line, key, group);
        group.waiting.erase(connection);
        ++group.playing;
        putBack(line, key, group);
        ++line.inPlay;
        --line.inLine;
        line.members[connection].state = State::playing;
        seated.push_back(connection);
    }
    return seated;
}

Admission admit(SeatsAndLine& line, ConnectionId connection, const std::string& group, bool prove) {
    std::string key = groupKey(group, connection);
    auto found = line.groups.find(key);
    if (found != line.groups.end()) {
        const Group& counted = found->second;
        if (counted.playing + counted.proving + static_cast<long>(counted.waiting.size()) >=
            line.perGroup) {
            return Admission::groupFull;
        }
    }
    bool seatFree = line.inPlay < line.seats && line.nextGroups.empty();
    if ((prove || !seatFree) && line.inLine >= line.lineBound) {
        return Admission::lineFull;
    }
    if (prove) {
        ++line.groups[key].proving;
        ++line.inLine;
        line.members[connection] = {key, State::proving};
        return Admission::prove;
    }
    return seatOrQueue(line, connection, key);
}

Admission admitProven(SeatsAndLine& line, ConnectionId connection) {
    auto found = line.members.find(connection);
    if (found == line.members.end() || found->second.state != State::proving) {
        return Admission::groupFull;
    }
    std::string key = found->second.group;
    --line.groups[key].proving;
    --line.inLine;
    return seatOrQueue(line, connection, key);
}

std::vector<ConnectionId> leave(SeatsAndLine& line, ConnectionId connection) {
    auto found = line.members.find(connection);
    if (found == line.members.end()) {
        return {};
    }
    auto [key, state] = found->second;
    line.members.erase(found);
    Group& group = line.groups[key];
    takeOut(line, key, group);
    switch (state) {
    case State::playing:
        --group.playing;
        --line.inPlay;
        break;
    case State::waiting:
        group.waiting.erase(connection);
        --line.inLine;
        break;
    case State::proving:
        --group.proving;
        --line.inLine;
        break;
    }
    putBack(line, key, group);
    forgetIfEmpty(line, key);
    return fillSeats(line);
}

std::vector<std::pair<ConnectionId, long>> placesInLine(const SeatsAndLine& line) {
    std::vector<std::pair<long, ConnectionId>> ranked = ranks(line);
    std::sort(ranked.begin(), ranked.end());
    std::vector<std::pair<ConnectionId, long>> places;
    places.reserve(ranked.size());
    for (size_t index = 0; index < ranked.size(); ++index) {
        places.push_back({ranked[index].second, static_cast<long>(index) + 1});
    }
    return places;
}

long placeInLine(const SeatsAndLine& line, ConnectionId connection) {
    std::vector<std::pair<long, ConnectionId>> ranked = ranks(line);
    auto own = std::find_if(ranked.begin(), ranked.end(),
                            [&](const auto& entry) { return entry.second == connection; });
    if (own == ranked.end()) {
        return 0;
    }
    return 1 + std::count_if(ranked.begin(), ranked.end(),
                             [&](const auto& entry) { return entry < *own; });
}
