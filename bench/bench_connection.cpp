// Throughput of reading 20 MB of mail text (78-byte lines) over loopback through Connection, as a
// ratio to the baseline measured in the same run: recv() of 64 KiB blocks on a raw socket.
// Shown: line reads (readLine), the one-byte reads a simple line reader makes, block reads, and
// the same over TLS (whose ratio includes the cost of the encryption).
#include "net/Connection.h"
#include "net/LocalCertificate.h"
#include "net/TlsContext.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

using namespace corvanthelix;

namespace {

constexpr std::size_t kPayloadBytes = 20 * 1024 * 1024;
constexpr int kRounds = 5;

std::string mailText() {
    std::string line(76, 'x');
    line += "\r\n";
    std::string text;
    text.reserve(kPayloadBytes + line.size());
    while (text.size() < kPayloadBytes) text += line;
    return text;
}

struct Link {
    Connection listener;
    Connection reader;
    std::unique_ptr<Connection> writer;
};

// Connects a reader and a writer over loopback, with TLS when the contexts are given.
bool link(Link& l, const TlsContext* client, const TlsContext* server) {
    if (!l.listener.listen(0) || !l.reader.connect("127.0.0.1", l.listener.localPort())) return false;
    l.writer = l.listener.accept();
    if (!l.writer) return false;
    if (!client) return true;
    auto clientSide = std::async(std::launch::async, [&] { return l.reader.startTls(client->get()); });
    bool serverOk = l.writer->startTls(server->get());
    return clientSide.get() && serverOk;
}

// Seconds for `consume` to take the whole text from a fresh link; -1 when it fell short.
double secondsFor(const std::string& text, const TlsContext* client, const TlsContext* server,
                  std::size_t (*consume)(Link&)) {
    Link l;
    if (!link(l, client, server)) return -1;
    std::thread writer([&] {
        l.writer->write(text.data(), text.size());
        l.writer->close();
    });
    auto start = std::chrono::steady_clock::now();
    std::size_t got = consume(l);
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    writer.join();
    if (got != text.size()) {
        std::fprintf(stderr, "short read: %zu of %zu\n", got, text.size());
        return -1;
    }
    return elapsed.count();
}

// The baseline: the same bytes taken from a raw socket in 64 KiB blocks.
double baselineSeconds(const std::string& text) {
    Connection listener;
    listener.listen(0);
    int raw = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(listener.localPort()));
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(raw, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    std::unique_ptr<Connection> writerSide = listener.accept();
    std::thread writer([&] {
        writerSide->write(text.data(), text.size());
        writerSide->close();
    });
    static char block[65536];
    std::size_t total = 0;
    auto start = std::chrono::steady_clock::now();
    for (ssize_t n; (n = ::recv(raw, block, sizeof block, 0)) > 0;) total += static_cast<std::size_t>(n);
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    writer.join();
    ::close(raw);
    return total == text.size() ? elapsed.count() : -1;
}

std::size_t lineReads(Link& l) {
    std::string line;
    std::size_t total = 0;
    for (ssize_t n; (n = l.reader.readLine(line, 1 << 20)) > 0;) total += static_cast<std::size_t>(n);
    return total;
}

std::size_t byteReads(Link& l) {
    std::size_t total = 0;
    char byte;
    while (l.reader.read(&byte, 1) == 1) ++total;
    return total;
}

std::size_t blockReads(Link& l) {
    static char block[65536];
    std::size_t total = 0;
    for (ssize_t n; (n = l.reader.read(block, sizeof block)) > 0;) total += static_cast<std::size_t>(n);
    return total;
}

} // namespace

int main(int argc, char** argv) {
    const std::string text = mailText();
    const double mb = static_cast<double>(text.size()) / (1024.0 * 1024.0);

    TlsContext client = TlsContext::create(TlsContext::Side::Client);
    TlsContext server = TlsContext::create(TlsContext::Side::Server);
    // The TLS rounds need a certificate: that of a program folder given as argument, or one made
    // for this run in a temporary folder as the program makes its own.
    char made[] = "/tmp/bench-connection-XXXXXX";
    const char* folder = argc > 1 ? argv[1] : ::mkdtemp(made);
    if (folder && argc <= 1) LocalCertificate::ensure(folder);
    bool tls = folder && server.loadCertificate(std::string(folder) + "/cert.server.pem",
                                                std::string(folder) + "/key.server.pem");
    if (folder && argc <= 1) {
        for (const char* name : {LocalCertificate::kCertificateName, LocalCertificate::kKeyName, LocalCertificate::kDerName})
            ::unlink((std::string(folder) + "/" + name).c_str());
        ::rmdir(folder);
    }

    struct Case {
        const char* name;
        std::size_t (*consume)(Link&);
        bool tls;
        double best = 1e9;
    };
    Case cases[] = {{"Connection::readLine            ", lineReads, false},
                    {"Connection::read, one byte each ", byteReads, false},
                    {"Connection::read, 64 KiB blocks ", blockReads, false},
                    {"TLS Connection::read, 64 KiB    ", blockReads, true},
                    {"TLS Connection::readLine        ", lineReads, true}};
    // Rounds interleave the baseline with every case, so a busy machine slows them alike.
    double baseline = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        double b = baselineSeconds(text);
        if (b < 0) return 1;
        baseline = std::min(baseline, b);
        for (Case& c : cases) {
            if (c.tls && !tls) continue;
            double seconds = c.tls ? secondsFor(text, &client, &server, c.consume) : secondsFor(text, nullptr, nullptr, c.consume);
            if (seconds < 0) return 1;
            c.best = std::min(c.best, seconds);
        }
    }

    std::printf("%.0f MB of 78-byte lines over loopback, best of %d interleaved rounds\n", mb, kRounds);
    std::printf("  baseline raw recv, 64 KiB blocks : %7.1f MB/s\n", mb / baseline);
    for (const Case& c : cases) {
        if (c.tls && !tls) continue;
        std::printf("  %s: %7.1f MB/s  time ratio to baseline %.2f\n", c.name, mb / c.best, c.best / baseline);
    }
    if (!tls) std::printf("  (TLS skipped: no certificate could be loaded)\n");
    return 0;
}
