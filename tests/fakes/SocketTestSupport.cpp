#include "tests/fakes/SocketTestSupport.h"

#include "net/LocalCertificate.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace corvanthelix::testing {

int freePort() {
    Connection probe;
    probe.listen(0);
    return probe.localPort();
}

std::string lineWithin(Connection& connection, std::chrono::milliseconds limit) {
    if (!within(limit, [&] { return connection.isReadable(); })) return "(nothing)";
    std::string line;
    return connection.readLine(line, 4096) > 0 ? line : "(closed)";
}

bool MailClient::connect(int port, SSL_CTX* tls) {
    return connection_.connect("127.0.0.1", port) && (tls == nullptr || connection_.startTls(tls));
}

void MailClient::send(const std::string& raw) { connection_.writeText(raw); }

std::string MailClient::line(std::chrono::milliseconds limit) {
    if (!within(limit, [&] { return connection_.isReadable(); })) return "(nothing)";
    std::string text;
    // Large enough for the longest line a test message holds.
    if (connection_.readLine(text, 1 << 24) <= 0) return "(closed)";
    return text.substr(0, text.size() - 2);
}

std::string MailClient::command(const std::string& text) {
    send(text + "\r\n");
    return line();
}

std::vector<std::string> MailClient::listing() {
    std::vector<std::string> lines;
    for (std::string next = line(); next != "."; next = line()) {
        if (next == "(nothing)" || next == "(closed)") return {"(cut: " + next + ")"};
        lines.push_back(next);
    }
    return lines;
}

std::string MailClient::text() {
    std::string out;
    for (const std::string& next : listing()) out += next + "\r\n";
    return out;
}

bool MailClient::closed(std::chrono::milliseconds limit) { return line(limit) == "(closed)"; }

void MailClient::close() { connection_.close(); }

std::string stagedFile(const std::string& name) { return std::string(CORVANTHELIX_PROGRAM_DIR) + "/" + name; }

std::string certificateFile(const std::string& name) {
    static TempFolder folder;
    static const LocalCertificate::Outcome made = LocalCertificate::ensure(folder.path());
    EXPECT_EQ(made, LocalCertificate::Outcome::Made);
    return folder.file(name);
}

std::string makeKeyFile(const TempFolder& folder) {
    std::string path = folder.file("other.key.pem");
    EVP_PKEY* key = EVP_EC_gen("P-256");
    FILE* out = std::fopen(path.c_str(), "w");
    if (key && out) PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
    if (out) std::fclose(out);
    EVP_PKEY_free(key);
    return path;
}

bool threadBlockedInSystemCall(pid_t tid) {
    std::string task = "/proc/self/task/" + std::to_string(tid);
    std::ifstream statFile(task + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    auto close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] != 'S') return false;
    std::ifstream syscallFile(task + "/syscall");
    long number = -1;
    syscallFile >> number;
    return number >= 0 && number != SYS_futex;
}

BlockedCall::BlockedCall(std::function<long()> call) : future_(promise_.get_future()) {
    std::promise<pid_t> started;
    std::future<pid_t> tid = started.get_future();
    thread_ = std::thread([this, call = std::move(call), &started] {
        started.set_value(static_cast<pid_t>(syscall(SYS_gettid)));
        promise_.set_value(call());
    });
    pid_t id = tid.get();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!threadBlockedInSystemCall(id) && std::chrono::steady_clock::now() < deadline &&
           future_.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

BlockedCall::~BlockedCall() {
    if (future_.valid() && future_.wait_for(std::chrono::seconds(2)) != std::future_status::ready) {
        std::fprintf(stderr, "a call under test never returned\n");
        std::abort();
    }
    thread_.join();
}

long BlockedCall::result(std::chrono::milliseconds limit) {
    if (future_.wait_for(limit) != std::future_status::ready) {
        ADD_FAILURE() << "the call is still blocked";
        return kStillBlocked;
    }
    return future_.get();
}

FullListener::FullListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 0) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
    for (int attempt = 0; attempt < 16 && !ready_; ++attempt) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        queued_.push_back(fd);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        pollfd entry{fd, POLLOUT, 0};
        if (::poll(&entry, 1, 200) == 0) ready_ = true; // this attempt hangs: the queue is full
    }
}

FullListener::~FullListener() {
    for (int fd : queued_) ::close(fd);
    if (listener_ >= 0) ::close(listener_);
}

RawTlsClient::RawTlsClient() : context_(SSL_CTX_new(TLS_client_method())) {}

RawTlsClient::~RawTlsClient() {
    SSL_free(tls_);
    SSL_CTX_free(context_);
    if (fd_ >= 0) ::close(fd_);
}

bool RawTlsClient::connect(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    tls_ = SSL_new(context_);
    SSL_set_fd(tls_, fd_);
    return SSL_connect(tls_) == 1;
}

void RawTlsClient::send(const std::string& text) { SSL_write(tls_, text.data(), static_cast<int>(text.size())); }

void RawTlsClient::vanish() {
    // Only the end of the stream, no TLS close notice. (A close() with the server's session
    // tickets still unread would send a reset instead, which is an error, not a close.)
    ::shutdown(fd_, SHUT_WR);
}

} // namespace corvanthelix::testing
