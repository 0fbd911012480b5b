#include "upstream/Pop3Client.h"

#include "net/TlsSessionCache.h"
#include "upstream/DotStuffing.h"

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <ctime>

namespace corvanthelix {

namespace {

constexpr std::size_t kTopReserve = 16 * 1024;
constexpr std::uint32_t kMinProgressStep = 1024;

// The decimal value at the start of `text` (after blanks), saturated at the 32-bit maximum;
// 0 when it does not start with a digit.
std::uint32_t leadingNumber(std::string_view text) {
    std::size_t at = text.find_first_not_of(" \t");
    std::uint64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + static_cast<unsigned>(text[at] - '0');
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<std::uint32_t>(value);
}

std::string_view withoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

// One line of the LIST answer: number first, size after the first space (or, without a space,
// after the first tab).
Pop3ListEntry parseListLine(std::string_view line) {
    Pop3ListEntry entry;
    entry.number = leadingNumber(line);
    std::size_t separator = line.find(' ');
    if (separator == std::string_view::npos) separator = line.find('\t');
    if (separator != std::string_view::npos) entry.size = leadingNumber(line.substr(separator + 1));
    return entry;
}

bool isTerminator(const std::string& line) { return line.size() == 3 && line == ".\r\n"; }

// Offset of the first line ".\r\n" (at the start of `text` or right after a "\r\n") that begins
// at or after `from`; npos when there is none yet.
std::size_t findEndLine(const std::string& text, std::size_t from) {
    if (from == 0 && text.compare(0, 3, ".\r\n") == 0) return 0;
    std::size_t search = from >= 2 ? from - 2 : 0;
    std::size_t found = text.find("\r\n.\r\n", search);
    return found == std::string::npos ? found : found + 2;
}

} // namespace

Pop3Client::Pop3Client() = default;

Pop3Client::~Pop3Client() { disconnect(); }

UpstreamResult Pop3Client::sendCode(int sent) {
    return sent == static_cast<int>(UpstreamResult::TimedOut) ? UpstreamResult::TimedOut : UpstreamResult::SendFailed;
}

UpstreamResult Pop3Client::connect(const std::string& host, int port) { return connect(host, port, nullptr); }

UpstreamResult Pop3Client::connect(const std::string& host, int port, SSL_CTX* tlsContext) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    disconnect();
    capabilitiesRead_ = false;
    pipelining_ = false;
    list_.clear();
    listHeld_ = false;
    listEmpty_ = false;
    usedStls_ = false;
    lastCertificate_ = CertificateCheck();
    // A client that timed out stays unusable; do not open a connection only to report it.
    if (lastError() == UpstreamResult::TimedOut) return UpstreamResult::TimedOut;

    // The TCP connect and the handshake are waits for the server too: a host that swallows the
    // connection attempt must not hold the session forever.
    armTimeout();
    bool connected = connection_.connect(host, port);
    if (const UpstreamResult timedOut = disarmTimeout(); timedOut != UpstreamResult::Ok) {
        connection_.close();
        return timedOut;
    }
    if (!connected) {
        setConnectFailed();
        return UpstreamResult::ConnectFailed;
    }

    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    serverLog().writeFormatted("\r\nServer Log started at: %02i.%02i.%04i - %02i:%02i:%02i", local.tm_mday,
                               local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min,
                               local.tm_sec);
    serverLog().writeFormatted("         C: <Connecting to %s:%i>", host.c_str(), port);

    if (tlsContext) {
        UpstreamResult failure = UpstreamResult::Ok;
        if (!secureAndJudge(tlsContext, host, port, failure)) return failure;
    }

    UpstreamResult code = readResponse();
    if (code == UpstreamResult::Ok && !tlsContext && stlsContext_) code = upgradeWithStls(host, port);
    if (code == UpstreamResult::Ok)
        connected_ = true;
    else
        connection_.close();
    return code;
}

void Pop3Client::setCertificateJudge(CertificateJudge judge) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    judge_ = std::move(judge);
}

void Pop3Client::setStartTls(SSL_CTX* context, bool required) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    stlsContext_ = context;
    stlsRequired_ = required;
}

bool Pop3Client::usedStartTls() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return usedStls_;
}

CertificateCheck Pop3Client::lastCertificate() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return lastCertificate_;
}

// The TLS handshake under the time-out, then the judge's word on the certificate. On failure the
// connection is closed and `failure` says why.
bool Pop3Client::secureAndJudge(SSL_CTX* context, const std::string& host, int port, UpstreamResult& failure) {
    armTimeout();
    const std::string sessionKey = host + ":" + std::to_string(port);
    bool secured = connection_.startTls(context, host, sessionKey);
    if (const UpstreamResult timedOut = disarmTimeout(); timedOut != UpstreamResult::Ok) {
        connection_.close();
        failure = timedOut;
        return false;
    }
    if (!secured) {
        connection_.close();
        failure = UpstreamResult::NoAnswer;
        return false;
    }
    lastCertificate_ = CertificateCheck::inspect(connection_.tlsHandle());
    if (judge_ && !judge_(lastCertificate_, host, port)) {
        serverLog().writeFormatted("         C: <Certificate not trusted: %s>", lastCertificate_.reason().c_str());
        // No shortcut past the question next time: the next connection shows its certificate.
        TlsSessionCache::forget(sessionKey);
        connection_.close();
        failure = UpstreamResult::Untrusted;
        return false;
    }
    serverLog().writeLine("         C: <Negotiating TLS - Further commands are under TLS layer>");
    return true;
}

// CAPA, and STLS when the server lists it. Ok when the connection is now secure, or when the
// server offers no STLS and none is required.
UpstreamResult Pop3Client::upgradeWithStls(const std::string& host, int port) {
    bool offered = false;
    bool pipelining = false;
    int sent = sendCommand("CAPA");
    if (sent < 0) return sendCode(sent);
    UpstreamResult code = readResponse();
    if (code == UpstreamResult::TimedOut || code == UpstreamResult::NoAnswer) return code;
    if (code == UpstreamResult::Ok) {
        for (;;) {
            armTimeout();
            int length = readLine(line_);
            if (const UpstreamResult timedOut = disarmTimeout(); timedOut != UpstreamResult::Ok) return timedOut;
            if (length <= 0) return UpstreamResult::NoAnswer;
            if (isTerminator(line_)) break;
            std::string_view word = withoutLineEnd(line_);
            word = word.substr(0, word.find(' '));
            if (word.size() == 4 && strncasecmp(word.data(), "STLS", 4) == 0) offered = true;
            if (word.size() == 10 && strncasecmp(word.data(), "PIPELINING", 10) == 0) pipelining = true;
        }
    }
    if (!offered) {
        // The connection stays as it is, and so do its capabilities (after STLS they are asked
        // for again).
        if (code == UpstreamResult::Ok) {
            capabilitiesRead_ = true;
            pipelining_ = pipelining;
        }
        return stlsRequired_ ? UpstreamResult::UpgradeFailed : UpstreamResult::Ok;
    }
    sent = sendCommand("STLS");
    if (sent < 0) return sendCode(sent);
    code = readResponse();
    if (code == UpstreamResult::TimedOut) return code;
    if (code != UpstreamResult::Ok) return UpstreamResult::UpgradeFailed;
    UpstreamResult failure = UpstreamResult::Ok;
    if (!secureAndJudge(stlsContext_, host, port, failure))
        return failure == UpstreamResult::NoAnswer ? UpstreamResult::UpgradeFailed : failure;
    usedStls_ = true;
    return UpstreamResult::Ok;
}

void Pop3Client::disconnect() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    connection_.close();
    connected_ = false;
}

int Pop3Client::sendCommand(std::string_view text) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (text.find_first_of("\r\n") != std::string_view::npos)
        return static_cast<int>(lastError() == UpstreamResult::TimedOut ? UpstreamResult::TimedOut : UpstreamResult::SendFailed);
    return sendLines({text});
}

int Pop3Client::sendLines(std::initializer_list<std::string_view> commands) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    std::string lines;
    for (std::string_view text : commands) {
        if (text.find_first_of("\r\n") != std::string_view::npos)
            return static_cast<int>(lastError() == UpstreamResult::TimedOut ? UpstreamResult::TimedOut : UpstreamResult::SendFailed);
        lines.append(text).append("\r\n");
    }

    armTimeout();
    bool written = connection_.write(lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
    if (written) {
        for (std::string_view text : commands) {
            // The password never reaches the log.
            if (text.size() >= 4 && strncasecmp(text.data(), "PASS", 4) == 0)
                serverLog().writeTimed("C", "PASS *");
            else
                serverLog().writeTimed("C", text);
        }
    }
    if (const UpstreamResult timedOut = disarmTimeout(); timedOut != UpstreamResult::Ok) return static_cast<int>(timedOut);
    return written ? static_cast<int>(lines.size()) : static_cast<int>(UpstreamResult::SendFailed);
}

UpstreamResult Pop3Client::login(const std::string& user, const std::string& password) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    int sent = sendCommand("USER " + user);
    if (sent < 0) return sendCode(sent);
    UpstreamResult code = readResponse();
    if (code != UpstreamResult::Ok) return code;
    sent = sendCommand("PASS " + password);
    if (sent < 0) return sendCode(sent);
    return readResponse();
}

UpstreamResult Pop3Client::quit() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    int sent = sendCommand("QUIT");
    UpstreamResult code = sent < 0 ? sendCode(sent) : readResponse();
    disconnect();
    return code;
}

UpstreamResult Pop3Client::noop() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    int sent = sendCommand("NOOP");
    if (sent < 0) return sendCode(sent);
    return readResponse();
}

UpstreamResult Pop3Client::dele(std::uint32_t number) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    // A DELE that never left is reported as the failure it is, so the commit can retry it.
    int sent = sendCommand("DELE " + std::to_string(number));
    if (sent < 0) return sendCode(sent);
    return readResponse();
}

bool Pop3Client::listEmpty() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return listEmpty_;
}

Pop3ListEntry* Pop3Client::entryFor(std::uint32_t number) {
    // Servers number their messages 1..n in order; look there first.
    if (number >= 1 && number <= list_.size() && list_[number - 1].number == number) return &list_[number - 1];
    auto found = std::find_if(list_.begin(), list_.end(),
                              [number](const Pop3ListEntry& entry) { return entry.number == number; });
    return found == list_.end() ? nullptr : &*found;
}

const std::vector<Pop3ListEntry>* Pop3Client::list() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (!connected_) return nullptr;
    if (listHeld_) return &list_;
    if (listEmpty_) return nullptr;
    // A server that said it pipelines gets UIDL with LIST: one wait for both answers.
    const bool uidlSent = capabilitiesRead_ && pipelining_;
    if ((uidlSent ? sendLines({"LIST", "UIDL"}) : sendCommand("LIST")) < 0) return nullptr;
    if (readResponse() != UpstreamResult::Ok) {
        // The UIDL answer that follows is read and dropped, or it would answer the next command.
        if (uidlSent) skipAnswer("UIDL");
        return nullptr;
    }

    std::vector<Pop3ListEntry> entries;
    answerTooLong_ = false;
    for (;;) {
        armTimeout();
        int length = readLine(line_);
        if (disarmTimeout() != UpstreamResult::Ok || length <= 0) return nullptr;
        if (isTerminator(line_)) break;
        if (entries.size() >= kMaxListEntries) {
            abandonAnswer("LIST");
            return nullptr;
        }
        entries.push_back(parseListLine(line_));
    }
    list_ = std::move(entries);
    readUids(uidlSent);
    if (answerTooLong_) {
        list_.clear();
        return nullptr;
    }
    if (list_.empty()) {
        listEmpty_ = true;
        return nullptr;
    }
    listHeld_ = true;
    return &list_;
}

void Pop3Client::readUids(bool sent) {
    // A server without UIDL refuses it; the messages then have no UID.
    if ((!sent && sendCommand("UIDL") < 0) || readResponse() != UpstreamResult::Ok) return;
    for (std::size_t lines = 0;; ++lines) {
        armTimeout();
        int length = readLine(line_);
        if (disarmTimeout() != UpstreamResult::Ok || length <= 0) return;
        if (isTerminator(line_)) return;
        if (lines >= kMaxListEntries) {
            abandonAnswer("UIDL");
            return;
        }
        std::string_view text = withoutLineEnd(line_);
        std::size_t space = text.find(' ');
        // A malformed line is skipped, not taken as the end: the rest of the answer must still
        // be read, or it would be mistaken for the answer to the next command.
        if (space == std::string_view::npos) continue;
        if (Pop3ListEntry* entry = entryFor(leadingNumber(text.substr(0, space))))
            entry->uid = std::string(text.substr(space + 1));
    }
}

void Pop3Client::skipAnswer(const char* command) {
    if (readResponse() != UpstreamResult::Ok) return;
    for (std::size_t lines = 0;; ++lines) {
        armTimeout();
        int length = readLine(line_);
        if (disarmTimeout() != UpstreamResult::Ok || length <= 0 || isTerminator(line_)) return;
        if (lines >= kMaxListEntries) {
            abandonAnswer(command);
            return;
        }
    }
}

void Pop3Client::abandonAnswer(const char* command) {
    answerTooLong_ = true;
    // Written even while a message text pauses the log: it says why the download ended.
    const bool paused = serverLog().isOpen() && !serverLog().isEnabled();
    if (paused) serverLog().resume();
    serverLog().writeFormatted("         C: <The answer to %s was too long and has been abandoned>", command);
    if (paused) serverLog().pause();
    connection_.close();
    connected_ = false;
}

std::uint64_t Pop3Client::messageLimit(std::uint32_t listSize) {
    return std::min<std::uint64_t>(2 * static_cast<std::uint64_t>(listSize) + kMessageMargin, kMaxMessageBytes);
}

const Pop3ListEntry* Pop3Client::findNode(std::uint32_t number) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (!list()) return nullptr;
    return entryFor(number);
}

std::optional<std::string> Pop3Client::readMessageText(std::uint32_t listSize, std::size_t reserve,
                                                       bool wholeMessage, bool answerFollows) {
    // The text is taken in the blocks the connection receives, not line by line: each read is one
    // wait for the server under its own time-out, and the lines matter only for finding the end.
    std::string text;
    text.reserve(reserve);
    if (block_.empty()) block_.resize(Connection::kReceiveBufferSize);
    const std::uint32_t step = std::max(listSize / 50, kMinProgressStep);
    std::uint32_t sinceReport = 0;
    std::size_t searchFrom = 0; // no end line begins before this offset
    const std::uint64_t limit = messageLimit(listSize);
    for (;;) {
        armTimeout();
        ssize_t received = connection_.read(block_.data(), block_.size());
        if (disarmTimeout() != UpstreamResult::Ok || received <= 0) return std::nullopt;
        text.append(block_.data(), static_cast<std::size_t>(received));
        // Far beyond what LIST announced: the answer does not end, and the message stays on the
        // server.
        if (text.size() > limit) {
            abandonAnswer(wholeMessage ? "RETR" : "TOP");
            return std::nullopt;
        }
        // No limit on the length of a line here: a message is held whole whatever its lines, and
        // one that could never be received would block every later check of the mailbox.
        sinceReport += static_cast<std::uint32_t>(received);
        if (sinceReport >= step) {
            callProgress(sinceReport);
            sinceReport = 0;
        }

        std::size_t lookAgainAt = std::string::npos;
        for (std::size_t end; (end = findEndLine(text, searchFrom)) != std::string::npos;) {
            searchFrom = end + 1;
            // A server that failed to dot-stuff a line consisting of "." sends ".\r\n" inside the
            // text: it is the end only when nothing follows at once. Once the whole size LIST
            // announced has come (dot-stuffing only adds to it), it cannot be inside the text, and
            // the 20-microsecond look for more data is spared.
            const bool complete = wholeMessage && end >= listSize;
            if (end + 3 < text.size()) {
                // With commands sent ahead, the next answer follows the end at once: an end line is
                // taken as the end when the whole size has come or when what follows begins like
                // an answer ("+OK", "-ERR"). The bytes after it are given back for that answer.
                if (!answerFollows) continue;
                const char next = text[end + 3];
                if (!complete && next != '+' && next != '-') continue;
                if (!connection_.unread(text.size() - (end + 3))) return std::nullopt;
            } else if (!complete && connection_.isReadable()) {
                // Decided by what comes next; with an answer expected, this end line is looked at
                // again then.
                if (answerFollows) lookAgainAt = end;
                break;
            }
            // The "\r\n" before the end line ends the message's last line: it stays.
            text.resize(end);
            if (text.empty()) return std::nullopt;
            undoDotStuffing(text);
            return text;
        }
        // An end line found later must end beyond what is here now: its "." lies in the last two
        // bytes or after them. Searching from there keeps the scan linear.
        if (text.size() >= 2) searchFrom = std::max(searchFrom, text.size() - 2);
        if (lookAgainAt != std::string::npos) searchFrom = lookAgainAt;
    }
}

std::optional<std::string> Pop3Client::download(const std::string& command, std::uint32_t number,
                                                bool wholeMessage) {
    const Pop3ListEntry* entry = findNode(number);
    if (!entry) return std::nullopt;
    std::uint32_t listSize = entry->size;
    if (sendCommand(command) < 0 || readResponse() != UpstreamResult::Ok) return std::nullopt;
    std::size_t reserve = kTopReserve;
    if (wholeMessage) {
        std::uint64_t expected = listSize + static_cast<std::uint64_t>(listSize) * 2 / 100;
        reserve = static_cast<std::size_t>(std::min<std::uint64_t>(expected, kMaxReserve));
    }
    // Message texts are not logged.
    serverLog().pause();
    answerTooLong_ = false;
    std::optional<std::string> text = readMessageText(listSize, reserve, wholeMessage, false);
    serverLog().resume();
    return text;
}

bool Pop3Client::offersPipelining() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (capabilitiesRead_) return pipelining_;
    capabilitiesRead_ = true;
    pipelining_ = false;
    if (sendCommand("CAPA") < 0 || readResponse() != UpstreamResult::Ok) return false;
    for (;;) {
        armTimeout();
        int length = readLine(line_);
        if (disarmTimeout() != UpstreamResult::Ok || length <= 0) {
            // An answer cut off leaves the connection in an unknown state.
            connection_.close();
            connected_ = false;
            return false;
        }
        if (isTerminator(line_)) break;
        std::string_view word = withoutLineEnd(line_);
        word = word.substr(0, word.find(' '));
        if (word.size() == 10 && strncasecmp(word.data(), "PIPELINING", 10) == 0) pipelining_ = true;
    }
    return pipelining_;
}

std::size_t Pop3Client::retrPipelined(const std::vector<std::uint32_t>& numbers, std::size_t window,
                                      const std::function<bool(RetrievedText&&)>& deliver) {
    window = std::max<std::size_t>(window, 1);
    std::size_t sent = 0;
    std::size_t handed = 0;
    bool stopped = false;
    while (handed < numbers.size() && !stopped) {
        RetrievedText item;
        item.number = numbers[handed];
        {
            // Held for one message at a time, so that other threads' log lines find their way in
            // between; no other command may use the connection meanwhile.
            std::lock_guard<std::recursive_mutex> lock(lock_);
            const Pop3ListEntry* entry = findNode(item.number);
            if (!entry) {
                item.result = UpstreamResult::Refused;
            } else {
                const std::uint32_t listSize = entry->size;
                for (; sent < numbers.size() && sent < handed + window; ++sent) {
                    if (!findNode(numbers[sent])) continue; // answered as refused without a command
                    if (sendCommand("RETR " + std::to_string(numbers[sent])) < 0) break;
                }
                const bool answerFollows = sent > handed + 1;
                UpstreamResult code = sent > handed ? readResponse() : UpstreamResult::SendFailed;
                if (code == UpstreamResult::Ok) {
                    std::uint64_t expected = listSize + static_cast<std::uint64_t>(listSize) * 2 / 100;
                    serverLog().pause();
                    answerTooLong_ = false;
                    item.text = readMessageText(listSize, static_cast<std::size_t>(std::min<std::uint64_t>(expected, kMaxReserve)),
                                                true, answerFollows);
                    serverLog().resume();
                    if (item.text) serverLog().writeLine("         C: (message completely received)");
                    else item.result = lastError() == UpstreamResult::TimedOut ? UpstreamResult::TimedOut : UpstreamResult::NoAnswer;
                } else {
                    item.result = code;
                }
                // Only a refusal leaves the connection usable for the next answers.
                if (item.result != UpstreamResult::Ok && (item.result != UpstreamResult::Refused || !isConnected()))
                    stopped = true;
            }
        }
        ++handed;
        if (!deliver(std::move(item))) stopped = true;
    }
    if (stopped && sent > handed) {
        // Answers still on their way would be taken for those of later commands.
        std::lock_guard<std::recursive_mutex> lock(lock_);
        disconnect();
    }
    return handed;
}

std::optional<std::string> Pop3Client::retrText(std::uint32_t number) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    std::optional<std::string> text = download("RETR " + std::to_string(number), number, true);
    if (text) serverLog().writeLine("         C: (message completely received)");
    return text;
}

std::unique_ptr<MailMessage> Pop3Client::retr(std::uint32_t number) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    std::optional<std::string> text = retrText(number);
    if (!text) return nullptr;
    auto message = std::make_unique<MailMessage>();
    message->parse(*text);
    return message;
}

std::unique_ptr<MailMessage> Pop3Client::top(std::uint32_t number, int lines) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    std::optional<std::string> text =
        download("TOP " + std::to_string(number) + " " + std::to_string(lines), number, false);
    if (!text) return nullptr;
    auto message = std::make_unique<MailMessage>();
    message->parseTop(*text, lines);
    if (const char* sender = message->headerByName("From"))
        serverLog().writeFormatted("         C: (message header received; sender: %s)", sender);
    else
        serverLog().writeLine("         C: (message header received)");
    return message;
}

} // namespace corvanthelix
