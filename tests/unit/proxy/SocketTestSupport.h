#pragma once
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

/// Full path of `name` in the program folder the build staged (certificate and key live there).
std::string stagedFile(const std::string& name);

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
