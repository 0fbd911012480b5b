#include "net/Connection.h"
#include "net/TlsContext.h"
#include "tests/fakes/SocketTestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <cstring>

using namespace corvanthelix;
using namespace corvanthelix::testing;
using namespace std::chrono_literals;

namespace {

// A connected pair over loopback: `client` made by connect(), `server` by accept().
struct Pair {
    Connection listener;
    Connection client;
    std::unique_ptr<Connection> server;
};

void connectPair(Pair& pair) {
    ASSERT_TRUE(pair.listener.listen(0));
    ASSERT_TRUE(pair.client.connect("127.0.0.1", pair.listener.localPort()));
    pair.server = pair.listener.accept();
    ASSERT_NE(pair.server, nullptr);
}

// The same pair with TLS on both sides (handshakes run at the same time on two threads).
void connectTlsPair(Pair& pair, const TlsContext& clientContext, const TlsContext& serverContext) {
    connectPair(pair);
    auto clientSide = std::async(std::launch::async, [&] { return pair.client.startTls(clientContext.get()); });
    EXPECT_TRUE(pair.server->startTls(serverContext.get()));
    EXPECT_TRUE(clientSide.get());
}

std::string readAll(Connection& connection) {
    std::string all;
    char chunk[4096];
    for (ssize_t n; (n = connection.read(chunk, sizeof chunk)) > 0;) all.append(chunk, static_cast<size_t>(n));
    return all;
}

class TlsConnection : public ::testing::Test {
protected:
    void SetUp() override {
        clientContext_ = TlsContext::create(TlsContext::Side::Client);
        serverContext_ = TlsContext::create(TlsContext::Side::Server);
        ASSERT_TRUE(clientContext_ && serverContext_);
        ASSERT_TRUE(serverContext_.loadCertificate(certificateFile("cert.server.pem"), certificateFile("key.server.pem")));
        connectTlsPair(pair_, clientContext_, serverContext_);
    }
    TlsContext clientContext_;
    TlsContext serverContext_;
    Pair pair_;
};

} // namespace

TEST(Connection, ZeroBytesAreSpacesInLinesOnlyAndPeerCloseReadsZero) {
    Pair pair;
    connectPair(pair);
    EXPECT_TRUE(pair.server->isServerSide());
    EXPECT_FALSE(pair.client.isServerSide());
    const char sent[] = "\0From: a\0\0b\r\n\0";
    ASSERT_EQ(pair.client.write(sent, sizeof sent - 1), static_cast<ssize_t>(sizeof sent - 1));
    ASSERT_EQ(pair.client.write(sent, sizeof sent - 1), static_cast<ssize_t>(sizeof sent - 1));
    pair.client.close();
    std::string line;
    ASSERT_EQ(pair.server->readLine(line, 1024), 13);
    EXPECT_EQ(line, " From: a  b\r\n") << "a protocol line";
    EXPECT_EQ(readAll(*pair.server), std::string(sent, sizeof sent - 1).substr(13) + std::string(sent, sizeof sent - 1))
        << "a message text read after it, buffered or not, keeps its bytes";
    EXPECT_EQ(pair.server->read(nullptr, 10), 0);
    char byte;
    EXPECT_EQ(pair.server->read(&byte, 1), 0) << "after the peer closed";
}

TEST(Connection, ReadStopsAtTheCallersSizeAndKeepsTheRestBuffered) {
    Pair pair;
    connectPair(pair);
    ASSERT_EQ(pair.client.writeText("abcdef"), 6);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_EQ(pair.server->read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 8), "abcd####") << "nothing written beyond the size asked for";
    EXPECT_TRUE(pair.server->isReadable()) << "two bytes wait in the receive buffer";
    ASSERT_EQ(pair.server->read(buffer, sizeof buffer), 2);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    EXPECT_FALSE(pair.server->isReadable());
    EXPECT_TRUE(pair.server->isWritable());
}

TEST(Connection, LinesEndOnlyAtCarriageReturnLineFeed) {
    struct Case {
        std::vector<std::string> writes;
        std::vector<std::string> lines;
        ssize_t lastResult; // of the read after the expected lines, with the writer closed
    };
    const Case cases[] = {
        {{"USER a\r\nPASS b\r\n"}, {"USER a\r\n", "PASS b\r\n"}, 0},
        {{"bare\nfeed\r\n"}, {"bare\nfeed\r\n"}, 0},
        {{"split\r", "\nnext\r\n"}, {"split\r\n", "next\r\n"}, 0},
        {{"cr\r\r\n"}, {"cr\r\r\n"}, 0},
        {{"no end at all"}, {}, 0},
        {{std::string(70000, 'x') + "\r\n"}, {}, -1},
    };
    for (const Case& c : cases) {
        Pair pair;
        connectPair(pair);
        std::thread writer([&] {
            for (const std::string& piece : c.writes) {
                pair.client.writeText(piece);
                std::this_thread::sleep_for(5ms); // lets a split really arrive in two parts
            }
            pair.client.close();
        });
        std::string line;
        for (const std::string& expected : c.lines) {
            EXPECT_EQ(pair.server->readLine(line, 65536), static_cast<ssize_t>(expected.size()));
            EXPECT_EQ(line, expected);
        }
        EXPECT_EQ(pair.server->readLine(line, 65536), c.lastResult) << c.writes[0].substr(0, 20);
        writer.join();
    }
}

TEST(Connection, LargeWritesArriveWhole) {
    Pair pair;
    connectPair(pair);
    std::string payload(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>('a' + i % 26);
    auto reader = std::async(std::launch::async, [&] { return readAll(*pair.server); });
    EXPECT_EQ(pair.client.write(payload.data(), payload.size()), static_cast<ssize_t>(payload.size()));
    pair.client.close();
    EXPECT_EQ(reader.get(), payload);
}

TEST(Connection, UnresolvableNameFailsWithoutAConnectionAttempt) {
    Connection listener;
    ASSERT_TRUE(listener.listen(0));
    Connection client;
    // An empty label cannot be encoded into a DNS query, so the resolver fails on this machine
    // without sending anything.
    auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.connect("unresolvable..invalid", listener.localPort()));
    EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);
    EXPECT_EQ(client.lastError(), EHOSTUNREACH);
    EXPECT_FALSE(client.isConnected());
    EXPECT_EQ(client.localPort(), 0) << "no socket was made";
    EXPECT_FALSE(listener.isReadable()) << "nothing tried to connect to the local listener";
}

TEST(Connection, ConnectResolvesNamesAndReportsRefusal) {
    Connection listener;
    ASSERT_TRUE(listener.listen(0));
    Connection client;
    EXPECT_TRUE(client.connect("localhost", listener.localPort()));
    EXPECT_TRUE(client.isConnected());

    int freePort = listener.localPort();
    listener.close();
    Connection refused;
    EXPECT_FALSE(refused.connect("127.0.0.1", freePort));
    EXPECT_EQ(refused.lastError(), ECONNREFUSED);
    EXPECT_EQ(refused.localPort(), 0) << "the failed socket is closed";
    EXPECT_EQ(refused.write("x", 1), 0);
}

TEST(Connection, ListenOnATakenPortFailsAndKeepsNoSocket) {
    Connection holder;
    ASSERT_TRUE(holder.listen(0));
    Connection second;
    EXPECT_FALSE(second.listen(holder.localPort()));
    EXPECT_EQ(second.lastError(), EADDRINUSE);
    EXPECT_EQ(second.localPort(), 0);
    EXPECT_EQ(second.accept(), nullptr);
}

TEST(Connection, ListenerBindsTheLoopbackAddressOnly) {
    Connection listener;
    ASSERT_TRUE(listener.listen(0));
    // 127.0.0.2 reaches this machine too, but not a socket bound to 127.0.0.1 alone.
    Connection elsewhere;
    EXPECT_FALSE(elsewhere.connect("127.0.0.2", listener.localPort()));
    Connection loopback;
    EXPECT_TRUE(loopback.connect("127.0.0.1", listener.localPort()));
}

TEST(Connection, CloseFromAnotherThreadFailsBlockedCalls) {
    // read, readLine and accept each blocked on one thread while another closes.
    Pair pair;
    connectPair(pair);
    BlockedCall blockedRead([&] {
        char byte;
        return static_cast<long>(pair.server->read(&byte, 1));
    });
    pair.server->close();
    EXPECT_EQ(blockedRead.result(), -1);
    EXPECT_FALSE(pair.server->isConnected());
    char byte;
    EXPECT_EQ(pair.server->read(&byte, 1), 0) << "a closed connection reads 0, not an error";

    Pair linePair;
    connectPair(linePair);
    linePair.client.writeText("half a li");
    BlockedCall blockedLine([&] {
        std::string line;
        return static_cast<long>(linePair.server->readLine(line, 1024));
    });
    linePair.server->close();
    EXPECT_EQ(blockedLine.result(), -1);

    Connection listener;
    ASSERT_TRUE(listener.listen(0));
    BlockedCall blockedAccept([&] { return listener.accept() ? 1L : 0L; });
    listener.close();
    EXPECT_EQ(blockedAccept.result(), 0);
    EXPECT_EQ(listener.localPort(), 0);
    listener.close(); // twice is harmless
}

TEST(Connection, CloseFromAnotherThreadAbortsAConnectInProgress) {
    // A listener whose queue is full lets a further connection attempt hang in its handshake.
    FullListener full;
    ASSERT_TRUE(full.ready());
    Connection client;
    BlockedCall blockedConnect([&] { return client.connect("127.0.0.1", full.port()) ? 1L : 0L; });
    client.close();
    EXPECT_EQ(blockedConnect.result(), 0);
    EXPECT_FALSE(client.isConnected());
}

TEST_F(TlsConnection, CarriesLinesLargeWritesAndZeroBytes) {
    EXPECT_TRUE(pair_.client.hasTls());
    EXPECT_EQ(pair_.server->writeText("+OK Ready\r\n"), 11);
    std::string line;
    EXPECT_EQ(pair_.client.readLine(line, 1024), 11);
    EXPECT_EQ(line, "+OK Ready\r\n");

    std::string payload(1024 * 1024, 'm');
    payload[100] = '\0';
    auto reader = std::async(std::launch::async, [&] { return readAll(*pair_.server); });
    EXPECT_EQ(pair_.client.write(payload.data(), payload.size()), static_cast<ssize_t>(payload.size()));
    pair_.client.close();
    EXPECT_EQ(reader.get(), payload) << "a zero byte over TLS arrives as it was sent";
}

TEST(Connection, TlsPeerVanishingWithoutCloseNoticeReadsZero) {
    TlsContext serverContext = TlsContext::create(TlsContext::Side::Server);
    ASSERT_TRUE(serverContext.loadCertificate(certificateFile("cert.server.pem"), certificateFile("key.server.pem")));
    Connection listener;
    ASSERT_TRUE(listener.listen(0));
    RawTlsClient peer;
    auto handshake = std::async(std::launch::async, [&] { return peer.connect(listener.localPort()); });
    std::unique_ptr<Connection> server = listener.accept();
    ASSERT_NE(server, nullptr);
    EXPECT_TRUE(server->startTls(serverContext.get()));
    ASSERT_TRUE(handshake.get());
    peer.send("+OK\r\n");
    peer.vanish();
    std::string line;
    EXPECT_EQ(server->readLine(line, 100), 5);
    char buffer[16];
    EXPECT_EQ(server->read(buffer, sizeof buffer), 0);
}

TEST_F(TlsConnection, CloseFromAnotherThreadFailsABlockedRead) {
    BlockedCall blockedRead([&] {
        char buffer[16];
        return static_cast<long>(pair_.client.read(buffer, sizeof buffer));
    });
    pair_.client.close();
    EXPECT_EQ(blockedRead.result(), -1);
    EXPECT_TRUE(pair_.client.hasTls()) << "the TLS handle lives until destruction or the next connect";
}

TEST_F(TlsConnection, StartTlsRefusesASecondLayerAndAMissingSocket) {
    EXPECT_FALSE(pair_.client.startTls(clientContext_.get()));
    Connection unconnected;
    EXPECT_FALSE(unconnected.startTls(clientContext_.get()));
    EXPECT_FALSE(unconnected.hasTls());
}

TEST(Connection, HandshakeWithAPlainPeerFails) {
    TlsContext clientContext = TlsContext::create(TlsContext::Side::Client);
    Pair pair;
    connectPair(pair);
    pair.server->writeText("+OK this is no TLS server\r\n");
    EXPECT_FALSE(pair.client.startTls(clientContext.get()));
    EXPECT_TRUE(pair.client.hasTls()) << "the layer stays attached";
    char buffer[16];
    EXPECT_LE(pair.client.read(buffer, sizeof buffer), 0);
}

TEST(TlsContext, CertificateLoadingNeedsAMatchingKey) {
    TlsContext server = TlsContext::create(TlsContext::Side::Server);
    ASSERT_TRUE(server);
    TempFolder folder;
    std::string otherKey = makeKeyFile(folder);
    EXPECT_FALSE(server.loadCertificate(certificateFile("cert.server.pem"), otherKey));
    EXPECT_FALSE(server.loadCertificate(folder.file("missing.pem"), certificateFile("key.server.pem")));
    EXPECT_TRUE(server.loadCertificate(certificateFile("cert.server.pem"), certificateFile("key.server.pem")));
    EXPECT_FALSE(TlsContext().loadCertificate(certificateFile("cert.server.pem"), certificateFile("key.server.pem")));
}
