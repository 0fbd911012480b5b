#pragma once
#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;

namespace corvanthelix {

/// Owns one OpenSSL context (SSL_CTX*). The proxy keeps two: one from the general client method
/// for connections to mail servers, one from the general server method for the local TLS port.
/// Both allow TLS 1.2 and later only.
class TlsContext {
public:
    enum class Side { Client, Server };

    /// An empty owner (get() is null).
    TlsContext() = default;
    TlsContext(TlsContext&&) noexcept = default;
    TlsContext& operator=(TlsContext&&) noexcept = default;

    /// Initialises the TLS library and its error strings; safe to call from any thread, any number
    /// of times.
    static void initialiseLibrary();

    /// Makes a new context for `side` with TLS 1.2 as the lowest protocol version; a client
    /// context also loads the system's trust store (OpenSSL's default verify paths). The result
    /// is empty when the library cannot make one.
    static TlsContext create(Side side);

    /// The context, owned by this object; null when empty.
    SSL_CTX* get() const { return context_.get(); }
    explicit operator bool() const { return context_ != nullptr; }
    /// Frees the context; get() is null afterwards.
    void reset() { context_.reset(); }

    /// Loads the PEM certificate (with any chain after it) from `certificatePath` and the PEM
    /// private key from `keyPath`, then checks that the key belongs to the certificate.
    /// Returns false on any failure (missing or unreadable file, bad PEM, key not matching) and
    /// on an empty context.
    bool loadCertificate(const std::string& certificatePath, const std::string& keyPath);

private:
    struct Free {
        void operator()(SSL_CTX* context) const noexcept;
    };
    std::unique_ptr<SSL_CTX, Free> context_;
};

} // namespace corvanthelix
