// Download speed of the upstream POP3 client against the fake POP3 server over loopback, as a
// ratio to the baseline measured in the same run: the same RETR answers taken from a raw socket
// in 64 KiB blocks (no line splitting, no time-outs, no message model).
// Cases: one 20 MB message, and 1,000 messages of 10 KB in one session. Two client figures:
// retrText() is the download (a time-out armed per line, the end-of-text check, the body buffer);
// retr() adds building the MailMessage from the text.
#include "upstream/Pop3Client.h"

// Benchmarks link only the core, so the test fake is built into this program.
#include "tests/fakes/FakePop3Server.cpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

using namespace corvanthelix;
using corvanthelix::testing::FakePop3Server;

namespace {

constexpr int kRounds = 9;
constexpr std::size_t kBigMessage = 20u * 1024 * 1024;
constexpr std::size_t kSmallMessage = 10u * 1024;
constexpr int kSmallCount = 1000;

// A message of 78-byte lines of about `bytes` bytes.
std::string message(std::size_t bytes, int serial) {
    std::string text = "From: bench" + std::to_string(serial) + "@example.org\r\nSubject: bench\r\n\r\n";
    std::string line(76, 'm');
    line += "\r\n";
    while (text.size() + line.size() <= bytes) text += line;
    return text;
}

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// A plain socket logged in to the fake server.
class RawSession {
public:
    explicit RawSession(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(static_cast<uint16_t>(port));
        peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ok_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
        ok_ = ok_ && readLine().rfind("+OK", 0) == 0;
        ok_ = ok_ && command("USER alice") && readLine().rfind("+OK", 0) == 0;
        ok_ = ok_ && command("PASS secret") && readLine().rfind("+OK", 0) == 0;
    }
    ~RawSession() { ::close(fd_); }
    bool ok() const { return ok_; }

    // Sends RETR n and takes the answer in 64 KiB blocks up to its final "\r\n.\r\n". Returns the
    // bytes received.
    std::size_t retr(int number) {
        if (!command("RETR " + std::to_string(number))) return 0;
        std::size_t total = 0;
        char tail[5] = {};
        for (;;) {
            ssize_t n = ::recv(fd_, block_, sizeof block_, 0);
            if (n <= 0) return 0;
            total += static_cast<std::size_t>(n);
            // Keep the last five bytes seen, across block boundaries.
            if (n >= 5) {
                std::memcpy(tail, block_ + n - 5, 5);
            } else {
                std::memmove(tail, tail + n, 5 - static_cast<std::size_t>(n));
                std::memcpy(tail + 5 - n, block_, static_cast<std::size_t>(n));
            }
            if (std::memcmp(tail, "\r\n.\r\n", 5) == 0) return total;
        }
    }

private:
    bool command(const std::string& text) {
        std::string line = text + "\r\n";
        return ::send(fd_, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    }
    std::string readLine() {
        std::string line;
        char c;
        while (::recv(fd_, &c, 1, 0) == 1) {
            line += c;
            if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) break;
        }
        return line;
    }

    int fd_ = -1;
    bool ok_ = false;
    char block_[65536];
};

struct Figures {
    double baseline = 1e9;
    double text = 1e9;   // retrText: the download alone
    double client = 1e9; // retr: download and message model
};

// Times RETR of messages 1..count over one logged-in client; `fetch` does one message. Returns
// seconds, or -1 on a failure.
template <typename Fetch>
double timeClient(FakePop3Server& server, int count, Fetch fetch) {
    Pop3Client client;
    if (client.connect("127.0.0.1", server.port(), nullptr) != UpstreamResult::Ok ||
        client.login("alice", "secret") != UpstreamResult::Ok || !client.list())
        return -1;
    auto start = Clock::now();
    for (int n = 1; n <= count; ++n)
        if (!fetch(client, static_cast<std::uint32_t>(n))) return -1;
    double elapsed = seconds(start);
    client.quit();
    return elapsed;
}

// One round of both ways for messages 1..count of `server`; false on any failure.
bool round(FakePop3Server& server, int count, std::size_t& bytes, Figures& figures) {
    {
        RawSession raw(server.port());
        if (!raw.ok()) return false;
        auto start = Clock::now();
        bytes = 0;
        for (int n = 1; n <= count; ++n) {
            std::size_t got = raw.retr(n);
            if (got == 0) return false;
            bytes += got;
        }
        figures.baseline = std::min(figures.baseline, seconds(start));
    }
    double text = timeClient(server, count, [](Pop3Client& c, std::uint32_t n) { return c.retrText(n).has_value(); });
    double whole = timeClient(server, count, [](Pop3Client& c, std::uint32_t n) { return c.retr(n) != nullptr; });
    if (text < 0 || whole < 0) return false;
    figures.text = std::min(figures.text, text);
    figures.client = std::min(figures.client, whole);
    return true;
}

} // namespace

int main() {
    FakePop3Server big;
    big.addMessage(message(kBigMessage, 0));
    FakePop3Server small;
    for (int i = 0; i < kSmallCount; ++i) small.addMessage(message(kSmallMessage, i));
    if (!big.start() || !small.start()) {
        std::fprintf(stderr, "fake server did not start\n");
        return 1;
    }

    Figures bigFigures, smallFigures;
    std::size_t bigBytes = 0, smallBytes = 0;
    // Rounds interleave the cases, so a busy machine slows them alike.
    for (int r = 0; r < kRounds; ++r) {
        if (!round(big, 1, bigBytes, bigFigures) || !round(small, kSmallCount, smallBytes, smallFigures)) {
            std::fprintf(stderr, "a download failed\n");
            return 1;
        }
    }

    auto report = [](const char* name, std::size_t bytes, const Figures& f) {
        double mb = static_cast<double>(bytes) / (1024.0 * 1024.0);
        std::printf("%s (%.1f MB)\n", name, mb);
        std::printf("  baseline raw recv, 64 KiB blocks : %8.1f MB/s\n", mb / f.baseline);
        std::printf("  Pop3Client::retrText (download)  : %8.1f MB/s  time ratio to baseline %.2f\n",
                    mb / f.text, f.text / f.baseline);
        std::printf("  Pop3Client::retr (+ MailMessage) : %8.1f MB/s  time ratio to baseline %.2f\n",
                    mb / f.client, f.client / f.baseline);
    };
    std::printf("RETR from the fake POP3 server over loopback, best of %d interleaved rounds\n", kRounds);
    report("one message of 20 MB", bigBytes, bigFigures);
    report("1,000 messages of 10 KB, one session", smallBytes, smallFigures);
    return 0;
}
