#include "metrics_endpoint.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A scraper's tags carry this bit, the keeper's own never do.
constexpr std::uint64_t scrapeBit = std::uint64_t{1} << 63;
// A request beyond this size, or not whole within this time, is dropped:
// Prometheus sends a few hundred bytes at once.
constexpr size_t requestLimit = 4096;
constexpr auto scrapeTime = std::chrono::seconds(2);
// Scrapes at once; more are closed as they come.
constexpr size_t scrapesAtOnce = 8;

std::string response(const std::string& status, const std::string& type, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// The answer to a request's head: the metrics on GET /metrics.
std::string answer(const std::string& head, const std::function<std::string()>& render) {
    std::string requestLine = head.substr(0, head.find_first_of("\r\n"));
    size_t space = requestLine.find(' ');
    std::string method = requestLine.substr(0, space);
    std::string target = space == std::string::npos ? "" : requestLine.substr(space + 1);
    std::string path = target.substr(0, target.find_first_of(" ?"));
    if (path != "/metrics") {
        return response("404 Not Found", "text/plain; charset=utf-8", "Only /metrics is here.\n");
    }
    if (method != "GET") {
        return response("405 Method Not Allowed\r\nAllow: GET", "text/plain; charset=utf-8",
                        "Only GET is answered.\n");
    }
    return response("200 OK", "text/plain; version=0.0.4; charset=utf-8", render());
}

void forget(LiveView& view, int descriptor) {
    epoll_ctl(view.events, EPOLL_CTL_DEL, descriptor, nullptr);
    close(descriptor);
    view.scrapes.erase(descriptor);
}

void watch(LiveView& view, int descriptor, std::uint32_t what, int operation) {
    epoll_event event{};
    event.events = what;
    event.data.u64 = scrapeBit | static_cast<std::uint64_t>(descriptor);
    epoll_ctl(view.events, operation, descriptor, &event);
}

void acceptScrapes(LiveView& view) {
    for (;;) {
        int descriptor = accept4(view.listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (descriptor < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;
        }
        if (view.scrapes.size() >= scrapesAtOnce) {
            close(descriptor);
            continue;
        }
        view.scrapes[descriptor].deadline = Clock::now() + scrapeTime;
        watch(view, descriptor, EPOLLIN, EPOLL_CTL_ADD);
    }
}

// Sends what the socket takes now; forgets the scrape once all is sent.
void send(LiveView& view, int descriptor, Scrape& scrape) {
    while (scrape.sent < scrape.response.size()) {
        ssize_t written = ::send(descriptor, scrape.response.data() + scrape.sent,
                                 scrape.response.size() - scrape.sent, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            watch(view, descriptor, EPOLLOUT, EPOLL_CTL_MOD);
            return;
        }
        if (written <= 0) {
            break;
        }
        scrape.sent += static_cast<size_t>(written);
    }
    forget(view, descriptor);
}

void receive(LiveView& view, int descriptor, Scrape& scrape, const std::function<std::string()>& render) {
    char bytes[1024];
    for (;;) {
        ssize_t got = recv(descriptor, bytes, sizeof bytes, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (got <= 0 || scrape.request.size() + static_cast<size_t>(got) > requestLimit) {
            forget(view, descriptor);
            return;
        }
        scrape.request.append(bytes, static_cast<size_t>(got));
        if (scrape.request.find("\r\n\r\n") != std::string::npos ||
            scrape.request.find("\n\n") != std::string::npos) {
            scrape.response = answer(scrape.request, render);
            send(view, descriptor, scrape);
            return;
        }
    }
}

}  // namespace

int listenForScrapes(const std::string& address, std::string& problem) {
    size_t colon = address.rfind(':');
    std::string host = colon == std::string::npos ? "" : address.substr(0, colon);
    int port = std::stoi(colon == std::string::npos ? address : address.substr(colon + 1));
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_port = htons(static_cast<std::uint16_t>(port));
    any.sin6_addr = in6addr_any;
    sockaddr_in four{};
    four.sin_family = AF_INET;
    four.sin_port = any.sin6_port;
    sockaddr* bound = reinterpret_cast<sockaddr*>(&any);
    socklen_t size = sizeof any;
    if (host.starts_with('[')) {
        inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &any.sin6_addr);
    } else if (!host.empty()) {
        inet_pton(AF_INET, host.c_str(), &four.sin_addr);
        bound = reinterpret_cast<sockaddr*>(&four);
        size = sizeof four;
    }
    int listener = socket(bound->sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int yes = 1;
    int no = 0;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (host.empty()) {
        setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
    }
    if (listener < 0 || bind(listener, bound, size) != 0 || ::listen(listener, 16) != 0) {
        problem = "cannot serve the metrics on " + address + ": " + std::strerror(errno);
        if (listener >= 0) {
            close(listener);
        }
        return -1;
    }
    return listener;
}

bool isScrapeTag(std::uint64_t tag) { return (tag & scrapeBit) != 0; }

void watchScrapes(LiveView& view, int events, int listener) {
    view.events = events;
    view.listener = listener;
    if (listener >= 0) {
        watch(view, listener, EPOLLIN, EPOLL_CTL_ADD);
    }
}

void handleScrapes(LiveView& view, std::uint64_t tag, std::uint32_t ready,
                   const std::function<std::string()>& render) {
    int descriptor = static_cast<int>(tag & ~scrapeBit);
    if (descriptor == view.listener) {
        acceptScrapes(view);
        return;
    }
    auto found = view.scrapes.find(descriptor);
    if (found == view.scrapes.end()) {
        return;
    }
    if (!found->second.response.empty()) {
        send(view, descriptor, found->second);
    } else if ((ready & (EPOLLIN | EPOLLERR | EPOLLHUP)) != 0) {
        receive(view, descriptor, found->second, render);
    }
}

void expireScrapes(LiveView& view) {
    auto now = Clock::now();
    std::vector<int> late;
    for (const auto& [descriptor, scrape] : view.scrapes) {
        if (scrape.deadline <= now) {
            late.push_back(descriptor);
        }
    }
    for (int descriptor : late) {
        forget(view, descriptor);
    }
}
