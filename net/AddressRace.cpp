#include "net/AddressRace.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace corvanthelix {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCancelCheckMilliseconds = 50;

struct Attempt {
    int fd;
};

void closeAll(std::vector<Attempt>& attempts) {
    for (const Attempt& attempt : attempts) ::close(attempt.fd);
    attempts.clear();
}

} // namespace

std::string AddressRace::withoutBrackets(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
    return host;
}

std::vector<Endpoint> AddressRace::resolve(const std::string& host, int port) {
    std::vector<Endpoint> found;
    const std::string name = withoutBrackets(host);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    if (name.empty() || getaddrinfo(name.c_str(), service.c_str(), &hints, &list) != 0 || !list) return found;
    for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
        if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6) ||
            entry->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        Endpoint endpoint;
        std::memcpy(&endpoint.address, entry->ai_addr, entry->ai_addrlen);
        endpoint.length = entry->ai_addrlen;
        const bool duplicate = std::any_of(found.begin(), found.end(), [&](const Endpoint& other) {
            return other.length == endpoint.length && std::memcmp(&other.address, &endpoint.address, endpoint.length) == 0;
        });
        if (!duplicate) found.push_back(endpoint);
    }
    freeaddrinfo(list);
    if (found.empty()) return found;

    // Families take turns, the resolver's first choice first; within a family its order stays.
    std::vector<Endpoint> first, second;
    const int preferred = found.front().family();
    for (const Endpoint& endpoint : found) (endpoint.family() == preferred ? first : second).push_back(endpoint);
    std::vector<Endpoint> ordered;
    for (std::size_t i = 0; i < std::max(first.size(), second.size()); ++i) {
        if (i < first.size()) ordered.push_back(first[i]);
        if (i < second.size()) ordered.push_back(second[i]);
    }
    return ordered;
}

int AddressRace::connect(const std::vector<Endpoint>& endpoints, const std::function<bool()>& cancelled, int& error) {
    error = ECONNREFUSED;
    std::vector<Attempt> pending;
    std::size_t next = 0;
    Clock::time_point nextStart = Clock::now();

    // Starts the next attempt that does not fail at once. Returns a socket that connected at
    // once (loopback may), else -1.
    auto startNext = [&]() -> int {
        while (next < endpoints.size()) {
            const Endpoint& endpoint = endpoints[next++];
            int fd = ::socket(endpoint.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0) {
                error = errno;
                continue;
            }
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&endpoint.address), endpoint.length) == 0) return fd;
            if (errno == EINPROGRESS || errno == EINTR) {
                pending.push_back({fd});
                return -1;
            }
            error = errno;
            ::close(fd);
        }
        return -1;
    };
    auto won = [&](int fd) {
        closeAll(pending);
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        error = 0;
        return fd;
    };

    for (;;) {
        if (cancelled && cancelled()) {
            closeAll(pending);
            error = ECANCELED;
            return -1;
        }
        const Clock::time_point now = Clock::now();
        if (next < endpoints.size() && (now >= nextStart || pending.empty())) {
            if (int fd = startNext(); fd >= 0) return won(fd);
            nextStart = Clock::now() + std::chrono::milliseconds(kStaggerMilliseconds);
        }
        if (pending.empty()) {
            if (next >= endpoints.size()) return -1;
            continue;
        }

        int wait = kCancelCheckMilliseconds;
        if (next < endpoints.size()) {
            const auto untilNext =
                std::chrono::duration_cast<std::chrono::milliseconds>(nextStart - Clock::now()).count();
            wait = static_cast<int>(std::clamp<long long>(untilNext, 0, kCancelCheckMilliseconds));
        }
        std::vector<pollfd> polls;
        for (const Attempt& attempt : pending) polls.push_back({attempt.fd, POLLOUT, 0});
        const int ready = ::poll(polls.data(), polls.size(), wait);
        if (ready < 0 && errno != EINTR) {
            error = errno;
            closeAll(pending);
            return -1;
        }
        if (ready <= 0) continue;
        std::vector<Attempt> still;
        int winner = -1;
        for (std::size_t i = 0; i < polls.size(); ++i) {
            if (polls[i].revents == 0 || winner >= 0) {
                still.push_back(pending[i]);
                continue;
            }
            int result = 0;
            socklen_t length = sizeof result;
            if (getsockopt(polls[i].fd, SOL_SOCKET, SO_ERROR, &result, &length) != 0) result = errno;
            if (result == 0) {
                winner = polls[i].fd;
                continue;
            }
            error = result;
            ::close(polls[i].fd);
            // A failed attempt lets the next one start at once.
            nextStart = Clock::now();
        }
        pending = std::move(still);
        if (winner >= 0) return won(winner);
    }
}

} // namespace corvanthelix
