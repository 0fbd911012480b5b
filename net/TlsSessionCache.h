#pragma once
#include <cstddef>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace corvanthelix {

/// The TLS sessions that mail servers granted on earlier connections, one per server and port, so
/// that the next connection to the same server resumes its session instead of a full handshake
/// (no certificate sent, parsed and checked again; no signature from the server). A resumed
/// session carries the certificate and the outcome of its check from the full handshake, so the
/// caller judges it as before.
///
/// Process-wide and thread-safe. At most kCapacity servers are kept; beyond that the oldest goes.
class TlsSessionCache {
public:
    static constexpr std::size_t kCapacity = 64;

    /// Makes the client context `context` hand the sessions its servers grant to the cache.
    static void attach(SSL_CTX* context);
    /// Before the handshake on `tls` (from an attached context): offers the session kept for
    /// `key` (server and port) and files the sessions granted on `tls` under `key`.
    static void prepare(SSL* tls, const std::string& key);
    /// Forgets the session of `key`: a server whose certificate was refused gets a full
    /// handshake next time.
    static void forget(const std::string& key);
    /// Number of servers with a session kept.
    static std::size_t size();
};

} // namespace corvanthelix
