// What the client session costs a mail client: 1,000 messages of 10 KB fetched with RETR through
// the proxy session, as a ratio to the baseline measured in the same run, the same client
// fetching the same messages straight from the fake POP3 server. The session downloads each
// message upstream (parsing it into the message model) before it passes it on, so the ratio
// shows what the extra hop and the copy cost. The check used here lists the mailbox without
// filtering, so only the session is measured.
#include "base/Application.h"
#include "proxy/ClientSession.h"
#include "net/Connection.h"
#include "upstream/Mailbox.h"
#include "proxy/ProxyServer.h"
#include "proxy/SessionControl.h"

// Benchmarks link only the core, so the test fakes are built into this program.
#include "tests/fakes/FakePop3Server.cpp"
#include "tests/fakes/TempFolder.cpp"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

using namespace corvanthelix;
using corvanthelix::testing::FakePop3Server;
using corvanthelix::testing::TempFolder;

namespace {

constexpr int kRounds = 3;
constexpr int kMessages = 1000;
constexpr std::size_t kMessageSize = 10u * 1024;

using Clock = std::chrono::steady_clock;

std::string message(int serial) {
    std::string text = "From: bench" + std::to_string(serial) + "@example.org\r\nSubject: bench\r\n\r\n";
    std::string line(76, 'm');
    line += "\r\n";
    while (text.size() + line.size() <= kMessageSize) text += line;
    return text;
}

bool expectOk(Connection& connection, std::string& line) {
    return connection.readLine(line, 1 << 20) > 0 && line.rfind("+OK", 0) == 0;
}

// Logs in on `connection` as `user`, sends LIST 1 and fetches every message with RETR. Returns the bytes
// received, 0 on any failure.
std::size_t fetchAll(Connection& connection, const std::string& user) {
    std::string line;
    if (!expectOk(connection, line)) return 0;
    connection.writeText("USER " + user + "\r\n");
    if (!expectOk(connection, line)) return 0;
    connection.writeText("PASS secret\r\n");
    if (!expectOk(connection, line)) return 0;
    // As mail clients do: the list first (RETR alone does not run the mail check).
    connection.writeText("LIST 1\r\n");
    if (!expectOk(connection, line)) return 0;
    std::size_t bytes = 0;
    for (int n = 1; n <= kMessages; ++n) {
        connection.writeText("RETR " + std::to_string(n) + "\r\n");
        if (!expectOk(connection, line)) return 0;
        for (;;) {
            if (connection.readLine(line, 1 << 20) <= 0) return 0;
            if (line == ".\r\n") break;
            bytes += line.size();
        }
    }
    connection.writeText("QUIT\r\n");
    expectOk(connection, line);
    return bytes;
}

int listEverything(ClientSession& session, int& count, std::uint64_t& size) {
    count = 0;
    size = 0;
    for (ServerMessage* m = session.mailbox().messages(); m; m = m->next) {
        MessageEntry entry;
        entry.serverNumber = static_cast<std::int32_t>(m->number);
        entry.size = m->size;
        entry.clientNumber = ++count;
        size += m->size;
        session.entries().push_back(entry);
    }
    session.setCheckDone(true);
    return 0;
}

int quitUpstream(ClientSession& session) {
    session.mailbox().quit();
    session.replyOk("Everything done.");
    return 1;
}

double direct(const FakePop3Server& server, std::size_t& bytes) {
    Connection connection;
    auto start = Clock::now();
    if (!connection.connect("127.0.0.1", server.port())) return 0;
    bytes = fetchAll(connection, "alice");
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double throughSession(const FakePop3Server& server, ProxyServer& proxy, const SessionServices& services,
                      std::size_t& bytes) {
    Connection listener;
    if (!listener.listen(0)) return 0;
    std::thread sessionThread([&] {
        std::unique_ptr<Connection> client = listener.accept();
        if (!client) return;
        SessionControl control(*client, false, proxy);
        ClientSession::run(control, services);
        client->close();
    });
    Connection connection;
    auto start = Clock::now();
    if (connection.connect("127.0.0.1", listener.localPort()))
        bytes = fetchAll(connection, "127.0.0.1&alice&" + std::to_string(server.port()));
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    connection.close();
    sessionThread.join();
    return elapsed;
}

} // namespace

int main() {
    TempFolder home;
    Application::instance().setProgramFolder(home.path());
    FakePop3Server server;
    for (int i = 0; i < kMessages; ++i) server.addMessage(message(i));
    if (!server.start()) {
        std::fprintf(stderr, "cannot start the fake server\n");
        return 1;
    }
    ProxyServer proxy; // only its session lock is used; no port is opened
    SessionServices services;
    services.runCheck = listEverything;
    services.commit = quitUpstream;

    double bestDirect = 1e9, bestSession = 1e9;
    std::size_t directBytes = 0, sessionBytes = 0;
    for (int round = 0; round < kRounds; ++round) {
        double d = direct(server, directBytes);
        double s = throughSession(server, proxy, services, sessionBytes);
        if (directBytes == 0 || sessionBytes != directBytes) {
            std::fprintf(stderr, "fetch failed (direct %zu bytes, session %zu bytes)\n", directBytes, sessionBytes);
            return 1;
        }
        bestDirect = std::min(bestDirect, d);
        bestSession = std::min(bestSession, s);
    }
    const double megabytes = static_cast<double>(directBytes) / (1024.0 * 1024.0);
    std::printf("%d messages of %zu KB by RETR, best of %d rounds\n", kMessages, kMessageSize / 1024, kRounds);
    std::printf("  direct from the server (baseline): %.1f MB/s\n", megabytes / bestDirect);
    std::printf("  through the client session:        %.1f MB/s = %.2f x baseline\n", megabytes / bestSession,
                bestDirect / bestSession);
    return 0;
}
