// Fuzz target: the client session's handling of what a mail client sends: the USER argument
// ("server&user&port" with "&&" for a "&"), the argument and number readers, and whole command
// lines run through the session's command table against a scripted mail server on loopback that
// holds messages made from the input. Checks: a USER argument built from three fields reads back
// as those fields, a command's argument is part of its line without line ends at either end, the
// number reader agrees with a plain one, and TOP's answer keeps the header and ends with ".".
// A PASS line reaches the session only while USER still names the scripted server, so no line
// can make the session connect anywhere else.
#include "base/Application.h"
#include "upstream/MailMessage.h"
#include "fuzz/FuzzSupport.h"
#include "proxy/ClientSession.h"
#include "proxy/CommandArguments.h"
#include "net/Connection.h"
#include "upstream/DotStuffing.h"
#include "upstream/Mailbox.h"
#include "proxy/ProxyServer.h"
#include "proxy/SessionControl.h"

#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <condition_variable>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace corvanthelix;

namespace {

// ---- a scripted POP3 server with a mailbox made from the input ----

struct FakeMessage {
    std::string text;
    bool deleted = false;
};

class ScriptedPop3Server {
public:
    ScriptedPop3Server() {
        listener_ = fuzz::listenOnLoopback(port_);
        std::thread([this] { serve(); }).detach(); // lives as long as the process
    }

    int port() const { return port_; }

    void setMailbox(std::vector<std::string> texts, bool withUidl) {
        std::lock_guard<std::mutex> lock(mutex_);
        texts_ = std::move(texts);
        withUidl_ = withUidl;
    }

    /// Waits until no connection is open.
    void waitIdle() {
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait(lock, [&] { return open_ == 0; });
    }

private:
    static std::string stuffed(const std::string& text, int bodyLines) {
        std::string out;
        bool inHeader = true;
        int lines = 0;
        size_t position = 0;
        while (position < text.size()) {
            size_t lineFeed = text.find('\n', position);
            size_t next = lineFeed == std::string::npos ? text.size() : lineFeed + 1;
            std::string line = text.substr(position, next - position);
            if (!inHeader && bodyLines >= 0 && lines++ >= bodyLines) break;
            if (inHeader && (line == "\r\n" || line == "\n")) inHeader = false;
            if (!line.empty() && line[0] == '.') out += '.';
            out += line;
            position = next;
        }
        if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) out += "\r\n";
        return out + ".\r\n";
    }

    std::string answer(const std::string& line, std::vector<FakeMessage>& box, bool withUidl) {
        auto argument = [&](int index) {
            size_t at = 0;
            for (int i = 0; i <= index; ++i) {
                at = line.find(' ', at);
                if (at == std::string::npos) return -1L;
                ++at;
            }
            return std::strtol(line.c_str() + at, nullptr, 10);
        };
        auto message = [&](long number) -> FakeMessage* {
            if (number < 1 || number > static_cast<long>(box.size()) || box[number - 1].deleted) return nullptr;
            return &box[number - 1];
        };
        if (strncasecmp(line.c_str(), "LIST", 4) == 0 || strncasecmp(line.c_str(), "UIDL", 4) == 0) {
            const bool uidl = line[0] == 'U' || line[0] == 'u';
            if (uidl && !withUidl) return "-ERR unknown command\r\n";
            std::string out = "+OK\r\n";
            for (size_t i = 0; i < box.size(); ++i) {
                if (box[i].deleted) continue;
                out += std::to_string(i + 1) + " ";
                out += uidl ? "uid-" + std::to_string(i + 1) : std::to_string(box[i].text.size());
                out += "\r\n";
            }
            return out + ".\r\n";
        }
        if (strncasecmp(line.c_str(), "RETR", 4) == 0) {
            FakeMessage* m = message(argument(0));
            return m ? "+OK\r\n" + stuffed(m->text, -1) : "-ERR no such message\r\n";
        }
        if (strncasecmp(line.c_str(), "TOP", 3) == 0) {
            FakeMessage* m = message(argument(0));
            return m ? "+OK\r\n" + stuffed(m->text, static_cast<int>(std::max(argument(1), 0L))) : "-ERR no such message\r\n";
        }
        if (strncasecmp(line.c_str(), "DELE", 4) == 0) {
            FakeMessage* m = message(argument(0));
            if (!m) return "-ERR no such message\r\n";
            m->deleted = true;
            return "+OK deleted\r\n";
        }
        return "+OK\r\n"; // USER, PASS, NOOP, RSET, QUIT and anything else
    }

    void serveOne(int fd) {
        std::vector<FakeMessage> box;
        bool withUidl;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const std::string& text : texts_) box.push_back({text});
            withUidl = withUidl_;
        }
        std::string reply = "+OK fake server ready\r\n";
        std::string received;
        char buffer[4096];
        for (;;) {
            for (size_t sent = 0; sent < reply.size();) {
                ssize_t n = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) return;
                sent += static_cast<size_t>(n);
            }
            reply.clear();
            size_t end;
            while ((end = received.find("\r\n")) == std::string::npos) {
                ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) return;
                received.append(buffer, static_cast<size_t>(n));
            }
            const std::string line = received.substr(0, end);
            received.erase(0, end + 2);
            reply = answer(line, box, withUidl);
        }
    }

    void serve() {
        for (;;) {
            int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++open_;
            }
            serveOne(fd); // returns once the client has closed
            fuzz::closeAbortively(fd);
            std::lock_guard<std::mutex> lock(mutex_);
            --open_;
            idle_.notify_all();
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable idle_;
    std::vector<std::string> texts_;
    bool withUidl_ = true;
    int open_ = 0;
};

ScriptedPop3Server& upstreamServer() {
    static ScriptedPop3Server* instance = new ScriptedPop3Server;
    return *instance;
}

// ---- the mail check, as far as the session needs it ----

struct CheckPlan {
    std::vector<uint8_t> flags;  // per server message: bit 0 hidden, 1 in bin, 2 known, 3/4 download
    std::string restoredPath;    // a restored message first, when not empty
    bool restoredHasInfo = false;
};

int runCheck(const CheckPlan& plan, ClientSession& session, int& count, std::uint64_t& size) {
    count = 0;
    size = 0;
    int next = 1;
    if (!plan.restoredPath.empty()) {
        MessageEntry entry;
        entry.restored = entry.handled = true;
        entry.filePath = plan.restoredPath;
        entry.clientNumber = next++;
        session.entries().push_back(entry);
        ++count;
    }
    size_t index = 0;
    for (ServerMessage* message = session.mailbox().messages(); message; message = message->next, ++index) {
        const uint8_t flags = index < plan.flags.size() ? plan.flags[index] : 0;
        MessageEntry entry;
        entry.serverNumber = static_cast<std::int32_t>(message->number);
        entry.size = message->size;
        entry.known = (flags & 4) != 0;
        entry.inBin = (flags & 2) != 0;
        if (message->uid) session.uidList().markPresent(*message->uid);
        if ((flags & 24) == 8) session.mailbox().retr(message->number);
        if ((flags & 24) == 16) session.mailbox().top(message->number, 0);
        entry.setHidden((flags & 1) != 0);
        if (!entry.hidden()) entry.clientNumber = next++;
        if (entry.visible()) {
            ++count;
            size += entry.size;
        }
        session.entries().push_back(entry);
    }
    session.setCheckDone(true);
    return 0;
}

// ---- the pieces a unit test can reach ----

std::string escapedField(const std::string& field) {
    std::string out;
    for (char c : field) out += c == '&' ? std::string("&&") : std::string(1, c);
    return out;
}

void checkUserName(const std::string& server, const std::string& user, int port) {
    std::string parsedServer, parsedUser;
    int parsedPort = 0;
    // An empty field or one that starts with "&" cannot follow a separator unambiguously ("a&&&b",
    // "a&&0"), so only the others are expected back.
    if (server.empty() || user.empty() || user.starts_with('&')) return;
    const std::string argument = escapedField(server) + "&" + escapedField(user) + "&" + std::to_string(port);
    FUZZ_CHECK(ClientSession::parseUserName(argument, parsedServer, parsedUser, parsedPort));
    FUZZ_CHECK(parsedServer == server && parsedUser == user && parsedPort == port);
    FUZZ_CHECK(ClientSession::parseUserName(escapedField(server) + "&" + escapedField(user), parsedServer, parsedUser,
                                            parsedPort));
    FUZZ_CHECK(parsedServer == server && parsedUser == user && parsedPort == ClientSession::kPortNotGiven);
}

int plainNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = std::min(value * 10 + (text[i] - '0'), 1LL << 40);
    value = negative ? -value : value;
    return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, value)));
}

void checkLine(const std::string& line) {
    const std::string argument = CommandArguments::of(line);
    FUZZ_CHECK(argument.empty() || line.find(argument) != std::string::npos);
    if (!argument.empty()) {
        FUZZ_CHECK(argument.front() != '\r' && argument.front() != '\n');
        FUZZ_CHECK(argument.back() != '\r' && argument.back() != '\n');
    }
    FUZZ_CHECK(CommandArguments::number(argument) == plainNumber(argument));
    std::string server, user;
    int port = 0;
    if (ClientSession::parseUserName(argument, server, user, port)) {
        FUZZ_CHECK(server.size() + user.size() <= argument.size());
    }
}

void checkTopText(const std::string& text, int lines) {
    const std::string top = ClientSession::topText(text, lines);
    FUZZ_CHECK(top.size() >= 3 && top.compare(top.size() - 3, 3, ".\r\n") == 0);
    // The header lines: every line before the first empty one (or the whole text).
    size_t headerEnd = 0;
    while (headerEnd < text.size()) {
        const size_t lineFeed = text.find('\n', headerEnd);
        if (lineFeed == std::string::npos) {
            headerEnd = text.size();
            break;
        }
        const size_t length = lineFeed + 1 - headerEnd;
        if (length == 1 || (length == 2 && text[headerEnd] == '\r')) break;
        headerEnd = lineFeed + 1;
    }
    // ... go out as they are, dot-stuffed.
    const std::string header = dotStuffed(std::string_view(text).substr(0, headerEnd));
    FUZZ_CHECK(top.compare(0, header.size(), header) == 0);
}

struct Process {
    Process() {
        Application::instance().setProgramFolder(fuzz::scratchFolder() + "/program");
        Application::instance().setShell(nullptr);
    }
    ProxyServer proxy; // never started: it only lends the session lock and the client TLS context
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Process* process = new Process;
    FuzzedDataProvider input(data, size);

    // The pieces on their own.
    const std::string server = input.ConsumeRandomLengthString(24);
    const std::string user = input.ConsumeRandomLengthString(24);
    checkUserName(server, user, input.ConsumeIntegralInRange(0, 65535));
    const std::string topSource = input.ConsumeRandomLengthString(200);
    checkTopText(topSource, input.ConsumeIntegralInRange(-1, 5));

    // A mailbox and a check plan.
    const int messages = input.ConsumeIntegralInRange(0, 4);
    std::vector<std::string> texts;
    CheckPlan plan;
    for (int i = 0; i < messages; ++i) {
        texts.push_back(input.ConsumeRandomLengthString(300));
        plan.flags.push_back(input.ConsumeIntegral<uint8_t>());
    }
    const bool withUidl = input.ConsumeBool();
    if (input.ConsumeBool()) {
        plan.restoredPath = fuzz::scratchFile("restored.eml", input.ConsumeRandomLengthString(200));
        plan.restoredHasInfo = input.ConsumeBool();
    }
    const std::string commands = input.ConsumeRemainingBytesAsString();
    upstreamServer().setMailbox(texts, withUidl);

    SessionServices services;
    services.runCheck = [&plan](ClientSession& session, int& count, std::uint64_t& total) {
        return runCheck(plan, session, count, total);
    };
    services.commit = [](ClientSession& session) {
        session.mailbox().quit();
        session.replyOk("Everything done.");
        return 0;
    };
    services.restoredInfo = [&plan](const std::string&) -> std::optional<RecycleSenderAndSubject> {
        if (!plan.restoredHasInfo) return std::nullopt;
        return RecycleSenderAndSubject{"Ann", "ann@example.org", "lost"};
    };
    services.learn = [](const MailMessage&, bool) { return true; };

    {
        Connection client; // not connected: the replies go nowhere
        SessionControl control(client, false, process->proxy);
        std::lock_guard<std::recursive_mutex> lock(process->proxy.sessionLock());
        ClientSession session(control, services);
        const std::string here = "127.0.0.1";
        const int port = upstreamServer().port();
        bool ended = session.dispatch("USER " + here + "&fuzz&" + std::to_string(port) + "\r\n") == CommandOutcome::EndSession ||
                     session.dispatch("PASS secret\r\n") == CommandOutcome::EndSession;
        size_t position = 0;
        while (!ended && position < commands.size()) {
            // A line ends at CR LF, as the session reads them; an unfinished last line never comes.
            const size_t end = commands.find("\r\n", position);
            if (end == std::string::npos || end + 2 - position > ClientSession::kLongestClientLine) break;
            const std::string line = commands.substr(position, end + 2 - position);
            position = end + 2;
            checkLine(line);
            if (strncasecmp(line.c_str(), "PASS", 4) == 0 && (session.server() != here || session.port() != port)) continue;
            ended = session.dispatch(line) == CommandOutcome::EndSession;
            for (const MessageEntry& entry : session.entries())
                if (entry.visible()) FUZZ_CHECK(session.findByClientNumber(entry.clientNumber) == &entry);
        }
    }
    upstreamServer().waitIdle();
    return 0;
}
