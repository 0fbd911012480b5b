#pragma once
#include "net/Connection.h"
#include "net/TlsContext.h"

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

namespace corvanthelix {

class SessionControl;

/// The local POP3 service: the two TLS contexts, the listeners on 127.0.0.1 (plain port and TLS
/// port, each with its accept thread), one thread per mail-client session, and the session lock
/// that lets one session at a time work.
///
/// Life: constructed (nothing open) -> start() -> stop() -> destroyed. start() and stop() are
/// called from one thread (the main thread); everything else from any thread.
class ProxyServer {
public:
    static constexpr int kThreadSlots = 256;
    static constexpr int kSuggestedPlainPort = 1110;
    static constexpr int kSuggestedTlsPort = 1995;

    /// Runs one client session on the session's own thread. Returns when the session is over;
    /// the server closes the client connection afterwards. Must not throw (an exception is
    /// caught and ends the session).
    using SessionFunction = std::function<void(SessionControl& session)>;

    /// The process-wide server, made on first use.
    static ProxyServer& instance();
    /// Stops and destroys the process-wide server (the program entry calls this at exit).
    static void destroyInstance();

    /// A server with nothing open, running runReadySession() for each client until
    /// setSessionFunction() gives another session.
    ProxyServer();
    /// stop().
    ~ProxyServer();
    ProxyServer(const ProxyServer&) = delete;
    ProxyServer& operator=(const ProxyServer&) = delete;

    /// Sets what each accepted client runs; null restores runReadySession(). Call before start().
    void setSessionFunction(SessionFunction session);

    /// How long a client on the TLS port may take for its handshake before its connection is
    /// closed (30 seconds unless set). Call before start().
    void setTlsHandshakeLimit(std::chrono::milliseconds limit) { tlsHandshakeLimit_ = limit; }

    /// The reply a client gets, before its connection is closed, when every session slot is taken.
    static constexpr const char* kNoFreeSlotReply = "-ERR Corvanthelix: Too many connections, try again later\r\n";

    /// Raises the process's limit of open files to its hard limit, so that many mail clients at
    /// once do not make accept() fail. Returns the soft limit in force afterwards.
    static long raiseOpenFilesLimit();

    /// Makes both TLS contexts, loads "cert.server.pem" and "key.server.pem" from the program
    /// folder (the key must match), then opens the ports the settings ask for ("EnablePort" /
    /// "Port", "EnablePortSSL" / "PortSSL") and starts their accept threads. Returns false, with
    /// no port open, when a context cannot be made and when the server runs already. When the
    /// certificate or key fails, the TLS port stays closed and says why (message box, stderr and
    /// tray tooltip); the plain port opens all the same. A port that cannot be opened shows a
    /// message through the shell (in use, or needing privileges) and stays closed; the other port
    /// is still tried and the result is true.
    bool start();

    /// Closes both listeners, ends every running session by closing its connections, and waits
    /// for every accept and session thread, so that no session outlives the call. Frees both TLS
    /// contexts. Safe to call twice; the server can be started again afterwards.
    void stop();

    /// The session lock: held by a client session for its whole life and by the download of a
    /// single message for restoring it. Re-entrant.
    std::recursive_mutex& sessionLock() { return sessionLock_; }

    /// The TLS context for connections to mail servers (owned here); null before start() and
    /// after stop().
    SSL_CTX* clientContext() const { return clientContext_.get(); }

    /// Joins and forgets the session threads that have ended. With `terminate`, first closes the
    /// connections of every running session so that it ends soon.
    void reapThreads(bool terminate);

    /// The port the plain (TLS) listener is open on; 0 when it is closed.
    int plainPort() const { return plainListener_.localPort(); }
    int tlsPort() const { return tlsListener_.localPort(); }
    /// Sessions whose thread has not ended yet, tracked in the table or not.
    int runningSessions() const;
    /// The first port the last start() asked for and could not open; 0 when every port asked
    /// for is open (or before start()).
    int closedPort() const { return closedPort_.load(); }

    /// The text shown when port `port` cannot be opened because of `error` (errno of bind or
    /// listen): string 256 with a port to use instead for a port that needs privileges (EACCES),
    /// else string 247. Translated.
    static std::string bindFailureText(int port, int error, bool tlsPort);

private:
    struct Session;

    void openPort(Connection& listener, std::thread& acceptThread, int port, bool tlsPort);
    void reportTlsPortShut(int port);
    void acceptLoop(Connection& listener, bool tlsPort);
    void openIpv6Twin(const Connection& ipv4, Connection& listener, std::thread& acceptThread, bool tlsPort);
    void launchSession(std::unique_ptr<Connection> client, bool tlsPort);
    void runSession(Session& session);
    std::vector<std::unique_ptr<Session>> takeSessionsLocked(bool finishedOnly);

    SessionFunction sessionFunction_;
    TlsContext clientContext_;
    TlsContext serverContext_;
    Connection plainListener_;
    Connection tlsListener_;
    std::thread plainAcceptThread_;
    std::thread tlsAcceptThread_;
    // The same ports on ::1, where the system has it.
    Connection plainListener6_;
    Connection tlsListener6_;
    std::thread plainAcceptThread6_;
    std::thread tlsAcceptThread6_;
    std::recursive_mutex sessionLock_;

    mutable std::mutex tableMutex_; // guards threadTable_, overflow_, stopping_
    std::array<std::unique_ptr<Session>, kThreadSlots> threadTable_;
    // Sessions that found all 256 slots taken; tracked all the same, so stop() can end them.
    std::vector<std::unique_ptr<Session>> overflow_;
    bool stopping_ = false;
    bool started_ = false;
    std::atomic<int> closedPort_{0};
    std::chrono::milliseconds tlsHandshakeLimit_{std::chrono::seconds(30)};
};

} // namespace corvanthelix
