#include "keeper_socket.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* socketName = "keeper";
// Games waiting to be accepted by a busy keeper: a burst's worth, as the
// kernel caps it (somaxconn).
constexpr int acceptBacklog = 4096;

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

bool fillAddress(const std::string& name, bool abstract, sockaddr_un& address, socklen_t& size) {
    address = {};
    address.sun_family = AF_UNIX;
    size_t offset = abstract ? 1 : 0;
    if (name.size() + offset >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path + offset, name.data(), name.size());
    size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + name.size() +
                                  (abstract ? 0 : 1));
    return true;
}

int listenOn(const std::string& name, bool abstract, std::string& problem) {
    sockaddr_un address;
    socklen_t size;
    if (!fillAddress(name, abstract, address, size)) {
        problem = "the keeper's socket name is too long: " + name;
        return -1;
    }
    int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener, acceptBacklog) != 0) {
        problem = systemError("cannot listen for games on " + name);
        if (listener >= 0) {
            close(listener);
        }
        return -1;
    }
    return listener;
}

}  // namespace

bool checkSeatsFolder(const std::string& folder, std::string& problem) {
    int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
        problem = systemError("the seats folder " + folder);
        return false;
    }
    struct stat status {};
    fstat(descriptor, &status);
    close(descriptor);
    if (status.st_uid != geteuid() || (status.st_mode & 07777) != 0700) {
        problem = "the seats folder " + folder + " must belong to this user and have mode 0700";
        return false;
    }
    return true;
}

// KESTIV_SEATS is taken as it is: a link there is refused. systemd's runtime
// folder of a dynamic user may be a link it made itself, in a folder only
// root may change, so that one is followed.
std::string seatsFolder() {
    const char* given = std::getenv("KESTIV_SEATS");
    if (given != nullptr && *given != '\0') {
        return given;
    }
    given = std::getenv("RUNTIME_DIRECTORY");
    if (given == nullptr || *given == '\0') {
        return "";
    }
    char resolved[PATH_MAX];
    return realpath(given, resolved) != nullptr ? resolved : given;
}

int listenUnderRandomName(std::string& name, std::string& problem) {
    unsigned char random[16];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        problem = systemError("cannot draw a random name for the keeper's socket");
        return -1;
    }
    name = "kestiv-keeper-";
    for (unsigned char byte : random) {
        name += "0123456789abcdef"[byte >> 4];
        name += "0123456789abcdef"[byte & 15];
    }
    return listenOn(name, true, problem);
}

int listenInFolder(const std::string& folder, std::string& problem) {
    if (!checkSeatsFolder(folder, problem)) {
        return -1;
    }
    std::string path = folder + "/" + socketName;
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        problem = systemError("cannot replace " + path);
        return -1;
    }
    return listenOn(path, false, problem);
}

int connectToKeeper(std::string& problem) {
    const char* given = std::getenv(keeperNameVariable);
    std::string name = given != nullptr ? given : "";
    bool abstract = !name.empty();
    unsetenv(keeperNameVariable);
    if (!abstract) {
        std::string folder = seatsFolder();
        if (folder.empty()) {
            problem =
                "no keeper to ask: neither KESTIV_KEEPER, KESTIV_SEATS nor systemd's "
                "RUNTIME_DIRECTORY is set";
            return -1;
        }
        if (!checkSeatsFolder(folder, problem)) {
            return -1;
        }
        name = folder + "/" + socketName;
    }
    sockaddr_un address;
    socklen_t size;
    if (!fillAddress(name, abstract, address, size)) {
        problem = "the keeper's socket name is too long: " + name;
        return -1;
    }
    int channel = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (channel < 0 || connect(channel, reinterpret_cast<sockaddr*>(&address), size) != 0) {
        problem = systemError("cannot reach the seat keeper at " + name);
        if (channel >= 0) {
            close(channel);
        }
        return -1;
    }
    if (!peerIsThisUser(channel)) {
        problem = "the seat keeper at " + name + " runs as another user";
        close(channel);
        return -1;
    }
    return channel;
}

bool peerIsThisUser(int socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == geteuid();
}
