#include "net/Connection.h"

#include "net/AddressRace.h"
#include "net/CertificateCheck.h"
#include "net/TlsSessionCache.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

namespace corvanthelix {

namespace {

constexpr int kFallbackChunk = 8192;
constexpr long kQuickPollNanoseconds = 20 * 1000;

// The socket's own buffer size for `option` (SO_RCVBUF / SO_SNDBUF), or 8192 when unknown.
int socketBufferSize(int fd, int option) {
    int size = 0;
    socklen_t length = sizeof size;
    if (getsockopt(fd, SOL_SOCKET, option, &size, &length) != 0 || size <= 0) return kFallbackChunk;
    return size;
}

// One poll of 20 microseconds; true when `fd` reports one of `events` (or an error).
bool quickPoll(int fd, short events) {
    pollfd entry{fd, events, 0};
    timespec wait{0, kQuickPollNanoseconds};
    return ::ppoll(&entry, 1, &wait, nullptr) > 0;
}

// OpenSSL writes to its socket with write(), which raises SIGPIPE when the peer has gone and would
// end the whole program. This blocks the signal on the calling thread for the duration of a TLS
// call and swallows one that the call raised; the process-wide disposition is left alone.
class BrokenPipeGuard {
public:
    BrokenPipeGuard() {
        sigemptyset(&pipeOnly_);
        sigaddset(&pipeOnly_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeOnly_, &previous_);
    }
    ~BrokenPipeGuard() {
        if (!wasPending_) {
            timespec zero{0, 0};
            while (sigtimedwait(&pipeOnly_, nullptr, &zero) > 0) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    BrokenPipeGuard(const BrokenPipeGuard&) = delete;
    BrokenPipeGuard& operator=(const BrokenPipeGuard&) = delete;

private:
    sigset_t pipeOnly_{};
    sigset_t previous_{};
    bool wasPending_ = false;
};

} // namespace

// Marks one call as using the socket: while any call is inside, close() from another thread only
// shuts the socket down (which wakes the call) and leaves the release to the last call leaving.
class Connection::Use {
public:
    explicit Use(Connection& connection) : connection_(connection) {
        std::lock_guard<std::mutex> lock(connection_.stateMutex_);
        if (connection_.socket_ < 0 || connection_.closePending_) return;
        ++connection_.busy_;
        fd_ = connection_.socket_;
    }
    ~Use() {
        if (fd_ < 0) return;
        std::lock_guard<std::mutex> lock(connection_.stateMutex_);
        if (--connection_.busy_ == 0 && connection_.closePending_) connection_.finishCloseLocked();
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    explicit operator bool() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    /// True when close() came while this call was inside.
    bool aborted() const {
        std::lock_guard<std::mutex> lock(connection_.stateMutex_);
        return connection_.closePending_;
    }

private:
    Connection& connection_;
    int fd_ = -1;
};

void Connection::TlsFree::operator()(SSL* tls) const noexcept { SSL_free(tls); }

Connection::Connection() = default;

Connection::~Connection() {
    close();
    tls_.reset();
}

bool Connection::connect(const std::string& host, int port) {
    close();
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        tls_.reset();
        serverSide_ = false;
    }
    lastError_ = 0;
    // close() from another thread (the time-out, a stop) while the attempts run ends them.
    const unsigned closesBefore = closeCount_.load();
    if (port < 0 || port > 65535) {
        lastError_ = EINVAL;
        return false;
    }

    const std::vector<Endpoint> endpoints = AddressRace::resolve(host, port);
    if (endpoints.empty()) {
        lastError_ = EHOSTUNREACH;
        return false;
    }
    int error = 0;
    int fd = AddressRace::connect(endpoints, [&] { return closeCount_.load() != closesBefore; }, error);
    bool ok = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (fd >= 0 && closeCount_.load() != closesBefore) {
            ::close(fd);
            fd = -1;
            error = ECANCELED;
        }
        if (fd >= 0) {
            socket_ = fd;
            closePending_ = false;
            connected_ = true;
            ok = true;
        }
        lastError_ = error;
    }
    if (!ok) close();
    return ok;
}

bool Connection::listen(int port) { return listenOn(AF_INET, port); }

bool Connection::listenIpv6(int port) { return listenOn(AF_INET6, port); }

bool Connection::listenOn(int family, int port) {
    close();
    if (port < 0 || port > 65535) {
        lastError_ = EINVAL;
        return false;
    }
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    // Lets a restarted program take its port back while old connections linger in TIME_WAIT;
    // a port another program listens on still fails with EADDRINUSE.
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage local{};
    socklen_t length = 0;
    if (family == AF_INET6) {
        // ::1 only, so that the IPv4 listener on the same port is a socket of its own.
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&local);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<uint16_t>(port));
        in6->sin6_addr = in6addr_loopback;
        length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&local);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(static_cast<uint16_t>(port));
        in4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof(sockaddr_in);
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), length) != 0 || ::listen(fd, kListenBacklog) != 0) {
        lastError_ = errno;
        ::close(fd);
        return false;
    }
    std::lock_guard<std::mutex> lock(stateMutex_);
    socket_ = fd;
    closePending_ = false;
    serverSide_ = false;
    lastError_ = 0;
    return true;
}

std::unique_ptr<Connection> Connection::accept() {
    Use use(*this);
    if (!use) return nullptr;
    for (;;) {
        int fd = ::accept4(use.fd(), nullptr, nullptr, SOCK_CLOEXEC);
        if (use.aborted()) {
            if (fd >= 0) ::close(fd);
            return nullptr;
        }
        if (fd >= 0) {
            // Replies go out as a status line, the message and its terminator in separate
            // writes; without this the small last write waits for the client's delayed ACK
            // (about 40 ms per message on loopback).
            int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            auto accepted = std::make_unique<Connection>();
            accepted->socket_ = fd;
            accepted->serverSide_ = true;
            accepted->connected_ = true;
            return accepted;
        }
        int error = errno;
        // A client that reset its connection before we took it, or a signal, is no reason to
        // give up the port.
        if (error == EINTR || error == ECONNABORTED || error == EPROTO) continue;
        // Out of descriptors or memory: wait a moment for sessions to end instead of closing
        // the port for the rest of the run.
        if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
            ::poll(nullptr, 0, 100);
            continue;
        }
        lastError_ = error;
        return nullptr;
    }
}

bool Connection::startTls(SSL_CTX* context) { return startTls(context, std::string()); }

bool Connection::startTls(SSL_CTX* context, const std::string& peerName, const std::string& sessionKey) {
    if (!context) return false;
    Use use(*this);
    if (!use || tls_) return false;
    BrokenPipeGuard guard;
    ERR_clear_error();
    tls_.reset(SSL_new(context));
    if (!tls_) return false;
    if (SSL_set_fd(tls_.get(), use.fd()) != 1) {
        ERR_clear_error();
        return false;
    }
    if (!serverSide_ && !peerName.empty() &&
        !CertificateCheck::prepare(tls_.get(), AddressRace::withoutBrackets(peerName)))
        return false;
    if (!serverSide_) TlsSessionCache::prepare(tls_.get(), sessionKey);
    int result = serverSide_ ? SSL_accept(tls_.get()) : SSL_connect(tls_.get());
    ERR_clear_error();
    return result == 1 && !use.aborted();
}

ssize_t Connection::write(const void* data, std::size_t length) {
    if (!data || length == 0) return 0;
    Use use(*this);
    if (!use || !connected_) return 0;
    const char* bytes = static_cast<const char*>(data);
    ssize_t result = tls_ ? writeTls(bytes, length) : writePlain(use.fd(), bytes, length);
    if (use.aborted()) return -1;
    return result;
}

ssize_t Connection::writeText(std::string_view text) { return write(text.data(), text.size()); }

ssize_t Connection::writePlain(int fd, const char* data, std::size_t length) {
    if (sendChunk_ == 0) sendChunk_ = static_cast<std::size_t>(socketBufferSize(fd, SO_SNDBUF));
    std::size_t sent = 0;
    while (sent < length) {
        // A blocking send waits for room itself, and fails at once when close() shuts the
        // socket down.
        ssize_t n = ::send(fd, data + sent, std::min(sendChunk_, length - sent), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        sent += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(sent);
}

ssize_t Connection::writeTls(const char* data, std::size_t length) {
    BrokenPipeGuard guard;
    std::size_t sent = 0;
    while (sent < length) {
        int piece = static_cast<int>(std::min<std::size_t>(length - sent, INT_MAX / 2));
        ERR_clear_error();
        int n = SSL_write(tls_.get(), data + sent, piece);
        if (n <= 0) {
            ERR_clear_error();
            return -1;
        }
        sent += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(sent);
}

ssize_t Connection::read(void* buffer, std::size_t size) {
    if (!buffer || size == 0) return 0;
    Use use(*this);
    if (!use || !connected_) return 0;
    if (readPosition_ == fillLevel_) {
        ssize_t filled = refill(use.fd());
        if (use.aborted()) return -1;
        if (filled <= 0) return filled;
    }
    std::size_t count = std::min<std::size_t>(size, fillLevel_ - readPosition_);
    std::memcpy(buffer, receiveBuffer_.get() + readPosition_, count);
    readPosition_ += static_cast<std::uint32_t>(count);
    return static_cast<ssize_t>(count);
}

bool Connection::unread(std::size_t count) {
    Use use(*this);
    // The bytes a read() handed out are still in the receive buffer just before readPosition_.
    if (!use || !connected_ || count > readPosition_) return false;
    readPosition_ -= static_cast<std::uint32_t>(count);
    return true;
}

ssize_t Connection::readLine(std::string& line, std::size_t maxLength) {
    line.clear();
    Use use(*this);
    if (!use || !connected_) return 0;
    for (;;) {
        if (readPosition_ == fillLevel_) {
            ssize_t filled = refill(use.fd());
            if (use.aborted()) return -1;
            if (filled <= 0) return filled;
        }
        const char* start = receiveBuffer_.get() + readPosition_;
        std::size_t available = fillLevel_ - readPosition_;
        const char* lineFeed = static_cast<const char*>(std::memchr(start, '\n', available));
        std::size_t take = lineFeed ? static_cast<std::size_t>(lineFeed - start) + 1 : available;
        const std::size_t before = line.size();
        line.append(start, take);
        spaceOutZeros(line.data() + before, take);
        readPosition_ += static_cast<std::uint32_t>(take);
        if (line.size() > maxLength) return -1;
        if (lineFeed && line.size() >= 2 && line[line.size() - 2] == '\r')
            return static_cast<ssize_t>(line.size());
    }
}

ssize_t Connection::refill(int fd) {
    if (!receiveBuffer_) receiveBuffer_ = std::make_unique<char[]>(kReceiveBufferSize);
    readPosition_ = 0;
    fillLevel_ = 0;
    ssize_t filled = tls_ ? refillTls() : refillPlain(fd);
    if (filled > 0) fillLevel_ = static_cast<std::uint32_t>(filled);
    return filled;
}

ssize_t Connection::refillPlain(int fd) {
    if (receiveChunk_ == 0) receiveChunk_ = static_cast<std::size_t>(socketBufferSize(fd, SO_RCVBUF));
    char* buffer = receiveBuffer_.get();
    std::size_t total = 0;
    bool failed = false;
    while (total < kReceiveBufferSize) {
        // The first receive blocks until data comes, the peer closes, or close() shuts the socket
        // down; later ones take only what is already there, so a peer that stops exactly at a
        // chunk boundary is not waited for.
        std::size_t want = std::min(receiveChunk_, kReceiveBufferSize - total);
        ssize_t n = ::recv(fd, buffer + total, want, total == 0 ? 0 : MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed = errno != EAGAIN && errno != EWOULDBLOCK;
            break;
        }
        total += static_cast<std::size_t>(n);
        if (static_cast<std::size_t>(n) < want) break;
    }
    // Bytes already received are handed out first; a lasting error shows again on the next call.
    if (total == 0 && failed) return -1;
    return static_cast<ssize_t>(total);
}

ssize_t Connection::refillTls() {
    BrokenPipeGuard guard;
    ERR_clear_error();
    int n = SSL_read(tls_.get(), receiveBuffer_.get(), static_cast<int>(kReceiveBufferSize));
    if (n > 0) return n;
    int error = SSL_get_error(tls_.get(), n);
    unsigned long reason = ERR_GET_REASON(ERR_peek_error());
    ERR_clear_error();
    // A peer that closes without a TLS close notice has closed all the same.
    if (error == SSL_ERROR_ZERO_RETURN) return 0;
    if (error == SSL_ERROR_SSL && reason == SSL_R_UNEXPECTED_EOF_WHILE_READING) return 0;
    return -1;
}

void Connection::spaceOutZeros(char* bytes, std::size_t count) {
    // memchr skips the (almost always zero-free) text many bytes at a time.
    char* end = bytes + count;
    for (char* zero = bytes; (zero = static_cast<char*>(std::memchr(zero, 0, static_cast<std::size_t>(end - zero))));)
        *zero++ = ' ';
}

bool Connection::isReadable() {
    Use use(*this);
    if (!use) return false;
    if (readPosition_ < fillLevel_) return true;
    if (tls_ && SSL_has_pending(tls_.get())) return true;
    return quickPoll(use.fd(), POLLIN);
}

bool Connection::isWritable() {
    Use use(*this);
    if (!use) return false;
    return quickPoll(use.fd(), POLLOUT);
}

void Connection::close() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    ++closeCount_;
    connected_ = false;
    if (socket_ < 0 || closePending_) return;
    if (busy_ > 0) {
        closePending_ = true;
        // Wakes the call blocked on the socket; the socket itself is released when it leaves.
        ::shutdown(socket_, SHUT_RDWR);
        return;
    }
    finishCloseLocked();
}

void Connection::finishCloseLocked() {
    if (socket_ >= 0) {
        if (tls_ && !closePending_) {
            // Say goodbye without waiting: a peer that does not read must not hold us here.
            int flags = fcntl(socket_, F_GETFL);
            if (flags >= 0) fcntl(socket_, F_SETFL, flags | O_NONBLOCK);
            BrokenPipeGuard guard;
            SSL_shutdown(tls_.get());
            ERR_clear_error();
        }
        ::close(socket_);
    }
    socket_ = -1;
    closePending_ = false;
    receiveChunk_ = 0;
    sendChunk_ = 0;
    receiveBuffer_.reset();
    readPosition_ = 0;
    fillLevel_ = 0;
}

int Connection::localPort() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (socket_ < 0) return 0;
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    if (local.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
}

} // namespace corvanthelix
