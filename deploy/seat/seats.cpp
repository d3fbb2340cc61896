#include "seats.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Longer than any textual IPv6 address with a zone.
constexpr size_t addressBytes = 64;

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// Opens the folder itself, never what a link in its place points to.
int openSeatsFolder(const std::string& folder, std::string& problem) {
    int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
        problem = systemError("the seats folder " + folder);
        return -1;
    }
    struct stat status {};
    fstat(descriptor, &status);
    if (status.st_uid != geteuid() || (status.st_mode & 07777) != 0700) {
        problem = "the seats folder " + folder + " must belong to this user and have mode 0700";
        close(descriptor);
        return -1;
    }
    return descriptor;
}

int openSeatFile(int folder, const std::string& name) {
    return openat(folder, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
}

std::string seatAddress(int seat) {
    char text[addressBytes] = {};
    ssize_t length = pread(seat, text, sizeof text, 0);
    return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
}

}  // namespace

bool checkSeatsFolder(const std::string& folder, std::string& problem) {
    int descriptor = openSeatsFolder(folder, problem);
    if (descriptor < 0) {
        return false;
    }
    close(descriptor);
    return true;
}

SeatOutcome takeSeat(const std::string& folder, long games, long perAddress,
                     const std::string& address, int& seatDescriptor, std::string& problem) {
    int folderDescriptor = openSeatsFolder(folder, problem);
    if (folderDescriptor < 0) {
        return SeatOutcome::broken;
    }
    // Players arriving together choose one at a time: the count of an
    // address's games cannot change between counting and sitting down.
    int door = openSeatFile(folderDescriptor, "door");
    if (door < 0 || flock(door, LOCK_EX) != 0) {
        problem = systemError("the seats' door in " + folder);
        close(folderDescriptor);
        return SeatOutcome::broken;
    }
    long first = getpid() % games;
    int chosen = -1;
    long gamesOfAddress = 0;
    for (long step = 0; step < games; ++step) {
        int seat = openSeatFile(folderDescriptor, "seat." + std::to_string((first + step) % games));
        if (seat < 0) {
            problem = systemError("a seat file in " + folder);
            break;
        }
        if (flock(seat, LOCK_EX | LOCK_NB) == 0) {
            if (chosen < 0) {
                chosen = seat;
                continue;
            }
        } else if (!address.empty() && seatAddress(seat) == address) {
            ++gamesOfAddress;
        }
        close(seat);
    }
    SeatOutcome outcome = SeatOutcome::taken;
    if (!problem.empty()) {
        outcome = SeatOutcome::broken;
    } else if (!address.empty() && gamesOfAddress >= perAddress) {
        outcome = SeatOutcome::addressFull;
    } else if (chosen < 0) {
        outcome = SeatOutcome::full;
    } else if (ftruncate(chosen, 0) != 0 || pwrite(chosen, address.data(), address.size(), 0) !=
                                                static_cast<ssize_t>(address.size())) {
        problem = systemError("a seat file in " + folder);
        outcome = SeatOutcome::broken;
    }
    if (outcome == SeatOutcome::taken) {
        // The game's processes inherit the lock and hold the seat to their end.
        fcntl(chosen, F_SETFD, 0);
        seatDescriptor = chosen;
    } else if (chosen >= 0) {
        close(chosen);
    }
    close(door);
    close(folderDescriptor);
    return outcome;
}

std::string peerAddress() {
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (getpeername(STDIN_FILENO, reinterpret_cast<sockaddr*>(&peer), &size) != 0) {
        return "";
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (peer.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&peer)->sin_addr, text, sizeof text);
    } else if (peer.ss_family == AF_INET6) {
        const in6_addr& address = reinterpret_cast<sockaddr_in6*>(&peer)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&address)) {
            inet_ntop(AF_INET, &address.s6_addr[12], text, sizeof text);
        } else {
            inet_ntop(AF_INET6, &address, text, sizeof text);
        }
    }
    return text;
}
