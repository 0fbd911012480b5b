// Fuzz target: the upstream POP3 client reading a mail server's replies: the greeting, status
// lines, the LIST and UIDL listings and the multi-line message texts of RETR and TOP. The input
// is what the server says, played by a scripted server on a loopback socket (all of it sent at
// once, then the server's side of the stream ends), and a short list of commands the client
// gives. Checks: a downloaded text is never empty and is bytes the server sent (NUL bytes as
// spaces); a message model built from it holds that text; the client never blocks for good.
#include "fuzz/FuzzSupport.h"
#include "upstream/Pop3Client.h"

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <mutex>
#include <string>
#include <thread>

using namespace corvanthelix;

namespace {

// A loopback server on its own thread that answers every connection with the current script.
class ScriptedServer {
public:
    ScriptedServer() {
        listener_ = fuzz::listenOnLoopback(port_);
        std::thread([this] { serve(); }).detach(); // lives as long as the process
    }

    int port() const { return port_; }

    /// Makes `script` the answer of the next connection.
    void setScript(const std::string& script) {
        std::lock_guard<std::mutex> lock(mutex_);
        script_ = script;
    }

    /// Waits until every connection accepted so far has been answered and closed.
    void waitIdle(unsigned connections) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return served_ >= connections; });
    }

private:
    void serve() {
        for (;;) {
            int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::string script;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                script = script_;
            }
            for (size_t sent = 0; sent < script.size();) {
                ssize_t n = ::send(fd, script.data() + sent, script.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
            ::shutdown(fd, SHUT_WR);
            char sink[4096];
            while (::recv(fd, sink, sizeof sink, 0) > 0) {
            }
            fuzz::closeAbortively(fd);
            std::lock_guard<std::mutex> lock(mutex_);
            ++served_;
            done_.notify_all();
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable done_;
    std::string script_;
    unsigned served_ = 0;
};

ScriptedServer& server() {
    static ScriptedServer* instance = new ScriptedServer;
    return *instance;
}

// A received text is the message with the wire's dot-stuffing undone: each of its lines was sent
// as it is or with one more "." in front.
void checkText(const std::string& sent, const std::string& text) {
    FUZZ_CHECK(!text.empty());
    for (size_t start = 0; start < text.size();) {
        const size_t lineEnd = text.find("\r\n", start);
        const size_t end = lineEnd == std::string::npos ? text.size() : lineEnd + 2;
        const std::string line = text.substr(start, end - start);
        FUZZ_CHECK(sent.find(line) != std::string::npos || sent.find("." + line) != std::string::npos);
        start = end;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static unsigned connections = 0;
    FuzzedDataProvider input(data, size);
    const int commands = input.ConsumeIntegralInRange(0, 7);
    uint8_t plan[7][3] = {};
    for (int i = 0; i < commands; ++i)
        for (uint8_t& b : plan[i]) b = input.ConsumeIntegral<uint8_t>();
    const std::string script = input.ConsumeRemainingBytesAsString();
    // Message texts come byte for byte; answer lines with their zero bytes as spaces.
    const std::string& sent = script;
    const std::string sentLines = fuzz::spacedOutZeros(script);

    server().setScript(script);
    {
        Pop3Client client;
        client.setTimeout(10000);
        ++connections;
        if (client.connect("127.0.0.1", server().port()) == UpstreamResult::Ok) {
            for (int i = 0; i < commands; ++i) {
                const uint32_t number = plan[i][1] % 5;
                switch (plan[i][0] % 9) {
                case 0: client.login("user", "secret"); break;
                case 1: {
                    const std::vector<Pop3ListEntry>* list = client.list();
                    if (list) FUZZ_CHECK(!list->empty() && !client.listEmpty());
                    break;
                }
                case 2:
                    if (std::unique_ptr<MailMessage> message = client.retr(number)) {
                        checkText(sent, message->source());
                        // A whole message keeps the line end of its last line.
                        FUZZ_CHECK(message->source().ends_with("\r\n"));
                        FUZZ_CHECK(message->topLines() == -1);
                    }
                    break;
                case 3:
                    if (std::optional<std::string> text = client.retrText(number)) checkText(sent, *text);
                    break;
                case 4:
                    if (std::unique_ptr<MailMessage> message = client.top(number, plan[i][2] % 4)) {
                        checkText(sent, message->source());
                    }
                    break;
                case 5: client.dele(number); break;
                case 6: client.noop(); break;
                case 7:
                    if (const Pop3ListEntry* entry = client.findNode(number)) FUZZ_CHECK(entry->number == number);
                    break;
                case 8: client.quit(); break;
                }
            }
        }
        if (std::optional<std::string> response = client.lastResponse()) FUZZ_CHECK(sentLines.find(*response) != std::string::npos);
    }
    server().waitIdle(connections);
    return 0;
}
