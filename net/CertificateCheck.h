#pragma once
#include <string>

typedef struct ssl_st SSL;

namespace corvanthelix {

/// Why a server's certificate did not pass verification, in the categories the person is told.
enum class CertificateProblem {
    None,          ///< the chain and the host name verified against the system's trust store
    Expired,       ///< the certificate (or one of its chain) is past its end date
    NotYetValid,   ///< the certificate's start date lies in the future
    SelfSigned,    ///< the certificate signs itself and is not in the trust store
    WrongHost,     ///< the certificate is valid but was issued for another name
    UnknownIssuer, ///< no trusted issuer was found for the chain
    NoCertificate, ///< the server sent no certificate at all
    Other,         ///< any other verification failure (reason() gives OpenSSL's words)
};

/// The outcome of verifying one TLS server and the details of its certificate, as the person is
/// shown them before deciding whether to trust it. A plain value: copies freely, holds no handle.
class CertificateCheck {
public:
    /// An unchecked value: problem NoCertificate, every text empty.
    CertificateCheck() = default;

    /// Prepares the client side of `tls` (not owned, not yet connected) to verify `host`: sets the
    /// server name for SNI (for names, not for numeric addresses) and the host or IP address that
    /// the certificate must name. Returns false when OpenSSL refused the name.
    static bool prepare(SSL* tls, const std::string& host);

    /// Reads the verification result and the peer certificate of `tls` (not owned) after a
    /// completed handshake that prepare() set up. The connection's context must have loaded the
    /// trust store (TlsContext does for the client side).
    static CertificateCheck inspect(SSL* tls);

    /// Builds a value from its parts, for callers that have no connection (tests, replies).
    static CertificateCheck make(CertificateProblem problem, std::string fingerprint, std::string subject = {},
                                 std::string issuer = {}, std::string validFrom = {}, std::string validUntil = {});

    /// True when the certificate verified (problem() is None).
    bool verified() const { return problem_ == CertificateProblem::None; }
    CertificateProblem problem() const { return problem_; }
    /// The problem in plain words: "expired", "self-signed", "wrong host name", "unknown issuer",
    /// "not yet valid", "no certificate", or OpenSSL's own text for the rest; "" when verified.
    std::string reason() const;
    /// The subject and issuer as one-line distinguished names ("CN=localhost, O=...").
    const std::string& subject() const { return subject_; }
    const std::string& issuer() const { return issuer_; }
    /// The validity dates as OpenSSL prints them ("Jan  1 00:00:00 2027 GMT").
    const std::string& validFrom() const { return validFrom_; }
    const std::string& validUntil() const { return validUntil_; }
    /// The SHA-256 digest of the certificate (DER), as upper-case hexadecimal pairs joined by
    /// ":"; "" when there is no certificate.
    const std::string& fingerprint() const { return fingerprint_; }

private:
    CertificateProblem problem_ = CertificateProblem::NoCertificate;
    long openSslCode_ = 0;
    std::string subject_;
    std::string issuer_;
    std::string validFrom_;
    std::string validUntil_;
    std::string fingerprint_;
};

} // namespace corvanthelix
