#include "status.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "settings.h"
#include "status_report.h"

namespace {

// A server that answers at all answers within this time.
constexpr int answerSeconds = 5;
// The metrics of a server are a few kilobytes.
constexpr size_t answerLimit = 1 << 20;

// Where to ask for the metrics at KESTIV_METRICS: the address it names, or
// this machine's loopback when it names every address or none.
bool scrapeAddress(const std::string& metrics, sockaddr_storage& address, socklen_t& size) {
    size_t colon = metrics.rfind(':');
    std::string host = colon == std::string::npos ? "" : metrics.substr(0, colon);
    auto port = htons(static_cast<std::uint16_t>(std::stoi(metrics.substr(colon + 1))));
    if (host.starts_with('[')) {
        std::string six = host.substr(1, host.size() - 2);
        auto& into = reinterpret_cast<sockaddr_in6&>(address);
        into.sin6_family = AF_INET6;
        into.sin6_port = port;
        size = sizeof into;
        return inet_pton(AF_INET6, six == "::" ? "::1" : six.c_str(), &into.sin6_addr) == 1;
    }
    auto& into = reinterpret_cast<sockaddr_in&>(address);
    into.sin_family = AF_INET;
    into.sin_port = port;
    size = sizeof into;
    bool anyAddress = host.empty() || host == "0.0.0.0";
    return inet_pton(AF_INET, anyAddress ? "127.0.0.1" : host.c_str(), &into.sin_addr) == 1;
}

// The whole answer to GET /metrics, or empty with `problem` saying why.
std::string fetchMetrics(const sockaddr_storage& address, socklen_t size, std::string& problem) {
    int connection = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval limit{answerSeconds, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const std::string request = "GET /metrics HTTP/1.0\r\n\r\n";
    std::string answer;
    if (connect(connection, reinterpret_cast<const sockaddr*>(&address), size) != 0 ||
        send(connection, request.data(), request.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(request.size())) {
        problem = std::strerror(errno);
        close(connection);
        return "";
    }
    char bytes[4096];
    ssize_t got = 0;
    while (answer.size() < answerLimit && (got = recv(connection, bytes, sizeof bytes, 0)) > 0) {
        answer.append(bytes, static_cast<size_t>(got));
    }
    problem = got < 0 ? std::strerror(errno) : "";
    close(connection);
    return got < 0 ? "" : answer;
}

}  // namespace

int showStatus() {
    GameSettings settings{};
    std::vector<std::string> problems = readGameSettings(settings);
    for (const std::string& problem : problems) {
        std::fprintf(stderr, "kestiv-seat: %s\n", problem.c_str());
    }
    if (!problems.empty()) {
        return 1;
    }
    if (settings.metrics.empty()) {
        std::fputs("kestiv-seat: KESTIV_METRICS is not set: --status reads the server's metrics there\n",
                   stderr);
        return 1;
    }
    sockaddr_storage address{};
    socklen_t size = 0;
    std::string problem;
    std::string answer;
    if (scrapeAddress(settings.metrics, address, size)) {
        answer = fetchMetrics(address, size, problem);
    }
    size_t body = answer.find("\r\n\r\n");
    if (!answer.starts_with("HTTP/1.1 200 ") || body == std::string::npos) {
        std::fprintf(stderr,
                     "kestiv-seat: no server answers with its metrics at %s (KESTIV_METRICS)%s%s\n",
                     settings.metrics.c_str(), problem.empty() ? "" : ": ", problem.c_str());
        return 1;
    }
    std::fputs(describeStatus(readSamples(answer.substr(body + 4))).c_str(), stdout);
    return 0;
}
