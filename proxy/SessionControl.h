#pragma once
#include <mutex>
#include <vector>

namespace corvanthelix {

class Connection;
class ProxyServer;

/// What the proxy server knows of one running client session: the mail client's connection, the
/// port it came in on, and the further connections the session opens (to the mail server).
/// ProxyServer::stop() ends a session by closing all of them, which makes the session's blocked
/// reads fail; a session therefore registers every connection it may block on.
///
/// The connections are not owned. Every method may be called from any thread.
class SessionControl {
public:
    /// `client` and `server` must outlive this object.
    SessionControl(Connection& client, bool tlsPort, ProxyServer& server);
    SessionControl(const SessionControl&) = delete;
    SessionControl& operator=(const SessionControl&) = delete;

    /// The mail client's connection (TLS already set up when it came in on the TLS port).
    Connection& client() const { return client_; }
    /// True when the client connected to the local TLS port.
    bool tlsPort() const { return tlsPort_; }
    /// The server that runs the session (session lock, client TLS context).
    ProxyServer& server() const { return server_; }

    /// Registers `upstream` so that closeAll() closes it too; it must stay valid until detach().
    /// When the session is being ended already, closes `upstream` at once and returns false.
    bool attach(Connection& upstream);
    /// Forgets `upstream`; after this returns, closeAll() no longer touches it, so the caller may
    /// destroy it.
    void detach(Connection& upstream);

    /// Closes the client connection and every attached one; later attach() calls close theirs at
    /// once. Any number of times.
    void closeAll();
    /// True once closeAll() ran.
    bool ending() const;

private:
    Connection& client_;
    const bool tlsPort_;
    ProxyServer& server_;
    mutable std::mutex mutex_;
    std::vector<Connection*> attached_;
    bool ending_ = false;
};

} // namespace corvanthelix
