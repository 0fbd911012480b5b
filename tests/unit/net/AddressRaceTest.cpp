#include "net/AddressRace.h"
#include "net/Connection.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

using namespace corvanthelix;
using namespace std::chrono_literals;

namespace {

// A listening socket on `address` ("127.0.0.1" or "::1") at a port the system picks.
struct Listener {
    int fd = -1;
    int port = 0;
    Listener(const char* address, int backlog) {
        const bool v6 = std::strchr(address, ':') != nullptr;
        fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage local{};
        socklen_t length;
        if (v6) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&local);
            in6->sin6_family = AF_INET6;
            inet_pton(AF_INET6, address, &in6->sin6_addr);
            length = sizeof(sockaddr_in6);
        } else {
            auto* in4 = reinterpret_cast<sockaddr_in*>(&local);
            in4->sin_family = AF_INET;
            inet_pton(AF_INET, address, &in4->sin_addr);
            length = sizeof(sockaddr_in);
        }
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&local), length) != 0 || ::listen(fd, backlog) != 0) {
            if (fd >= 0) ::close(fd);
            fd = -1;
            return;
        }
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
        port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                        : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    }
    ~Listener() {
        if (fd >= 0) ::close(fd);
    }
    bool ok() const { return fd >= 0; }
};

bool hasIpv6Loopback() { return Listener("::1", 1).ok(); }

// A ::1 listener whose accept queue is full: a further connection attempt neither completes nor
// fails (its SYNs are dropped), as with a server that swallows them.
struct SwallowingListener {
    Listener listener{"::1", 0};
    int filler = -1;
    SwallowingListener() {
        if (!listener.ok()) return;
        filler = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const auto target = AddressRace::resolve("::1", listener.port);
        if (target.empty() ||
            ::connect(filler, reinterpret_cast<const sockaddr*>(&target[0].address), target[0].length) != 0) {
            ::close(filler);
            filler = -1;
        }
    }
    ~SwallowingListener() {
        if (filler >= 0) ::close(filler);
    }
};

int peerFamily(int fd) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length);
    return peer.ss_family;
}

} // namespace

TEST(AddressRace, ResolvesBothFamiliesAndBracketedIpv6) {
    struct Case {
        const char* host;
        std::size_t count;
        int family;
    };
    const Case cases[] = {
        {"127.0.0.1", 1, AF_INET},
        {"::1", 1, AF_INET6},
        {"[::1]", 1, AF_INET6},
        {"no-such-host.invalid", 0, 0},
        {"[]", 0, 0},
    };
    for (const Case& c : cases) {
        const auto found = AddressRace::resolve(c.host, 110);
        ASSERT_EQ(found.size(), c.count) << c.host;
        if (c.count) {
            EXPECT_EQ(found[0].family(), c.family) << c.host;
        }
    }
    EXPECT_EQ(AddressRace::withoutBrackets("[::1]"), "::1");
    EXPECT_EQ(AddressRace::withoutBrackets("mail.example.org"), "mail.example.org");

    // "localhost" gives every address the system has for it, each once.
    const auto local = AddressRace::resolve("localhost", 110);
    ASSERT_FALSE(local.empty());
    int v4 = 0, v6 = 0;
    for (const Endpoint& e : local) (e.family() == AF_INET6 ? v6 : v4)++;
    if (v4 && v6) {
        EXPECT_NE(local[0].family(), local[1].family()) << "the families take turns";
    } else {
        std::printf("note: localhost resolves to %s only on this machine\n", v4 ? "IPv4" : "IPv6");
    }
}

TEST(AddressRace, TheNextAddressStartsWithoutWaitingForASwallowedAttempt) {
    if (!hasIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback on this machine";
    SwallowingListener swallowing;
    ASSERT_GE(swallowing.filler, 0);
    Listener answering("127.0.0.1", 4);
    ASSERT_TRUE(answering.ok());
    std::vector<Endpoint> endpoints = AddressRace::resolve("::1", swallowing.listener.port);
    const auto second = AddressRace::resolve("127.0.0.1", answering.port);
    endpoints.insert(endpoints.end(), second.begin(), second.end());

    int error = -1;
    const auto started = std::chrono::steady_clock::now();
    const int fd = AddressRace::connect(endpoints, nullptr, error);
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_GE(fd, 0) << std::strerror(error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(peerFamily(fd), AF_INET) << "the second address won";
    // The swallowed attempt would take minutes to fail; the second began after the stagger.
    EXPECT_GE(took, std::chrono::milliseconds(AddressRace::kStaggerMilliseconds - 10));
    EXPECT_LT(took, 10s);
    ::close(fd);
}

TEST(AddressRace, RefusedAddressesAreSkippedAndAllRefusedIsReported) {
    Listener answering("127.0.0.1", 4);
    ASSERT_TRUE(answering.ok());
    int closedPort;
    {
        Listener gone("127.0.0.1", 1);
        closedPort = gone.port;
    }
    std::vector<Endpoint> endpoints = AddressRace::resolve("127.0.0.1", closedPort);
    int error = 0;
    EXPECT_EQ(AddressRace::connect(endpoints, nullptr, error), -1);
    EXPECT_EQ(error, ECONNREFUSED);
    EXPECT_EQ(AddressRace::connect({}, nullptr, error), -1);

    const auto good = AddressRace::resolve("127.0.0.1", answering.port);
    endpoints.insert(endpoints.end(), good.begin(), good.end());
    const int fd = AddressRace::connect(endpoints, nullptr, error);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(error, 0);
    ::close(fd);
}

TEST(AddressRace, ConnectionCloseEndsAHangingConnect) {
    if (!hasIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback on this machine";
    SwallowingListener swallowing;
    ASSERT_GE(swallowing.filler, 0);
    Connection connection;
    std::thread closer([&] {
        std::this_thread::sleep_for(300ms);
        connection.close();
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(connection.connect("[::1]", swallowing.listener.port));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(connection.lastError(), ECANCELED);
    closer.join();
}

TEST(AddressRace, ConnectionReachesAnIpv6ListenerGivenInBrackets) {
    if (!hasIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback on this machine";
    Listener v6("::1", 4);
    ASSERT_TRUE(v6.ok());
    Connection connection;
    ASSERT_TRUE(connection.connect("[::1]", v6.port)) << std::strerror(connection.lastError());
    EXPECT_TRUE(connection.isConnected());
    EXPECT_FALSE(connection.connect("[::1]", 0));
}
