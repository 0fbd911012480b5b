#include "app/SingleInstance.h"

#include "base/Crc32.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace corvanthelix {

namespace {

constexpr int kRequestWaitMs = 1000;

// The socket's address: the file in the program folder when its path fits, else a name in the
// abstract namespace made from the folder, so deep folders work too.
socklen_t socketAddress(const std::string& programFolder, sockaddr_un& address, std::string& filePath) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    filePath = programFolder + "/" + SingleInstance::kSocketFileName;
    if (filePath.size() < sizeof address.sun_path) {
        std::memcpy(address.sun_path, filePath.c_str(), filePath.size() + 1);
        return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + filePath.size() + 1);
    }
    char name[64];
    int length = std::snprintf(name, sizeof name, "corvanthelix-%08x", crc32(programFolder.data(), programFolder.size()));
    filePath.clear();
    address.sun_path[0] = '\0';
    std::memcpy(address.sun_path + 1, name, static_cast<std::size_t>(length));
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<std::size_t>(length));
}

bool writeText(int fd, const char* text) {
    std::size_t length = std::strlen(text);
    while (length > 0) {
        ssize_t written = ::send(fd, text, length, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

// Reads up to a line feed, waiting at most `waitMs` in all.
std::string readLine(int fd, int waitMs) {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (line.size() < 64 && (line.empty() || line.back() != '\n')) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
        char c;
        ssize_t got = ::recv(fd, &c, 1, 0);
        if (got <= 0) break;
        line += c;
    }
    return line;
}

} // namespace

SingleInstance::SingleInstance(std::string programFolder) : programFolder_(std::move(programFolder)) {}

SingleInstance::~SingleInstance() { release(); }

SingleInstance::Claim SingleInstance::claim() {
    if (lock_.valid()) return Claim::First;
    UniqueFd fd(::open((programFolder_ + "/" + kLockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.valid()) return Claim::Failed;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? Claim::Second : Claim::Failed;
    lock_ = std::move(fd);
    return Claim::First;
}

bool SingleInstance::listen(std::function<void()> onShowTrayIcon) {
    if (!lock_.valid() || listener_.valid()) return false;
    sockaddr_un address {};
    socklen_t length = socketAddress(programFolder_, address, socketPath_);
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listener.valid()) return false;
    // Holding the lock, any socket file left here belongs to a program that has ended.
    if (!socketPath_.empty()) ::unlink(socketPath_.c_str());
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0) return false;
    socketFile_ = !socketPath_.empty();
    if (socketFile_) ::chmod(socketPath_.c_str(), 0600);
    if (::listen(listener.get(), 4) != 0) return false;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    wakeRead_.reset(pipeFds[0]);
    wakeWrite_.reset(pipeFds[1]);
    listener_ = std::move(listener);
    onShow_ = std::move(onShowTrayIcon);
    thread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void SingleInstance::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if (fds[0].revents & POLLIN) {
            UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (client.valid()) serve(client.get());
        }
    }
}

void SingleInstance::serve(int client) {
    if (readLine(client, kRequestWaitMs) != kShowTrayIconRequest) return;
    if (onShow_) onShow_();
    writeText(client, kAcknowledge);
}

void SingleInstance::release() {
    if (thread_.joinable()) {
        ssize_t woken = ::write(wakeWrite_.get(), "x", 1);
        (void)woken; // a full pipe wakes the thread just as well
        thread_.join();
    }
    listener_.reset();
    wakeRead_.reset();
    wakeWrite_.reset();
    if (socketFile_) ::unlink(socketPath_.c_str());
    socketFile_ = false;
    lock_.reset();
}

bool SingleInstance::askToShowTrayIcon(const std::string& programFolder, int patienceMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
    for (;;) {
        sockaddr_un address {};
        std::string path;
        socklen_t length = socketAddress(programFolder, address, path);
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (fd.valid() && ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), length) == 0)
            return writeText(fd.get(), kShowTrayIconRequest) && readLine(fd.get(), kRequestWaitMs) == kAcknowledge;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        // The running program may not listen yet: it takes the lock first.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace corvanthelix
