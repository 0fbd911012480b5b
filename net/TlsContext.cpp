#include "net/TlsContext.h"

#include "net/TlsSessionCache.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace corvanthelix {

void TlsContext::Free::operator()(SSL_CTX* context) const noexcept { SSL_CTX_free(context); }

void TlsContext::initialiseLibrary() {
    // OpenSSL 3 guards its own initialisation; repeated calls are cheap.
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
}

TlsContext TlsContext::create(Side side) {
    initialiseLibrary();
    TlsContext result;
    const SSL_METHOD* method = side == Side::Client ? TLS_client_method() : TLS_server_method();
    if (!method) return result;
    result.context_.reset(SSL_CTX_new(method));
    if (result.context_ && SSL_CTX_set_min_proto_version(result.get(), TLS1_2_VERSION) != 1)
        result.context_.reset();
    // Mail servers are checked against the system's trust store (SSL_CERT_FILE and SSL_CERT_DIR
    // point elsewhere). The handshake does not stop at a failure: the caller reads the outcome
    // and asks the person, so the verify mode stays "none".
    if (result.context_ && side == Side::Client) {
        SSL_CTX_set_default_verify_paths(result.get());
        // The next connection to the same server resumes its session.
        TlsSessionCache::attach(result.get());
    }
    ERR_clear_error();
    return result;
}

bool TlsContext::loadCertificate(const std::string& certificatePath, const std::string& keyPath) {
    if (!context_) return false;
    bool ok = SSL_CTX_use_certificate_chain_file(get(), certificatePath.c_str()) == 1 &&
              SSL_CTX_use_PrivateKey_file(get(), keyPath.c_str(), SSL_FILETYPE_PEM) == 1 &&
              SSL_CTX_check_private_key(get()) == 1;
    // The error queue is per thread; leave nothing behind for the next caller to misread.
    ERR_clear_error();
    return ok;
}

} // namespace corvanthelix
