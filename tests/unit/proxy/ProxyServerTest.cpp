#include "proxy/ProxyServer.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "net/Connection.h"
#include "proxy/SessionControl.h"
#include "net/TlsContext.h"
#include "base/StringTable.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"
#include "tests/fakes/SocketTestSupport.h"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <filesystem>
#include <thread>

using namespace corvanthelix;
using namespace corvanthelix::testing;
using namespace std::chrono_literals;

namespace {

int threadsInProcess() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
    return count;
}

// Runs in a child process: drops the right to bind low ports, as a normal user lacks it, starts a
// server and tells whether exactly the privileges message for port 110 was shown.
bool startWithoutBindPrivilege(ScriptedShell& shell, const TempFolder& home) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    syscall(SYS_capget, &header, data);
    data[CAP_NET_BIND_SERVICE / 32].effective &= ~(1u << (CAP_NET_BIND_SERVICE % 32));
    syscall(SYS_capset, &header, data);
    ProxyServer server;
    server.start();
    std::string expected = "messageBox|Socket-Error!|" + ProxyServer::bindFailureText(110, EACCES, false) + "|" +
                           std::to_string(mb::kIconExclamation);
    bool shown = shell.count(expected) == 1 && shell.calls().size() == 1;
    std::filesystem::remove_all(home.path()); // the child leaves without running destructors
    return shown;
}

class ProxyServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        installCertificate();
        ASSERT_TRUE(Application::instance().setProgramFolder(home_.path()));
        Application::instance().setShell(&shell_);
        plainPort_ = freePort();
        tlsPort_ = freePort();
        settings::setPort(plainPort_);
        settings::setPortSsl(tlsPort_);
        clientContext_ = TlsContext::create(TlsContext::Side::Client);
    }
    void TearDown() override { Application::instance().setShell(nullptr); }

    void installCertificate() {
        for (const char* name : {"cert.server.pem", "key.server.pem"})
            std::filesystem::copy_file(certificateFile(name), home_.file(name),
                                       std::filesystem::copy_options::overwrite_existing);
    }

    std::unique_ptr<Connection> plainClient() {
        auto client = std::make_unique<Connection>();
        EXPECT_TRUE(client->connect("127.0.0.1", plainPort_));
        return client;
    }
    std::unique_ptr<Connection> tlsClient() {
        auto client = std::make_unique<Connection>();
        EXPECT_TRUE(client->connect("127.0.0.1", tlsPort_));
        EXPECT_TRUE(client->startTls(clientContext_.get()));
        return client;
    }
    bool refused(int port) {
        Connection client;
        return !client.connect("127.0.0.1", port) && client.lastError() == ECONNREFUSED;
    }

    TempFolder home_;
    ScriptedShell shell_;
    TlsContext clientContext_;
    int plainPort_ = 0;
    int tlsPort_ = 0;
};

} // namespace

TEST_F(ProxyServerTest, BothPortsGreetAndAnswerUntilQuit) {
    ProxyServer server;
    ASSERT_TRUE(server.start());
    EXPECT_EQ(server.plainPort(), plainPort_);
    EXPECT_EQ(server.tlsPort(), tlsPort_);
    EXPECT_NE(server.clientContext(), nullptr);
    EXPECT_FALSE(server.start()) << "already running";

    auto plain = plainClient();
    EXPECT_EQ(lineWithin(*plain), "+OK Ready\r\n");
    plain->writeText("stat\r\n");
    EXPECT_EQ(lineWithin(*plain), "-ERR Corvanthelix: Unknown command\r\n");
    plain->writeText("QUIT\r\n");
    EXPECT_EQ(lineWithin(*plain), "+OK\r\n");
    EXPECT_EQ(lineWithin(*plain), "(closed)");

    auto secure = tlsClient();
    EXPECT_EQ(lineWithin(*secure), "+OK Ready\r\n");
    secure->writeText("NOOP\r\n");
    EXPECT_EQ(lineWithin(*secure), "+OK\r\n");
    EXPECT_TRUE(shell_.calls().empty());

    server.stop();
    EXPECT_EQ(server.clientContext(), nullptr);
    EXPECT_TRUE(refused(plainPort_));
    EXPECT_TRUE(refused(tlsPort_));
    server.stop(); // twice is harmless
}

TEST_F(ProxyServerTest, PlainPortDisabledOpensOnlyTheTlsPort) {
    settings::setEnablePort(0);
    settings::setEnablePortSsl(1);
    ProxyServer server;
    ASSERT_TRUE(server.start());
    EXPECT_TRUE(refused(plainPort_));
    EXPECT_EQ(server.plainPort(), 0);
    auto secure = tlsClient();
    EXPECT_EQ(lineWithin(*secure), "+OK Ready\r\n");
    EXPECT_TRUE(shell_.calls().empty());
}

TEST_F(ProxyServerTest, CertificateTroubleOpensNoPortAndShowsNothing) {
    TempFolder other;
    const struct {
        const char* what;
        std::function<void()> spoil;
    } cases[] = {
        {"missing key", [&] { std::filesystem::remove(home_.file("key.server.pem")); }},
        {"missing certificate", [&] { std::filesystem::remove(home_.file("cert.server.pem")); }},
        {"key of another certificate",
         [&] { std::filesystem::copy_file(makeKeyFile(other), home_.file("key.server.pem"),
                                          std::filesystem::copy_options::overwrite_existing); }},
    };
    for (const auto& c : cases) {
        installCertificate();
        c.spoil();
        ProxyServer server;
        EXPECT_FALSE(server.start()) << c.what;
        EXPECT_TRUE(refused(plainPort_)) << c.what << ": the plain port stays closed too";
        EXPECT_TRUE(refused(tlsPort_)) << c.what;
        EXPECT_TRUE(shell_.calls().empty()) << c.what;
    }
}

TEST_F(ProxyServerTest, TakenPortShowsTheMessageOnceAndTheOtherPortOpens) {
    Connection holder;
    ASSERT_TRUE(holder.listen(plainPort_));
    ProxyServer server;
    EXPECT_TRUE(server.start());
    std::string expected = "The local port " + std::to_string(plainPort_) + " is already in use by another program.";
    ASSERT_EQ(shell_.calls().size(), 1u);
    EXPECT_EQ(shell_.calls()[0].rfind("messageBox|Socket-Error!|" + expected, 0), 0u) << shell_.calls()[0];
    EXPECT_EQ(shell_.calls()[0].substr(shell_.calls()[0].rfind('|')), "|" + std::to_string(mb::kIconExclamation));
    auto secure = tlsClient();
    EXPECT_EQ(lineWithin(*secure), "+OK Ready\r\n");
}

TEST(ProxyServer, BindFailureTextNamesTheCause) {
    const struct {
        int port;
        int error;
        bool tls;
        std::string begins;
    } cases[] = {
        {110, EACCES, false, "The local port 110 can only be opened with administrator rights.\nPlease choose a port above 1023, such as 1110,"},
        {995, EACCES, true, "The local port 995 can only be opened with administrator rights.\nPlease choose a port above 1023, such as 1995,"},
        {1110, EADDRINUSE, false, "The local port 1110 is already in use by another program.\n"},
        {995, EADDRNOTAVAIL, true, "The local port 995 is already in use by another program.\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProxyServer::bindFailureText(c.port, c.error, c.tls).rfind(c.begins, 0), 0u)
            << ProxyServer::bindFailureText(c.port, c.error, c.tls);
}

TEST_F(ProxyServerTest, PortNeedingPrivilegesSaysSo) {
    if (geteuid() != 0) {
        std::ifstream start("/proc/sys/net/ipv4/ip_unprivileged_port_start");
        int first = 1024;
        start >> first;
        if (first <= 110) GTEST_SKIP() << "every port is open to everyone here";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    settings::setPort(110);
    settings::setEnablePortSsl(0);
    EXPECT_EXIT(std::exit(startWithoutBindPrivilege(shell_, home_) ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST_F(ProxyServerTest, SecondClientIsGreetedAtOnceAndWaitsForTheFirstSession) {
    ProxyServer server;
    ASSERT_TRUE(server.start());
    auto first = plainClient();
    ASSERT_EQ(lineWithin(*first), "+OK Ready\r\n");
    first->writeText("NOOP\r\n");
    ASSERT_EQ(lineWithin(*first), "+OK\r\n"); // the first session holds the lock now

    auto second = tlsClient();
    EXPECT_EQ(lineWithin(*second, 500ms), "+OK Ready\r\n");
    second->writeText("NOOP\r\n");
    EXPECT_EQ(lineWithin(*second, 300ms), "(nothing)") << "no answer while the first session runs";

    first->writeText("QUIT\r\n");
    EXPECT_EQ(lineWithin(*first), "+OK\r\n");
    EXPECT_EQ(lineWithin(*second), "+OK\r\n") << "answered once the first session ended";
}

TEST_F(ProxyServerTest, StopEndsBlockedSessionsAndLeavesNoThread) {
    // Sessions that block in a read from their mail server, which only stop() can end.
    Connection silentMailServer;
    ASSERT_TRUE(silentMailServer.listen(0));
    ProxyServer server;
    server.setSessionFunction([&](SessionControl& session) {
        session.client().writeText("+OK Ready\r\n");
        Connection upstream;
        if (upstream.connect("127.0.0.1", silentMailServer.localPort()) && session.attach(upstream)) {
            char byte;
            upstream.read(&byte, 1);
            session.detach(upstream);
        }
    });
    int before = threadsInProcess();
    ASSERT_TRUE(server.start());

    std::vector<std::unique_ptr<Connection>> clients;
    for (int i = 0; i < 3; ++i) clients.push_back(plainClient());
    clients.push_back(tlsClient());
    for (auto& client : clients) ASSERT_EQ(lineWithin(*client), "+OK Ready\r\n");
    // And one that never finishes its TLS handshake.
    Connection stalled;
    ASSERT_TRUE(stalled.connect("127.0.0.1", tlsPort_));
    ASSERT_TRUE(within(2000ms, [&] { return server.runningSessions() == 5; }));

    auto began = std::chrono::steady_clock::now();
    server.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);
    EXPECT_EQ(server.runningSessions(), 0);
    EXPECT_TRUE(within(1000ms, [&] { return threadsInProcess() == before; })) << threadsInProcess();
    for (auto& client : clients) EXPECT_EQ(lineWithin(*client), "(closed)");
}

TEST_F(ProxyServerTest, SessionsBeyondTheThreadTableAreStillEndedByStop) {
    settings::setEnablePortSsl(0);
    ProxyServer server;
    server.setSessionFunction([](SessionControl& session) {
        char byte;
        session.client().read(&byte, 1);
    });
    int before = threadsInProcess();
    ASSERT_TRUE(server.start());
    const int sessions = ProxyServer::kThreadSlots + 4;
    std::vector<std::unique_ptr<Connection>> clients;
    for (int i = 1; i <= sessions; ++i) {
        clients.push_back(plainClient());
        // In steps below the listen backlog, so no connection attempt waits for a SYN retry.
        if (i % 20 == 0 || i == sessions) {
            ASSERT_TRUE(within(2000ms, [&] { return server.runningSessions() == i; })) << i;
        }
    }
    server.stop();
    EXPECT_EQ(server.runningSessions(), 0);
    EXPECT_TRUE(within(1000ms, [&] { return threadsInProcess() == before; })) << threadsInProcess();
}

TEST_F(ProxyServerTest, EndedSessionsAreReapedWhileRunning) {
    settings::setEnablePortSsl(0);
    ProxyServer server;
    ASSERT_TRUE(server.start());
    int withAcceptThread = threadsInProcess();
    for (int i = 0; i < 3; ++i) {
        auto client = plainClient();
        ASSERT_EQ(lineWithin(*client), "+OK Ready\r\n");
        client->writeText("QUIT\r\n");
        ASSERT_EQ(lineWithin(*client), "+OK\r\n");
    }
    ASSERT_TRUE(within(2000ms, [&] { return server.runningSessions() == 0; }));
    server.reapThreads(false);
    EXPECT_TRUE(within(1000ms, [&] { return threadsInProcess() == withAcceptThread; }))
        << "every ended session thread was joined; threads: " << threadsInProcess();
}
