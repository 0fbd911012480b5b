#pragma once
#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace corvanthelix {

/// The proxy's one socket class: a listening socket, an accepted mail-client connection or a
/// connection to a mail server. A TCP socket (IPv4; IPv6 too for connections to mail servers) with an optional TLS layer and a receive
/// buffer. Knows nothing of POP3.
///
/// Threads: one thread uses a Connection at a time, except that close() may be called from any
/// other thread at any moment (the upstream time-out, ProxyServer::stop). A read, readLine,
/// write, accept, connect or startTls blocked on another thread then fails at once (-1, null or
/// false), and the socket is released only when that call has left, so its number can never be
/// reused under it.
///
/// A line read with readLine() has every zero byte replaced by a space, so that no later text
/// handling cuts a command or an answer short; read() hands the bytes out as they came, so a
/// message text passes through unchanged, plain or TLS.
class Connection {
public:
    static constexpr std::size_t kReceiveBufferSize = 10240;
    static constexpr int kListenBacklog = 25;

    /// A closed connection (no socket).
    Connection();
    /// Closes the connection and frees the TLS handle. No other thread may be inside a call.
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    /// Connects to `host` (a name, a dotted IPv4 address, or an IPv6 address, bare or in
    /// brackets as in "[::1]") at `port`, trying every address of both families as AddressRace
    /// does. Closes an open socket and frees a TLS handle left from before.
    /// Returns true when connected. A name that does not resolve returns false without any
    /// connection attempt. lastError() tells why a failure happened.
    bool connect(const std::string& host, int port);

    /// Makes this a listening socket on 127.0.0.1 at `port` (0: the system picks one, see
    /// localPort()) with a backlog of 25. On failure no socket stays open, lastError() holds the
    /// errno of the failing step (EADDRINUSE, EACCES, ...) and the result is false.
    bool listen(int port);
    /// listen() on the IPv6 loopback address ::1 (IPv6 only). False, with lastError(), where the
    /// system has no IPv6 loopback (EADDRNOTAVAIL, EAFNOSUPPORT) or the port is taken.
    bool listenIpv6(int port);

    /// Waits for one connection on a listening socket. Returns the new connection, owned by the
    /// caller, connected and marked as the server side; null when the listener is closed (also by
    /// close() from another thread) or fails. A peer that gives up before it is accepted does not
    /// count as a failure.
    std::unique_ptr<Connection> accept();

    /// Puts a TLS layer from `context` (not owned; must outlive the connection) over the socket
    /// and runs the handshake: the server handshake on an accepted connection, the client
    /// handshake otherwise. Fails when there is no socket or a TLS layer exists already. Returns
    /// true only when the handshake completed; the TLS layer stays attached either way, so reads
    /// on a failed one fail.
    bool startTls(SSL_CTX* context);
    /// startTls() for the client side with the name of the server: before the handshake the
    /// layer is told to verify `peerName` (CertificateCheck::prepare); the outcome is read
    /// afterwards with CertificateCheck::inspect(tlsHandle()). The handshake itself does not fail
    /// on a certificate that does not verify: the caller decides.
    /// With a `sessionKey` (server and port), a session kept from an earlier connection to that
    /// key is offered, and the sessions granted now are kept under it (TlsSessionCache).
    bool startTls(SSL_CTX* context, const std::string& peerName, const std::string& sessionKey = std::string());
    /// The TLS layer attached by startTls(), owned by the connection; null without one.
    SSL* tlsHandle() const { return tls_.get(); }

    /// Writes all `length` bytes of `data`. Returns `length`; 0 when not connected or `data` is
    /// null; -1 on an error or when closed meanwhile.
    ssize_t write(const void* data, std::size_t length);
    /// write() of the bytes of `text` (no terminating zero).
    ssize_t writeText(std::string_view text);

    /// Reads at most `size` bytes into `buffer` (nothing is written beyond them; no terminating
    /// zero is added). Blocks until at least one byte is there. Returns the count; 0 when the
    /// peer closed the connection, when not connected, or for a null buffer or size 0; -1 on an
    /// error or when closed by another thread meanwhile.
    ssize_t read(void* buffer, std::size_t size);

    /// Gives back the last `count` bytes that the last read() handed out, so that the next read()
    /// or readLine() gets them again (a reader that took more than its answer: the start of the
    /// next pipelined answer). Only directly after that read(). False, and nothing given back,
    /// when more bytes are asked for than the read handed out or the connection is closed.
    bool unread(std::size_t count);

    /// Reads one line into `line`: bytes up to and including a line feed directly preceded by a
    /// carriage return (a bare line feed does not end a line). Returns the line's length with its
    /// "\r\n"; 0 when the peer closed before a line was complete (or not connected; `line` then
    /// holds what came); -1 on an error, when closed by another thread, or when more than
    /// `maxLength` bytes came without a line end.
    ssize_t readLine(std::string& line, std::size_t maxLength);

    /// True when received data is waiting: bytes already buffered here or in the TLS layer, or a
    /// poll of 20 microseconds reports the socket readable (or in error). False without a socket.
    bool isReadable();
    /// True when a poll of 20 microseconds reports the socket writable (or in error). False
    /// without a socket.
    bool isWritable();

    /// Closes the connection; may be called from any thread, any number of times. Clears the
    /// connected flag at once. With no call in progress: shuts the TLS layer down, closes the
    /// socket and frees the receive buffer. With a call in progress on another thread: that call
    /// is woken, fails, and completes the close as it leaves. The TLS handle itself is freed by
    /// destruction or by the next connect().
    void close();

    /// True between a successful connect()/accept() and close().
    bool isConnected() const { return connected_.load(); }
    /// True for connections made by accept().
    bool isServerSide() const { return serverSide_; }
    /// True once startTls() attached a TLS layer (until destruction or the next connect()).
    bool hasTls() const { return tls_ != nullptr; }
    /// The local port of the socket (for a listener on port 0, the port the system picked);
    /// 0 without a socket.
    int localPort() const;
    /// errno of the last failed connect(), listen() or accept(); 0 when none failed. For a name
    /// that did not resolve: EHOSTUNREACH.
    int lastError() const { return lastError_; }

private:
    class Use;
    struct TlsFree {
        void operator()(SSL* tls) const noexcept;
    };

    bool listenOn(int family, int port);
    ssize_t refill(int fd);
    ssize_t refillPlain(int fd);
    ssize_t refillTls();
    ssize_t writePlain(int fd, const char* data, std::size_t length);
    ssize_t writeTls(const char* data, std::size_t length);
    void finishCloseLocked();
    static void spaceOutZeros(char* bytes, std::size_t count);

    mutable std::mutex stateMutex_; // guards socket_, busy_, closePending_
    int socket_ = -1;
    int busy_ = 0;               // calls in progress that use the socket
    bool closePending_ = false;  // close() came while a call was in progress
    std::atomic<bool> connected_{false};
    std::atomic<unsigned> closeCount_{0}; // close() calls so far; a change ends a connect()
    bool serverSide_ = false;
    std::unique_ptr<SSL, TlsFree> tls_;
    std::unique_ptr<char[]> receiveBuffer_; // kReceiveBufferSize bytes, made on the first read
    std::uint32_t readPosition_ = 0;
    std::uint32_t fillLevel_ = 0;
    std::size_t receiveChunk_ = 0; // the socket's receive buffer size, read once per socket
    std::size_t sendChunk_ = 0;    // the socket's send buffer size, read once per socket
    int lastError_ = 0;
};

} // namespace corvanthelix
