#include "tests/fakes/FakePop3Server.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace corvanthelix::testing {

namespace {

constexpr std::size_t kMaxCommandLine = 1 << 20;

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A key and self-signed certificate for "localhost", made once per process.
struct Identity {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    ~Identity() {
        X509_free(certificate);
        EVP_PKEY_free(key);
    }
};

const Identity& identity() {
    static Identity made = [] {
        Identity id;
        id.key = EVP_EC_gen("P-256");
        id.certificate = X509_new();
        if (!id.key || !id.certificate) return id;
        X509_set_version(id.certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(id.certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(id.certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(id.certificate), 7L * 24 * 3600);
        X509_set_pubkey(id.certificate, id.key);
        X509_NAME* name = X509_get_subject_name(id.certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(id.certificate, name);
        X509_sign(id.certificate, id.key, EVP_sha256());
        return id;
    }();
    return made;
}

// The lines of `wire` (each with its "\r\n"): the header up to and including the empty line,
// then at most `bodyLines` lines.
std::string topOf(const std::string& wire, int bodyLines) {
    std::size_t at = 0;
    bool inHeader = true;
    int taken = 0;
    while (at < wire.size()) {
        std::size_t end = wire.find('\n', at);
        end = end == std::string::npos ? wire.size() : end + 1;
        if (inHeader) {
            bool empty = end - at <= 2 && (wire[at] == '\r' || wire[at] == '\n');
            if (empty) inHeader = false;
        } else {
            if (taken >= bodyLines) break;
            ++taken;
        }
        at = end;
    }
    return wire.substr(0, at);
}

} // namespace

struct FakePop3Server::Session {
    std::unique_ptr<Connection> connection;
    std::string outgoing; // reused for message answers, so big ones do not fault in fresh pages
    std::thread thread;
    bool finished = false;
};

struct FakePop3Server::SessionState {
    std::string user;
    bool authorized = false;
    std::vector<std::shared_ptr<Stored>> messages; // numbering of this session's login
    std::vector<bool> deleted;

    // The message with session number `argument`, or null when absent or marked deleted.
    Stored* find(const std::string& argument) {
        long number = std::strtol(argument.c_str(), nullptr, 10);
        if (number < 1 || static_cast<std::size_t>(number) > messages.size() || deleted[number - 1])
            return nullptr;
        return messages[number - 1].get();
    }
};

FakePop3Server::FakePop3Server(bool tls) : tls_(tls) {}

FakePop3Server::~FakePop3Server() { stop(); }

bool FakePop3Server::start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) return false;
    if (tls_ && !context_) {
        context_ = TlsContext::create(TlsContext::Side::Server);
        const Identity& id = identity();
        if (!context_ || !id.certificate || SSL_CTX_use_certificate(context_.get(), id.certificate) != 1 ||
            SSL_CTX_use_PrivateKey(context_.get(), id.key) != 1) {
            context_.reset();
            return false;
        }
    }
    if (!listener_.listen(0)) return false;
    running_ = true;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void FakePop3Server::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return;
        running_ = false;
    }
    listener_.close();
    if (acceptThread_.joinable()) acceptThread_.join();
    std::vector<std::unique_ptr<Session>> sessions;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sessions.swap(sessions_);
        for (auto& session : sessions) session->connection->close();
    }
    for (auto& session : sessions)
        if (session->thread.joinable()) session->thread.join();
}

int FakePop3Server::port() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_ ? listener_.localPort() : 0;
}

void FakePop3Server::acceptLoop() {
    for (;;) {
        std::unique_ptr<Connection> accepted = listener_.accept();
        if (!accepted) return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return;
        ++connections_;
        ++runningSessions_;
        // Forget sessions that have ended, so a long benchmark does not pile them up.
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if ((*it)->finished) {
                (*it)->thread.join();
                it = sessions_.erase(it);
            } else {
                ++it;
            }
        }
        auto session = std::make_unique<Session>();
        session->connection = std::move(accepted);
        Session* raw = session.get();
        session->thread = std::thread([this, raw] {
            serve(*raw);
            raw->connection->close();
            std::lock_guard<std::mutex> lock(mutex_);
            raw->finished = true;
            --runningSessions_;
            idle_.notify_all();
        });
        sessions_.push_back(std::move(session));
    }
}

FakePop3Server::Fate FakePop3Server::fateOf(const std::string& verb) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!switches_.dropVerb.empty() && verb == switches_.dropVerb &&
        ++switches_.dropSeen == switches_.dropOccurrence)
        return Fate::Drop;
    if (!switches_.silentVerb.empty() && verb == switches_.silentVerb &&
        ++switches_.silentSeen == switches_.silentOccurrence)
        return Fate::Silent;
    return Fate::Answer;
}

void FakePop3Server::record(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(line);
}

void FakePop3Server::waitForEnd(Session& session) {
    // Silent: take what the client still sends (recorded, unanswered) until it or stop() closes.
    std::string line;
    while (session.connection->readLine(line, kMaxCommandLine) > 0) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        record(line);
    }
}

bool FakePop3Server::send(Session& session, const std::string& text, std::size_t stallAfter) {
    std::size_t length = text.size();
    bool stall = stallAfter > 0 && stallAfter < length;
    if (stall) length = stallAfter;
    std::size_t chunk;
    std::chrono::microseconds pause;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        chunk = switches_.trickleBytes;
        pause = switches_.tricklePause;
    }
    if (chunk == 0) {
        if (session.connection->write(text.data(), length) != static_cast<ssize_t>(length)) return false;
    } else {
        for (std::size_t at = 0; at < length; at += chunk) {
            std::size_t piece = std::min(chunk, length - at);
            if (session.connection->write(text.data() + at, piece) != static_cast<ssize_t>(piece)) return false;
            if (pause.count() > 0) std::this_thread::sleep_for(pause);
        }
    }
    return !stall;
}

std::string FakePop3Server::wireForm(const std::string& text, bool stuffDots) {
    std::string wire;
    wire.reserve(text.size() + text.size() / 64 + 2);
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        if (stuffDots && text[at] == '.') wire += '.';
        wire.append(text, at, end - at);
        at = end;
    }
    if (!wire.empty() && (wire.size() < 2 || wire.compare(wire.size() - 2, 2, "\r\n") != 0)) wire += "\r\n";
    return wire;
}

void FakePop3Server::serve(Session& session) {
    if (tls_) {
        Fate handshake = fateOf("HANDSHAKE");
        if (handshake == Fate::Drop) return;
        if (handshake == Fate::Silent) return waitForEnd(session);
        if (!session.connection->startTls(context_.get())) return;
    }
    Fate greeting = fateOf("GREETING");
    if (greeting == Fate::Drop) return;
    if (greeting == Fate::Silent) return waitForEnd(session);
    std::string greetingLine;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        greetingLine = switches_.greeting + "\r\n";
    }
    if (!send(session, greetingLine)) return;

    SessionState state;
    std::string line;
    for (;;) {
        if (session.connection->readLine(line, kMaxCommandLine) <= 0) return;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        record(line);
        std::string verb = upper(line.substr(0, line.find(' ')));
        Fate fate = fateOf(verb);
        if (fate == Fate::Drop) return;
        if (fate == Fate::Silent) return waitForEnd(session);
        Next next = handle(session, state, line);
        if (next == Next::End) return;
        if (next == Next::Silence) return waitForEnd(session);
    }
}

FakePop3Server::Next FakePop3Server::handle(Session& session, SessionState& state, const std::string& line) {
    std::size_t space = line.find(' ');
    std::string verb = upper(line.substr(0, space));
    std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
    std::string second;
    if (std::size_t split = argument.find(' '); split != std::string::npos) {
        second = argument.substr(split + 1);
        argument.resize(split);
    }
    auto reply = [&](const std::string& text) { return send(session, text) ? Next::Continue : Next::End; };

    if (verb == "USER") {
        state.user = argument;
        return reply("+OK user accepted\r\n");
    }
    if (verb == "PASS") {
        std::string password = space == std::string::npos ? "" : line.substr(space + 1);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            state.authorized = state.user == user_ && password == password_;
            if (state.authorized) {
                state.messages = messages_;
                state.deleted.assign(messages_.size(), false);
            }
        }
        return reply(state.authorized ? "+OK logged in\r\n" : "-ERR [AUTH] Authentication failed.\r\n");
    }
    if (verb == "NOOP") return reply("+OK\r\n");
    if (verb == "STLS") return reply("-ERR TLS not available now\r\n");
    if (verb == "CAPA") {
        std::string capabilities = "+OK capabilities follow\r\nUSER\r\n";
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!switches_.topRefused) capabilities += "TOP\r\n";
            if (switches_.uidl) capabilities += "UIDL\r\n";
            if (switches_.stlsRefused) capabilities += "STLS\r\n";
            if (switches_.pipelining) capabilities += "PIPELINING\r\n";
        }
        capabilities += ".\r\n";
        return reply(capabilities);
    }
    if (verb == "QUIT") {
        if (state.authorized) {
            std::lock_guard<std::mutex> lock(mutex_);
            for (std::size_t i = 0; i < state.messages.size(); ++i) {
                if (!state.deleted[i]) continue;
                std::uint64_t id = state.messages[i]->id;
                std::erase_if(messages_, [id](const auto& stored) { return stored->id == id; });
            }
        }
        send(session, "+OK bye\r\n");
        return Next::End;
    }
    bool known = verb == "STAT" || verb == "LIST" || verb == "UIDL" || verb == "RETR" || verb == "TOP" ||
                 verb == "DELE" || verb == "RSET";
    if (!known) return reply("-ERR unknown command\r\n");
    if (!state.authorized) return reply("-ERR not logged in\r\n");

    auto sizeOf = [](const Stored& stored) {
        return stored.listSize >= 0 ? static_cast<std::uint64_t>(stored.listSize) : stored.text.size();
    };
    if (verb == "STAT") {
        std::uint64_t count = 0, total = 0;
        {
            // Released before the reply, as everywhere here: send() takes the same lock.
            std::lock_guard<std::mutex> lock(mutex_);
            for (std::size_t i = 0; i < state.messages.size(); ++i) {
                if (state.deleted[i]) continue;
                ++count;
                total += sizeOf(*state.messages[i]);
            }
        }
        return reply("+OK " + std::to_string(count) + " " + std::to_string(total) + "\r\n");
    }
    if (verb == "RSET") {
        state.deleted.assign(state.messages.size(), false);
        return reply("+OK\r\n");
    }
    if (verb == "LIST" || verb == "UIDL") {
        bool uidl = verb == "UIDL";
        std::string answer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (uidl && !switches_.uidl) answer = "-ERR unknown command\r\n";
            if (!uidl && switches_.listRefused) answer = "-ERR mailbox busy\r\n";
        }
        if (!answer.empty()) return reply(answer);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto field = [&](const Stored& stored) {
                return uidl ? stored.uid : std::to_string(sizeOf(stored));
            };
            if (!argument.empty()) {
                Stored* stored = state.find(argument);
                if (!stored) {
                    answer = "-ERR no such message\r\n";
                } else {
                    answer = "+OK " + std::to_string(std::strtol(argument.c_str(), nullptr, 10)) + " " +
                             field(*stored) + "\r\n";
                }
            } else {
                answer = "+OK\r\n";
                for (std::size_t i = 0; i < state.messages.size(); ++i)
                    if (!state.deleted[i]) answer += std::to_string(i + 1) + " " + field(*state.messages[i]) + "\r\n";
                answer += ".\r\n";
            }
        }
        return reply(answer);
    }
    if (verb == "DELE") {
        Stored* stored = state.find(argument);
        if (!stored) return reply("-ERR no such message\r\n");
        state.deleted[std::strtol(argument.c_str(), nullptr, 10) - 1] = true;
        return reply("+OK message deleted\r\n");
    }
    // RETR and TOP.
    bool isTop = verb == "TOP";
    std::size_t stallAfter;
    bool stuff;
    bool refused;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        refused = isTop && switches_.topRefused;
        stallAfter = switches_.stallInBody;
        stuff = !switches_.unstuffedDots;
    }
    if (refused) return reply("-ERR TOP not supported\r\n");
    Stored* stored = state.find(argument);
    if (!stored || (isTop && second.empty())) return reply("-ERR no such message\r\n");
    std::string unstuffed;
    if (!stuff) unstuffed = wireForm(stored->text, false);
    const std::string& wire = stuff ? stored->wire : unstuffed;
    std::string& answer = session.outgoing;
    answer.clear(); // keeps the capacity
    answer += "+OK " + std::to_string(stored->text.size()) + " octets\r\n";
    if (isTop)
        answer += topOf(wire, std::atoi(second.c_str()));
    else
        answer += wire;
    answer += ".\r\n";
    if (stallAfter > 0) return send(session, answer, stallAfter) ? Next::Continue : Next::Silence;
    return reply(answer);
}

void FakePop3Server::setAccount(const std::string& user, const std::string& password) {
    std::lock_guard<std::mutex> lock(mutex_);
    user_ = user;
    password_ = password;
}

int FakePop3Server::addMessage(std::string text, std::string uid) {
    auto stored = std::make_shared<Stored>();
    stored->wire = wireForm(text, true);
    stored->text = std::move(text);
    std::lock_guard<std::mutex> lock(mutex_);
    stored->id = nextId_++;
    stored->uid = uid.empty() ? "uid-" + std::to_string(stored->id) : std::move(uid);
    messages_.push_back(std::move(stored));
    return static_cast<int>(messages_.size());
}

bool FakePop3Server::removeMessage(int number) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (number < 1 || static_cast<std::size_t>(number) > messages_.size()) return false;
    messages_.erase(messages_.begin() + (number - 1));
    return true;
}

void FakePop3Server::clearMailbox() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

std::vector<FakePop3Server::Message> FakePop3Server::mailbox() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Message> result;
    for (const auto& stored : messages_) result.push_back(Message{stored->text, stored->uid});
    return result;
}

void FakePop3Server::setListSize(int number, std::uint64_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (number >= 1 && static_cast<std::size_t>(number) <= messages_.size())
        messages_[number - 1]->listSize = static_cast<std::int64_t>(size);
}

void FakePop3Server::setGreeting(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_.greeting = line;
}

void FakePop3Server::setUidl(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_.uidl = on;
}

void FakePop3Server::setPipelining(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_.pipelining = on;
}

void FakePop3Server::setStlsRefused(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_.stlsRefused = on;
}

void FakePop3Server::setListRefused(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_.listRefused = on;
}

void FakePop3Server::setTopRefused(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_.topRefused = on;
}

void FakePop3Server::setSilentAt(const std::string& verb, int occurrence) {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_.silentVerb = upper(verb);
    switches_.silentOccurrence = occurrence;
    switches_.silentSeen = 0;
}

void FakePop3Server::setDropAt(const std::string& verb, int occurrence) {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_.dropVerb = upper(verb);
    switches_.dropOccurrence = occurrence;
    switches_.dropSeen = 0;
}

void FakePop3Server::setStallInBody(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_.stallInBody = bytes;
}

void FakePop3Server::setUnstuffedDots(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_.unstuffedDots = on;
}

void FakePop3Server::setTrickle(std::size_t bytes, std::chrono::microseconds pause) {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_.trickleBytes = bytes;
    switches_.tricklePause = pause;
}

void FakePop3Server::clearSwitches() {
    std::lock_guard<std::mutex> lock(mutex_);
    switches_ = Switches{};
}

std::vector<std::string> FakePop3Server::commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

int FakePop3Server::count(const std::string& verb) const {
    std::string wanted = upper(verb);
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(std::count_if(commands_.begin(), commands_.end(), [&](const std::string& line) {
        return upper(line.substr(0, line.find(' '))) == wanted;
    }));
}

int FakePop3Server::connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

void FakePop3Server::clearRecord() {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.clear();
    connections_ = 0;
}

bool FakePop3Server::waitUntilIdle(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_for(lock, limit, [this] { return runningSessions_ == 0; });
}

} // namespace corvanthelix::testing
