#pragma once
#include "net/Connection.h"
#include "tests/fakes/TempFolder.h"

#include <chrono>
#include <climits>
#include <functional>
#include <future>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace corvanthelix::testing {

/// Waits up to `limit` for `condition`, checking every 2 ms. True when it held in time.
template <typename Condition>
bool within(std::chrono::milliseconds limit, Condition condition) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

/// A port on 127.0.0.1 that was free a moment ago (nothing keeps another program from taking it).
int freePort();

/// The next line from `connection` with its "\r\n" (at most 4096 bytes); "(nothing)" when none
/// is there within `limit`, "(closed)" when the connection ended or failed.
std::string lineWithin(Connection& connection, std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

/// The mail client's side of a session on 127.0.0.1: one command, one line back.
class MailClient {
public:
    /// Connects to `port`, with the TLS client handshake from `tls` (not owned) when given.
    bool connect(int port, SSL_CTX* tls = nullptr);
    /// Sends `raw` as it is.
    void send(const std::string& raw);
    /// The next line without its "\r\n"; "(nothing)" when none comes within `limit`, "(closed)"
    /// when the connection ended.
    std::string line(std::chrono::milliseconds limit = std::chrono::milliseconds(10000));
    /// Sends `text` + "\r\n" and returns the first answer line as line() does.
    std::string command(const std::string& text);
    /// The lines of a multi-line answer up to its ".", which is not included; {"(cut: (nothing))"}
    /// or {"(cut: (closed))"} when the answer stopped before it.
    std::vector<std::string> listing();
    /// The text of a multi-line answer, every line with its "\r\n", without the terminator.
    std::string text();
    /// True when the connection ends within `limit` with no further line.
    bool closed(std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
    void close();

private:
    Connection connection_;
};

/// Full path of `name` in the program folder the build staged (data files such as spampoints.ini).
std::string stagedFile(const std::string& name);

/// Full path of "cert.server.pem", "key.server.pem" or "cert.server.der" of a local certificate
/// made once per test process in a temporary folder, as the program makes its own at first start.
std::string certificateFile(const std::string& name);

/// Writes a fresh private key that belongs to no certificate into `folder`; returns its path.
std::string makeKeyFile(const TempFolder& folder);

/// Runs `call` on its own thread and returns once that thread sleeps in a system call other than
/// a lock wait, i.e. is really blocked in the call under test.
class BlockedCall {
public:
    static constexpr long kStillBlocked = LONG_MIN;

    explicit BlockedCall(std::function<long()> call);
    /// Aborts the test program when the call never returned: its thread would outlive the objects
    /// it uses.
    ~BlockedCall();
    BlockedCall(const BlockedCall&) = delete;
    BlockedCall& operator=(const BlockedCall&) = delete;

    /// The call's result, waiting at most `limit`; kStillBlocked (and a test failure) after that.
    long result(std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

private:
    std::promise<long> promise_;
    std::future<long> future_;
    std::thread thread_;
};

/// Whether the thread `tid` of this process sleeps in a system call other than a lock wait.
bool threadBlockedInSystemCall(pid_t tid);

/// A raw socket listening on 127.0.0.1 whose accept queue is full, so that one more connection
/// attempt hangs in its handshake.
class FullListener {
public:
    FullListener();
    ~FullListener();
    bool ready() const { return ready_; }
    int port() const { return port_; }

private:
    int listener_ = -1;
    int port_ = 0;
    bool ready_ = false;
    std::vector<int> queued_;
};

/// A TLS client on a raw socket, made without Connection, that can vanish without a close notice.
class RawTlsClient {
public:
    RawTlsClient();
    ~RawTlsClient();
    /// Connects to 127.0.0.1:`port` and runs the client handshake; true when it completed.
    bool connect(int port);
    /// Sends `text` over TLS.
    void send(const std::string& text);
    /// Ends the stream underneath the TLS layer, so the peer sees the connection end without a
    /// TLS close notice.
    void vanish();

private:
    SSL_CTX* context_ = nullptr;
    SSL* tls_ = nullptr;
    int fd_ = -1;
};

} // namespace corvanthelix::testing
