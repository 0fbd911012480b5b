#include "net/CertificateCheck.h"

#include <arpa/inet.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace corvanthelix {

namespace {

struct BioFree {
    void operator()(BIO* bio) const noexcept { BIO_free(bio); }
};
struct X509Free {
    void operator()(X509* certificate) const noexcept { X509_free(certificate); }
};

bool isNumericAddress(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// Everything written to a memory BIO by `print`, as text.
template <typename Print>
std::string printed(Print print) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio || !print(bio.get())) return {};
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

std::string nameText(const X509_NAME* name) {
    return printed([name](BIO* bio) {
        return X509_NAME_print_ex(bio, name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) >= 0;
    });
}

std::string timeText(const ASN1_TIME* time) {
    return printed([time](BIO* bio) { return ASN1_TIME_print(bio, time) == 1; });
}

std::string sha256Of(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return {};
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        if (i) out += ':';
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

CertificateProblem problemOf(long code) {
    switch (code) {
    case X509_V_OK: return CertificateProblem::None;
    case X509_V_ERR_CERT_HAS_EXPIRED: return CertificateProblem::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID: return CertificateProblem::NotYetValid;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN: return CertificateProblem::SelfSigned;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return CertificateProblem::WrongHost;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE: return CertificateProblem::UnknownIssuer;
    default: return CertificateProblem::Other;
    }
}

} // namespace

bool CertificateCheck::prepare(SSL* tls, const std::string& host) {
    if (!tls) return false;
    X509_VERIFY_PARAM* param = SSL_get0_param(tls);
    bool ok;
    if (isNumericAddress(host)) {
        ok = X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1;
    } else {
        // Wildcards match one label only, as browsers do.
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        ok = X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size()) == 1 &&
             SSL_set_tlsext_host_name(tls, host.c_str()) == 1;
    }
    ERR_clear_error();
    return ok;
}

CertificateCheck CertificateCheck::inspect(SSL* tls) {
    CertificateCheck check;
    if (!tls) return check;
    std::unique_ptr<X509, X509Free> peer(SSL_get1_peer_certificate(tls));
    if (!peer) return check;
    check.openSslCode_ = SSL_get_verify_result(tls);
    check.problem_ = problemOf(check.openSslCode_);
    check.subject_ = nameText(X509_get_subject_name(peer.get()));
    check.issuer_ = nameText(X509_get_issuer_name(peer.get()));
    check.validFrom_ = timeText(X509_get0_notBefore(peer.get()));
    check.validUntil_ = timeText(X509_get0_notAfter(peer.get()));
    check.fingerprint_ = sha256Of(peer.get());
    ERR_clear_error();
    return check;
}

CertificateCheck CertificateCheck::make(CertificateProblem problem, std::string fingerprint, std::string subject,
                                        std::string issuer, std::string validFrom, std::string validUntil) {
    CertificateCheck check;
    check.problem_ = problem;
    check.fingerprint_ = std::move(fingerprint);
    check.subject_ = std::move(subject);
    check.issuer_ = std::move(issuer);
    check.validFrom_ = std::move(validFrom);
    check.validUntil_ = std::move(validUntil);
    return check;
}

std::string CertificateCheck::reason() const {
    switch (problem_) {
    case CertificateProblem::None: return {};
    case CertificateProblem::Expired: return "expired";
    case CertificateProblem::NotYetValid: return "not yet valid";
    case CertificateProblem::SelfSigned: return "self-signed";
    case CertificateProblem::WrongHost: return "wrong host name";
    case CertificateProblem::UnknownIssuer: return "unknown issuer";
    case CertificateProblem::NoCertificate: return "no certificate";
    case CertificateProblem::Other: break;
    }
    return X509_verify_cert_error_string(openSslCode_);
}

} // namespace corvanthelix
