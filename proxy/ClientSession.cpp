#include "proxy/ClientSession.h"

#include "proxy/CommandArguments.h"
#include "proxy/UpstreamLogin.h"
#include "proxy/ServerTrust.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "base/Crc32.h"
#include "upstream/MailMessage.h"
#include "net/Connection.h"
#include "upstream/DotStuffing.h"
#include "proxy/HostList.h"
#include "proxy/IdleWatchdog.h"
#include "upstream/Mailbox.h"
#include "proxy/MessageCache.h"
#include "proxy/ProxyServer.h"
#include "proxy/SessionControl.h"
#include "upstream/UpstreamHandlers.h"
#include "base/StringTable.h"
#include "base/TranslatedFormat.h"
#include "stores/RecycleBin.h"
#include "stores/TrainingArea.h"

#include <strings.h>

#include <climits>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace corvanthelix {

namespace {

// Reply texts as the mail client sees them.
constexpr const char* kReady = "Ready";
constexpr const char* kUserAccepted = "Username accepted";
constexpr const char* kUserWrong = "Corvanthelix: Username isn't correct";
constexpr const char* kPasswordAccepted = "Password accepted";
constexpr const char* kUnreachable = "Corvanthelix: Server is unreachable";
constexpr const char* kAborted = "Corvanthelix: Connection aborted by user";
constexpr const char* kNotReceived = "Corvanthelix: One or more messages could not be received";
constexpr const char* kNoSuchMessage = "Corvanthelix: message does not exist!";
constexpr const char* kSyntaxError = "Corvanthelix: Syntax Error";
constexpr const char* kNotDeleted = "Corvanthelix: Message could not be deleted";
constexpr const char* kTopFailed = "Corvanthelix: Message could not be received";
constexpr const char* kUidNotFound = "Corvanthelix: UID not found";
constexpr const char* kNoopFailed = "Corvanthelix: NOOP failed";
constexpr const char* kUnknownCommand = "Corvanthelix: Unknown command";
constexpr const char* kNotLoggedIn = "Corvanthelix: Log in with USER and PASS first";
constexpr const char* kRset = "I pretend that everything is now clean";
constexpr const char* kNoopOk = "just wait.....";
constexpr const char* kListFollows = "Message list follows";
constexpr const char* kNoMessages = "There are no messages";
constexpr const char* kHeaderFollows = "Message header follows";
constexpr const char* kUidListFollows = "UID list follows";
constexpr const char* kDeleted = "Message deleted";

// Notes in the client log for texts that pass without being logged.
constexpr const char* kLogRestored = "         C: (message completely restored from recycle bin)";
constexpr const char* kLogTransferred = "         S: (message completely transferred)";
constexpr const char* kLogHeaderTransferred = "         S: (message header completely transferred)";

// String-table texts.
constexpr int kStringUserFormat = 111;
constexpr int kStringConnecting = 114;
constexpr int kStringUnsecure = 243;

constexpr int kDefaultPlainPort = 110;
constexpr int kDefaultTlsPort = 995;
// Sender name, address and subject of the placeholder text are each cut to this.
constexpr std::size_t kPlaceholderFieldMax = 255;

bool startsWithNoCase(std::string_view text, const char* prefix) {
    std::size_t length = std::strlen(prefix);
    return text.size() >= length && strncasecmp(text.data(), prefix, length) == 0;
}

std::string withoutLineEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return std::string(text);
}

// "a b" and a line end: the body of a STAT or LIST answer line.
std::string numberPairLine(long long a, long long b) { return std::to_string(a) + " " + std::to_string(b) + "\r\n"; }

// Status window line and tray tooltip together.
void setApplicationStatusText(const std::string& text) {
    Application& app = Application::instance();
    app.status().setStatusText(text);
    app.shell().traySetTooltip(text);
}

std::string formatString(int id, const std::string& argument) {
    return TranslatedFormat::byId(id, argument.c_str());
}

// A field of the placeholder text: one line, so a stored subject cannot add header lines or end
// the message early.
std::string placeholderField(const std::string& text) {
    std::string out = text.substr(0, kPlaceholderFieldMax);
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

std::string fileNameOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::atomic<ClientSession*> ClientSession::current_{nullptr};

const ClientSession::Command ClientSession::kCommands[] = {
    {"QUIT", &ClientSession::onQuit}, {"USER", &ClientSession::onUser}, {"PASS", &ClientSession::onPass},
    {"STAT", &ClientSession::onStat}, {"LIST", &ClientSession::onList}, {"RETR", &ClientSession::onRetr},
    {"DELE", &ClientSession::onDele}, {"RSET", &ClientSession::onRset}, {"TOP", &ClientSession::onTop},
    {"NOOP", &ClientSession::onNoop}, {"UIDL", &ClientSession::onUidl}, {"CAPA", &ClientSession::onCapa},
};

// ---- life of a session ----

void ClientSession::run(SessionControl& control, const SessionServices& services) {
    // The greeting goes out before the lock, so a second mail client sees it at once; the lock is
    // taken only once the first command has come, so a client that never sends one blocks no one.
    control.client().writeText("+OK Ready\r\n");
    IdleWatchdog watchdog(control.client());
    watchdog.arm(services.idleBeforeLogin);
    std::string firstLine;
    if (control.client().readLine(firstLine, kLongestClientLine) <= 0) return;
    watchdog.disarm();
    std::lock_guard<std::recursive_mutex> lock(control.server().sessionLock());
    // The session state dies inside the lock: its logs and its upstream connection are closed
    // before the next session opens the same logs and logs in to the same mailbox.
    ClientSession session(control, services);
    struct Current {
        explicit Current(ClientSession* session) { current_ = session; }
        ~Current() { current_ = nullptr; }
    } current(&session);
    session.serve(firstLine, watchdog);
}

void ClientSession::install(ProxyServer& server, SessionServices services) {
    installPluginSessionAccessor(&ClientSession::pluginSessionOfThisThread);
    auto shared = std::make_shared<const SessionServices>(std::move(services));
    server.setSessionFunction([shared](SessionControl& control) { run(control, *shared); });
}

ClientSession* ClientSession::currentSession() { return current_.load(); }

PluginSessionAccess* ClientSession::pluginSessionOfThisThread() {
    ClientSession* session = current_.load();
    return session != nullptr && session->thread_ == std::this_thread::get_id() ? session : nullptr;
}

ClientSession::ClientSession(SessionControl& control, const SessionServices& services)
    : control_(control), client_(control.client()), services_(services), mailbox_(std::make_unique<Mailbox>()) {
    // Registered with the proxy server, so that stopping the server ends a session blocked on
    // the mail server.
    control_.attach(mailbox_->client().connection());
}

ClientSession::~ClientSession() {
    control_.detach(mailbox_->client().connection());
    mailbox_.reset();
    clientLog_.close();
}

void ClientSession::serve(const std::string& firstLine, IdleWatchdog& watchdog) {
    openLogs();
    Shell& shell = Application::instance().shell();
    shell.mailCheckBegin();
    std::string line = firstLine;
    while (dispatch(line) == CommandOutcome::Continue) {
        // Between commands no copy is in use: the ones beyond the memory budget go to files.
        mailbox_->trim();
        // A client silent for too long is closed like a lost one: nothing is committed.
        watchdog.arm(loggedIn_ ? services_.idleAfterLogin : services_.idleBeforeLogin);
        // A bare line feed does not end a line; a line too long for any mail client counts as a
        // lost connection.
        const ssize_t length = client_.readLine(line, kLongestClientLine);
        watchdog.disarm();
        if (length <= 0) {
            connectionLost();
            break;
        }
    }
    shell.mailCheckEnd();
}

void ClientSession::flushLogs() {
    clientLog_.flush();
    mailbox_->client().flushServerLog();
}

void ClientSession::openLogs() {
    const Application& app = Application::instance();
    clientLog_.open(app.paths().dataPath(settings::logFileClientFileName()),
                    static_cast<std::uint32_t>(settings::logFileClientMaxSize()));
    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    clientLog_.writeFormatted("\r\nClient Log started at: %02i.%02i.%04i - %02i:%02i:%02i", local.tm_mday,
                              local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    clientLog_.writeTimed("S", std::string("+OK ") + kReady);
    mailbox_->openServerLog(app.paths().dataPath(settings::logFileServerFileName()).c_str(),
                            static_cast<std::uint32_t>(settings::logFileServerMaxSize()));
}

void ClientSession::connectionLost() {
    if (!checkDone_) return;
    // The client went away before QUIT: keep what was downloaded, so the next check of the
    // account need not download it again. Only whole copies: a header would pass for a message.
    MessageCache cache;
    cache.open(Application::instance().programFolder(), user_, server_);
    bool added = false;
    for (const MessageEntry& entry : entries_) {
        if (entry.restored) continue;
        const auto number = static_cast<std::uint32_t>(entry.serverNumber);
        const ServerMessage* message = mailbox_->find(number);
        if (message == nullptr || !message->hasWholeCopy() || !message->uid) continue;
        message = mailbox_->whole(number);
        if (message == nullptr) continue;
        added = cache.add(*message->message, *message->uid) || added;
        mailbox_->trim();
    }
    if (added) cache.saveIndex();
}

// ---- replies ----

void ClientSession::logSent(std::string_view text) { clientLog_.writeTimed("S", withoutLineEnd(text)); }

void ClientSession::replyOk(std::string_view text) { sendRaw("+OK " + std::string(text) + "\r\n"); }

void ClientSession::replyErr(std::string_view text) { sendRaw("-ERR " + std::string(text) + "\r\n"); }

void ClientSession::sendRaw(std::string_view bytes) {
    logSent(bytes);
    // The logs go to disk once per answer, not once per line, and before the client has it.
    flushLogs();
    client_.writeText(bytes);
}

// A multi-line answer: the first reply line, the listing and the terminator, each logged as a
// line, sent in one write.
void ClientSession::sendLines(const std::string& firstReply, const std::string& lines, bool ok) {
    std::string out = (ok ? "+OK " : "-ERR ") + firstReply + "\r\n";
    logSent(out);
    std::size_t position = 0;
    while (position < lines.size()) {
        std::size_t end = lines.find("\r\n", position);
        logSent(std::string_view(lines).substr(position, end - position));
        position = end + 2;
    }
    logSent(".");
    out += lines;
    out += ".\r\n";
    flushLogs();
    client_.writeText(out);
}

// ---- dispatch ----

CommandOutcome ClientSession::dispatch(const std::string& line) {
    clientLog_.writeTimed("C", startsWithNoCase(line, "PASS") ? std::string("PASS ********") : withoutLineEnd(line));
    if (refusedBeforeLogin(line)) return CommandOutcome::Continue;
    for (const Command& command : kCommands) {
        if (startsWithNoCase(line, command.verb)) return (this->*command.handler)(line);
    }
    replyErr(kUnknownCommand);
    return CommandOutcome::Continue;
}

// Commands of the transaction state before a login: answered -ERR, and the session goes on.
bool ClientSession::refusedBeforeLogin(const std::string& line) {
    if (loggedIn_) return false;
    for (const char* verb : {"STAT", "LIST", "RETR", "DELE", "RSET", "TOP", "NOOP", "UIDL"}) {
        if (startsWithNoCase(line, verb)) {
            replyErr(kNotLoggedIn);
            return true;
        }
    }
    return false;
}

// ---- USER and PASS ----

bool ClientSession::parseUserName(std::string_view argument, std::string& server, std::string& user, int& port) {
    std::string fields[3];
    int count = 0;
    std::string field;
    std::size_t i = 0;
    bool open = !argument.empty();
    while (i < argument.size()) {
        char c = argument[i];
        if (c != '&') {
            field += c;
            ++i;
            continue;
        }
        if (i + 1 < argument.size() && argument[i + 1] == '&') {
            // A doubled "&" is one "&" inside the field.
            field += '&';
            i += 2;
            continue;
        }
        // A single "&" ends the field; as the last character it ends the parsing too.
        if (count == 3) return false;
        fields[count++] = std::move(field);
        field.clear();
        ++i;
        open = i < argument.size();
    }
    if (open) {
        if (count == 3) return false;
        fields[count++] = std::move(field);
    }
    if (count < 2) return false;
    server = fields[0];
    user = fields[1];
    port = count == 3 ? CommandArguments::number(std::string_view(fields[2]).substr(0, 10)) : kPortNotGiven;
    return true;
}

CommandOutcome ClientSession::onUser(const std::string& line) {
    std::string server, user;
    int port = kPortNotGiven;
    if (!parseUserName(CommandArguments::of(line), server, user, port)) {
        replyErr(kUserWrong);
        Application::instance().showMessage(kStringUserFormat, mb::kOk | mb::kIconInformation);
        return CommandOutcome::EndSession;
    }
    server_ = std::move(server);
    user_ = std::move(user);
    port_ = port;
    replyOk(kUserAccepted);
    setApplicationStatusText(formatString(kStringConnecting, server_));
    return CommandOutcome::Continue;
}

// Connects the mailbox: with TLS from the proxy server's client context when `secure`. A TLS
// connection without a context is refused rather than made in the clear. The status window's
// lock shows while the connection is (becoming) secure.
UpstreamResult ClientSession::connectUpstream(bool secure) {
    StatusState& status = Application::instance().status();
    if (!secure) {
        UpstreamResult code = mailbox_->connect(server_, port_, nullptr);
        // A server that offers STLS (or did before) and then fails the upgrade is used in clear
        // only with the person's yes.
        if (code == UpstreamResult::UpgradeFailed && askForUnsecureConnection()) {
            mailbox_->client().setStartTls(nullptr, false);
            code = mailbox_->connect(server_, port_, nullptr);
        }
        status.setLock(code == UpstreamResult::Ok && mailbox_->client().usedStartTls());
        return code;
    }
    status.setLock(true);
    SSL_CTX* context = control_.server().clientContext();
    const UpstreamResult code = context != nullptr ? mailbox_->connect(server_, port_, context) : UpstreamResult::NoAnswer;
    if (code != UpstreamResult::Ok) status.setLock(false);
    return code;
}

bool ClientSession::askForUnsecureConnection() {
    return Application::instance().showMessage(kStringUnsecure, mb::kYesNo | mb::kIconExclamation) == answer::kYes;
}

// Every TLS connection of the login is judged by ServerTrust; plain ones upgrade with STLS when
// the server offers it (and must, when the account upgraded before).
void ClientSession::prepareUpstreamTrust() {
    Pop3Client& upstream = mailbox_->client();
    upstream.setCertificateJudge(ServerTrust::judgeFor(user_));
    if (settings::useStls() == 0) {
        upstream.setStartTls(nullptr, false);
        return;
    }
    upstream.setStartTls(control_.server().clientContext(),
                         HostList::usesStartTls(Application::instance().paths().hostListFile(),
                                                server_, user_));
}

CommandOutcome ClientSession::onCapa(const std::string&) {
    sendRaw(std::string("+OK Capability list follows\r\nUSER\r\nTOP\r\nUIDL\r\nPIPELINING\r\nRESP-CODES\r\n"
                        "IMPLEMENTATION Corvanthelix\r\n.\r\n"));
    return CommandOutcome::Continue;
}

CommandOutcome ClientSession::onPass(const std::string& line) {
    password_ = CommandArguments::of(line);
    mailbox_->setTimeoutHandler(makeSessionTimeoutHandler());
    mailbox_->setTimeout(static_cast<std::uint32_t>(settings::timeout()) * 1000u);
    prepareUpstreamTrust();
    bool certificateRefused = false;

    TlsRequest request;
    request.server = server_;
    request.user = user_;
    request.trySsl = settings::trySsl() == 1;
    request.portGiven = port_ != kPortNotGiven;
    request.port = request.portGiven ? port_ : (request.trySsl ? kDefaultTlsPort : kDefaultPlainPort);
    request.secure = request.portGiven && control_.tlsPort();
    request.plainPort = kDefaultPlainPort;
    request.tlsPort = kDefaultTlsPort;
    const TlsChoice choice = HostList::chooseTls(
        Application::instance().paths().hostListFile(), request,
        [this, &certificateRefused](int port) {
            port_ = port;
            const UpstreamResult code = connectUpstream(true);
            certificateRefused = code == UpstreamResult::Untrusted;
            return code == UpstreamResult::Ok;
        },
        // A certificate the person refused is no reason to offer the password in clear.
        [this, &certificateRefused] { return !certificateRefused && askForUnsecureConnection(); });
    if (choice.aborted) {
        if (certificateRefused)
            sendRaw(ServerTrust::refusalReply(server_, mailbox_->client().lastCertificate()));
        else
            replyErr(kAborted);
        return CommandOutcome::EndSession;
    }
    port_ = choice.port;

    switch (UpstreamLogin::run(*mailbox_, [&] { return connectUpstream(choice.secure); }, user_, password_)) {
    case LoginOutcome::Accepted:
        loggedIn_ = true;
        if (choice.unrecorded)
            HostList::recordAccount(Application::instance().paths().hostListFile(), *choice.unrecorded);
        if (mailbox_->client().usedStartTls())
            HostList::rememberStartTls(Application::instance().paths().hostListFile(), server_,
                                       user_, true);
        replyOk(kPasswordAccepted);
        return CommandOutcome::Continue;
    case LoginOutcome::Untrusted:
        sendRaw(ServerTrust::refusalReply(server_, mailbox_->client().lastCertificate()));
        return CommandOutcome::EndSession;
    case LoginOutcome::Aborted:
        replyErr(kAborted);
        return CommandOutcome::EndSession;
    case LoginOutcome::Unreachable:
        // The server cannot be reached at all: the client learns it from the closed connection.
        client_.close();
        return CommandOutcome::EndSession;
    case LoginOutcome::TimedOut:
    case LoginOutcome::BrokenGreeting:
        replyErr(kUnreachable);
        return CommandOutcome::EndSession;
    case LoginOutcome::Refused:
        break;
    }
    sendRaw(UpstreamLogin::refusalReply(mailbox_->lastResponse()));
    return CommandOutcome::EndSession;
}

// A failed download that the server answered with -ERR on a connection still open: the message
// stays on the server and the session can go on.
bool ClientSession::serverRefused() {
    const std::optional<std::string> response = mailbox_->lastResponse();
    return mailbox_->isConnected() && response && startsWithNoCase(*response, "-ERR");
}

// ---- the message list ----

bool ClientSession::ensureChecked() {
    if (checkDone_) return true;
    int count = 0;
    std::uint64_t size = 0;
    if (!services_.runCheck) {
        replyErr(kNotReceived);
        return false;
    }
    return services_.runCheck(*this, count, size) == 0;
}

void ClientSession::countVisible(int& count, std::uint64_t& size) {
    count = 0;
    size = 0;
    for (const MessageEntry& entry : entries_) {
        if (!entry.visible()) continue;
        ++count;
        const ServerMessage* message =
            entry.restored ? nullptr : mailbox_->find(static_cast<std::uint32_t>(entry.serverNumber));
        // A downloaded copy tells the size better than LIST did.
        size += message && message->hasWholeCopy() ? message->size : entry.size;
    }
}

MessageEntry* ClientSession::findByClientNumber(int number) {
    if (number == -1) return nullptr;
    if (clientIndex_.empty()) {
        clientIndex_.assign(entries_.size() + 1, nullptr);
        for (MessageEntry& entry : entries_) {
            const auto at = static_cast<std::size_t>(entry.clientNumber);
            if (entry.clientNumber > 0 && at < clientIndex_.size() && !clientIndex_[at] && entry.visible())
                clientIndex_[at] = &entry;
        }
    }
    if (number > 0 && static_cast<std::size_t>(number) < clientIndex_.size()) {
        MessageEntry* entry = clientIndex_[static_cast<std::size_t>(number)];
        if (entry && entry->clientNumber == number && entry->visible()) return entry;
    }
    for (MessageEntry& entry : entries_)
        if (entry.clientNumber == number && entry.visible()) return &entry;
    return nullptr;
}

MessageEntry* ClientSession::findByServerNumber(int number) {
    for (MessageEntry& entry : entries_)
        if (!entry.restored && entry.serverNumber == number) return &entry;
    return nullptr;
}

CommandOutcome ClientSession::onStat(const std::string&) {
    int count = 0;
    std::uint64_t size = 0;
    if (!checkDone_) {
        if (!services_.runCheck) {
            replyErr(kNotReceived);
            return CommandOutcome::EndSession;
        }
        if (services_.runCheck(*this, count, size) != 0) return CommandOutcome::EndSession;
    } else {
        countVisible(count, size);
    }
    sendRaw("+OK " + numberPairLine(count, static_cast<long long>(size)));
    if (Application::instance().status().cancelRequested()) {
        replyErr(kAborted);
        return CommandOutcome::EndSession;
    }
    return CommandOutcome::Continue;
}

CommandOutcome ClientSession::onList(const std::string& line) {
    if (!ensureChecked()) return CommandOutcome::EndSession;
    const std::string argument = CommandArguments::of(line);
    if (!argument.empty()) {
        const MessageEntry* entry = findByClientNumber(CommandArguments::number(argument));
        if (entry == nullptr)
            replyErr(kNoSuchMessage);
        else
            sendRaw("+OK " + numberPairLine(entry->clientNumber, entry->size));
        return CommandOutcome::Continue;
    }
    if (entries_.empty()) {
        sendLines(kNoMessages, "", true);
        return CommandOutcome::Continue;
    }
    std::string lines;
    for (const MessageEntry& entry : entries_)
        if (entry.visible()) lines += numberPairLine(entry.clientNumber, entry.size);
    sendLines(kListFollows, lines, true);
    return CommandOutcome::Continue;
}

// ---- messages ----

std::unique_ptr<MailMessage> ClientSession::loadRestored(const MessageEntry& entry) {
    auto message = std::make_unique<MailMessage>();
    message->loadFile(entry.filePath);
    return message;
}

std::optional<RecycleSenderAndSubject> ClientSession::restoredInfo(const std::string& fileName) {
    if (services_.restoredInfo) return services_.restoredInfo(fileName);
    return RecycleBin::instance().getSenderAndSubject(fileName);
}

std::string ClientSession::emptyRestoredText(const RecycleSenderAndSubject& info) {
    const std::string name = placeholderField(info.senderName);
    const std::string address = placeholderField(info.senderAddress);
    const std::string subject = placeholderField(info.subject);
    return "From: " + name + " <" + address + ">\r\nSubject: " + subject +
           "\r\n\r\nWarning: Corvanthelix could not restore this message, because it was empty.\r\n\r\n"
           "More information about this message:\r\nSender: " +
           name + " <" + address + ">\r\nSubject: " + subject + "\r\n\r\n";
}

CommandOutcome ClientSession::onRetr(const std::string& line) {
    const std::optional<int> number = CommandArguments::messageNumber(CommandArguments::of(line));
    if (!number) {
        replyErr(kSyntaxError);
        return CommandOutcome::Continue;
    }
    MessageEntry* entry = findByClientNumber(*number);
    if (entry == nullptr) {
        replyErr(kNoSuchMessage);
        return CommandOutcome::Continue;
    }

    std::unique_ptr<MailMessage> restored;
    const MailMessage* message = nullptr;
    const auto serverNumber = static_cast<std::uint32_t>(entry->serverNumber);
    if (entry->restored) {
        restored = loadRestored(*entry);
        message = restored.get();
        clientLog_.writeLine(kLogRestored);
    } else {
        const ServerMessage* held = mailbox_->find(serverNumber);
        if (held != nullptr && held->holdsHeaderOnly()) mailbox_->dropMessage(serverNumber);
        const ServerMessage* fetched = mailbox_->retr(serverNumber);
        if (fetched == nullptr || !fetched->message) {
            replyErr(kNotReceived);
            return serverRefused() ? CommandOutcome::Continue : CommandOutcome::EndSession;
        }
        message = fetched->message.get();
    }

    std::string_view text = message->source();
    std::string placeholder;
    if (message->size() > 0) {
        sendRaw("+OK " + std::to_string(entry->size) + "\r\n");
    } else {
        std::optional<RecycleSenderAndSubject> info;
        if (entry->restored) info = restoredInfo(fileNameOf(entry->filePath));
        if (!info) {
            replyErr(kNotReceived);
            return CommandOutcome::EndSession;
        }
        placeholder = emptyRestoredText(*info);
        text = placeholder;
        sendRaw("+OK " + std::to_string(text.size()) + "\r\n");
    }
    // Held and stored messages are the messages themselves: the stuffing is added here, once.
    if (needsDotStuffing(text))
        client_.writeText(dotStuffed(text));
    else
        client_.writeText(text);
    client_.writeText(multiLineEnd(text));
    clientLog_.writeLine(kLogTransferred);
    if (entry->restored) {
        entry->toDelete = true;
    } else if (entry->known) {
        // A message seen at an earlier check is neither learned nor cached: its copy need not
        // stay in memory.
        mailbox_->dropMessage(serverNumber);
    }
    return CommandOutcome::Continue;
}

CommandOutcome ClientSession::onDele(const std::string& line) {
    if (!ensureChecked()) return CommandOutcome::EndSession;
    const std::optional<int> number = CommandArguments::messageNumber(CommandArguments::of(line));
    if (!number) {
        replyErr(kSyntaxError);
        return CommandOutcome::Continue;
    }
    MessageEntry* entry = findByClientNumber(*number);
    if (entry == nullptr) {
        replyErr(kNotDeleted);
        return CommandOutcome::Continue;
    }
    if (entry->restored) {
        entry->toDelete = true;
    } else {
        mailbox_->dele(static_cast<std::uint32_t>(entry->serverNumber)); // the answer does not matter
        entry->deletedByClient = true;
    }
    replyOk(kDeleted);
    return CommandOutcome::Continue;
}

CommandOutcome ClientSession::onRset(const std::string&) {
    replyOk(kRset);
    return CommandOutcome::Continue;
}

std::string ClientSession::topText(std::string_view text, int lines) {
    std::string out;
    bool inHeader = true;
    int bodyLines = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        std::size_t lineFeed = text.find('\n', position);
        std::size_t next = lineFeed == std::string_view::npos ? text.size() : lineFeed + 1;
        std::string_view current = text.substr(position, next - position);
        if (inHeader) {
            inHeader = !(current == "\r\n" || current == "\n");
        } else {
            if (bodyLines >= lines) break;
            ++bodyLines;
        }
        // Dot-stuffed as on the wire: only after a "\r\n" does a line begin there.
        const bool lineStart = position == 0 || (position >= 2 && text[position - 2] == '\r');
        if (lineStart && current.starts_with('.')) out += '.';
        out += current;
        position = next;
    }
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    // A held header may have lost the empty line that ends it; the answer always carries it.
    if (inHeader) out += "\r\n";
    out += ".\r\n";
    return out;
}

CommandOutcome ClientSession::onTop(const std::string& line) {
    if (!ensureChecked()) return CommandOutcome::EndSession;
    // "TOP n k": both numbers after the verb; n defaults to -1, k to 0.
    int number = -1;
    int lines = 0;
    CommandArguments::topNumbers(line, number, lines);

    MessageEntry* entry = findByClientNumber(number);
    if (entry == nullptr) {
        replyErr(kTopFailed);
        return CommandOutcome::Continue;
    }
    std::unique_ptr<MailMessage> restored;
    const MailMessage* message = nullptr;
    if (entry->restored) {
        restored = loadRestored(*entry);
        message = restored.get();
    } else {
        const auto serverNumber = static_cast<std::uint32_t>(entry->serverNumber);
        const ServerMessage* held = mailbox_->find(serverNumber);
        if (held == nullptr) {
            replyErr(kTopFailed);
            return CommandOutcome::Continue;
        }
        // A held header with fewer body lines than asked is fetched again (its first kept line
        // after the header is the empty line).
        if (held->holdsHeaderOnly() && held->message->topLines() - 1 < lines) mailbox_->dropMessage(serverNumber);
        const ServerMessage* fetched = mailbox_->top(serverNumber, lines);
        if (fetched == nullptr || !fetched->message) {
            replyErr(kTopFailed);
            return serverRefused() ? CommandOutcome::Continue : CommandOutcome::EndSession;
        }
        message = fetched->message.get();
    }
    replyOk(kHeaderFollows);
    clientLog_.pause();
    client_.writeText(topText(message->source(), lines));
    clientLog_.resume();
    clientLog_.writeLine(kLogHeaderTransferred);
    return CommandOutcome::Continue;
}

// ---- UIDs ----

std::string ClientSession::restoredUid(const std::string& filePath) { return "Corvanthelix" + fileNameOf(filePath); }

std::string ClientSession::synthesizedUid(const MailMessage& message) {
    std::string_view text = message.source();
    // The header lines: everything before the empty line that ends them.
    std::size_t end = 0;
    while (end < text.size()) {
        std::size_t lineFeed = text.find('\n', end);
        if (lineFeed == std::string_view::npos) {
            end = text.size();
            break;
        }
        std::string_view current = text.substr(end, lineFeed + 1 - end);
        if (current == "\r\n" || current == "\n") break;
        end = lineFeed + 1;
    }
    char uid[32];
    std::snprintf(uid, sizeof uid, "Corvanthelix-%x", static_cast<unsigned>(crc32(text.substr(0, end))));
    return uid;
}

std::string ClientSession::uidOf(const MessageEntry& entry) {
    if (entry.restored) return restoredUid(entry.filePath);
    const auto serverNumber = static_cast<std::uint32_t>(entry.serverNumber);
    const ServerMessage* message = mailbox_->find(serverNumber);
    if (message == nullptr) return {};
    if (message->uid) return *message->uid;
    // No UID from the server: one made from the header lines stays the same at every check.
    if (!message->message) message = mailbox_->top(serverNumber, 0);
    if (message == nullptr || !message->message) return {};
    return synthesizedUid(*message->message);
}

CommandOutcome ClientSession::onUidl(const std::string& line) {
    if (!ensureChecked()) return CommandOutcome::EndSession;
    if (const std::optional<int> number = CommandArguments::messageNumber(CommandArguments::of(line))) {
        const MessageEntry* entry = findByClientNumber(*number);
        const std::string uid = entry != nullptr ? uidOf(*entry) : std::string();
        if (uid.empty())
            replyErr(kUidNotFound);
        else
            replyOk(std::to_string(*number) + " " + uid);
        return CommandOutcome::Continue;
    }
    std::string lines;
    for (const MessageEntry& entry : entries_) {
        if (!entry.visible()) continue;
        std::string uid = uidOf(entry);
        if (uid.empty()) uid = "Corvanthelix-" + std::to_string(entry.serverNumber);
        lines += std::to_string(entry.clientNumber) + " " + uid + "\r\n";
    }
    sendLines(kUidListFollows, lines, true);
    return CommandOutcome::Continue;
}

// ---- QUIT and NOOP ----

CommandOutcome ClientSession::onQuit(const std::string&) {
    if (services_.commit) services_.commit(*this);
    return CommandOutcome::EndSession;
}

CommandOutcome ClientSession::onNoop(const std::string&) {
    if (mailbox_->noop() != UpstreamResult::Ok) {
        replyErr(kNoopFailed);
        return CommandOutcome::EndSession;
    }
    replyOk(kNoopOk);
    return CommandOutcome::Continue;
}

// ---- plug-in operations ----

bool ClientSession::setReason(int serverNumber, std::string_view text) {
    MessageEntry* entry = findByServerNumber(serverNumber);
    if (entry == nullptr) return false;
    entry->verdict.setReason(text);
    return true;
}

bool ClientSession::setHandled(int serverNumber, bool handled) {
    MessageEntry* entry = findByServerNumber(serverNumber);
    if (entry == nullptr) return false;
    entry->handled = handled;
    return true;
}

bool ClientSession::learn(int serverNumber, bool spam) {
    if (findByServerNumber(serverNumber) == nullptr) return false;
    const ServerMessage* message = mailbox_->loaded(static_cast<std::uint32_t>(serverNumber));
    if (message == nullptr || !message->message) return false;
    if (services_.learn) return services_.learn(*message->message, spam);
    return TrainingArea::instance().learn(*message->message, spam);
}

bool ClientSession::setPluginReason(int messageNumber, std::string_view text) {
    return setReason(messageNumber, text);
}

bool ClientSession::markHandledByPlugin(int messageNumber) { return setHandled(messageNumber, true); }

bool ClientSession::messageSource(int messageNumber, std::string& source) {
    if (findByServerNumber(messageNumber) == nullptr) return false;
    const ServerMessage* message = mailbox_->whole(static_cast<std::uint32_t>(messageNumber));
    if (message == nullptr) return false;
    source = message->message->source();
    return true;
}

} // namespace corvanthelix
