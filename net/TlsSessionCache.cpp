#include "net/TlsSessionCache.h"

#include <openssl/ssl.h>

#include <list>
#include <memory>
#include <mutex>
#include <utility>

namespace corvanthelix {

namespace {

struct SessionFree {
    void operator()(SSL_SESSION* session) const noexcept { SSL_SESSION_free(session); }
};
using SessionPtr = std::unique_ptr<SSL_SESSION, SessionFree>;

struct Store {
    std::mutex mutex;
    // Newest first.
    std::list<std::pair<std::string, SessionPtr>> sessions;
};

Store& store() {
    static Store* instance = new Store; // never destroyed: connections may end during exit
    return *instance;
}

void freeKey(void*, void* pointer, CRYPTO_EX_DATA*, int, long, void*) { delete static_cast<std::string*>(pointer); }

int keyIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, freeKey);
    return index;
}

// OpenSSL hands over each session a server grants (for TLS 1.3 after the handshake, with the
// first reads). Returns 1 when the cache took it.
int onNewSession(SSL* tls, SSL_SESSION* session) {
    const auto* key = static_cast<const std::string*>(SSL_get_ex_data(tls, keyIndex()));
    if (key == nullptr || SSL_SESSION_is_resumable(session) != 1) return 0;
    Store& kept = store();
    std::lock_guard<std::mutex> lock(kept.mutex);
    kept.sessions.remove_if([&](const auto& item) { return item.first == *key; });
    kept.sessions.emplace_front(*key, SessionPtr(session));
    if (kept.sessions.size() > TlsSessionCache::kCapacity) kept.sessions.pop_back();
    return 1;
}

} // namespace

void TlsSessionCache::attach(SSL_CTX* context) {
    if (context == nullptr) return;
    // The application keeps the sessions: OpenSSL's own client cache is not looked up by server.
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, onNewSession);
}

void TlsSessionCache::prepare(SSL* tls, const std::string& key) {
    if (tls == nullptr || key.empty() || keyIndex() < 0) return;
    auto owned = std::make_unique<std::string>(key);
    if (SSL_set_ex_data(tls, keyIndex(), owned.get()) != 1) return;
    owned.release();
    Store& kept = store();
    std::lock_guard<std::mutex> lock(kept.mutex);
    for (const auto& [name, session] : kept.sessions) {
        if (name != key) continue;
        // A session is offered once in TLS 1.3; the server grants a new one on the resumed
        // connection, which then replaces it.
        SSL_set_session(tls, session.get());
        break;
    }
}

void TlsSessionCache::forget(const std::string& key) {
    Store& kept = store();
    std::lock_guard<std::mutex> lock(kept.mutex);
    kept.sessions.remove_if([&](const auto& item) { return item.first == key; });
}

std::size_t TlsSessionCache::size() {
    Store& kept = store();
    std::lock_guard<std::mutex> lock(kept.mutex);
    return kept.sessions.size();
}

} // namespace corvanthelix
