#include "proxy/Commit.h"

#include "base/Application.h"
#include "base/AtomicFile.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "filter/FilterVerdict.h"
#include "upstream/MailMessage.h"
#include "filter/PluginManager.h"
#include "base/TextUtils.h"
#include "proxy/ClientSession.h"
#include "net/Connection.h"
#include "upstream/LogFile.h"
#include "proxy/MailCheck.h"
#include "upstream/Mailbox.h"
#include "net/TlsContext.h"
#include "base/StringTable.h"
#include "stores/RecycleBin.h"
#include "stores/Statistics.h"
#include "stores/TrainingArea.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <deque>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace corvanthelix {

namespace {

constexpr int kStringClosingConnection = 172;

std::string quotedOrNull(const char* value) {
    if (value == nullptr) return "(null)";
    // Appended rather than "\"" + ...: the operator form trips a -Wrestrict false positive in
    // optimised builds.
    std::string quoted = "\"";
    quoted.append(QEncode(value)).append("\"");
    return quoted;
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

MessageDate utcNow() {
    std::time_t now = std::time(nullptr);
    std::tm utc {};
    gmtime_r(&now, &utc);
    return MessageDate{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec};
}

class Run {
public:
    explicit Run(ClientSession& session)
        : session_(session), mailbox_(session.mailbox()), app_(Application::instance()), bin_(RecycleBin::instance()),
          training_(TrainingArea::instance()) {}

    int execute();

private:
    bool commitEntry(MessageEntry& entry);
    void spamIntoBin(MessageEntry& entry, ServerMessage* message, int senderVerdict, std::string& binPath);
    bool deleteOnServer(MessageEntry& entry, ServerMessage* message);
    bool reconnectAndDelete();
    void quitUpstream();
    void deleteDeliveredRestored(const MessageEntry& entry);
    void learnAutomatically(const MessageEntry& entry, int senderVerdict, const std::string& binPath);
    void learn(std::uint32_t serverNumber, bool spam);
    void learnDeferred();
    void fileAfterAnswer();
    void writeFilterLogLine(const MessageEntry& entry, const ServerMessage& message, int senderVerdict);
    void saveUidList();
    void purgeBin();
    void finish();

    ClientSession& session_;
    Mailbox& mailbox_;
    Application& app_;
    RecycleBin& bin_;
    TrainingArea& training_;
    Statistics statistics_;
    LogFile filterLog_;
    // New messages for the training area and messages to learn: filed after the client has its
    // answer (one load and save of the word lists; one index write for every batch of copies
    // that fits the mailbox's memory budget). A crash before that loses only these training
    // copies and lessons, never a message. Server messages are named by number, since their
    // copies may wait in spool files until they are read back here.
    struct ForTraining {
        std::uint32_t serverNumber = 0;
        int verdict = 0;
        std::string recycleFileName;
    };
    struct Lesson {
        const MailMessage* restored = nullptr; // a message loaded from the bin, else null
        std::uint32_t serverNumber = 0;         // the server message, when not restored
        bool spam = false;
    };
    std::vector<ForTraining> forTraining_;
    std::vector<Lesson> toLearn_;
    std::deque<MailMessage> restoredToLearn_; // loaded from the bin; a deque keeps their addresses
    std::string account_;
    std::string senders_;
    int spamCount_ = 0;
    bool counted_ = false;
    bool secure_ = false;
    bool reconnected_ = false;
    // Deleted on the current upstream connection, by server number with the UID when known: a
    // reconnection sends these again, since the dropped connection never committed them.
    std::vector<std::pair<std::uint32_t, std::optional<std::string>>> deleted_;
    // UIDs of spam whose bin copy could not be written: kept on the server and out of the UID
    // list, so the next check takes them for new.
    std::unordered_set<std::string> notStored_;
};

void Run::spamIntoBin(MessageEntry& entry, ServerMessage* message, int senderVerdict, std::string& binPath) {
    std::optional<MessageDate> date = message->message ? message->message->dateUtc() : std::nullopt;
    MessageDate day = date ? *date : utcNow();
    statistics_.count(dayNumber(day.year, day.month, day.day));
    counted_ = true;
    ++spamCount_;
    const bool keepSpam = settings::keepSpamMails() != 0;
    if (senderVerdict == MailCheck::kBlockedSender && settings::dontDownloadBlockedSenders() != 0 && !keepSpam) {
        // Blocked senders' mail is deleted on the server without a copy, as the settings ask.
        --spamCount_;
        return;
    }
    const std::string uid = message->uid.value_or(std::string());
    bool stored = message->message &&
                  bin_.addMessage(*message->message, uid, entry.verdict, account_, &binPath, !entry.toDelete);
    if (!stored) {
        // Without a durable copy the message must stay on the server.
        entry.toDelete = false;
        binPath.clear();
        if (message->uid) notStored_.insert(*message->uid);
        --spamCount_;
    }
}

// Connects anew and sends again every deletion of deleted_, which the lost connection never
// committed.
bool Run::reconnectAndDelete() {
    session_.clientLog().writeLine(Commit::kReconnectLogLine);
    Pop3Client& client = mailbox_.client();
    client.disconnect();
    TlsContext tls;
    if (secure_) {
        tls = TlsContext::create(TlsContext::Side::Client);
        if (!tls) return false;
    }
    if (client.connect(session_.server(), session_.port(), secure_ ? tls.get() : nullptr) != UpstreamResult::Ok) return false;
    if (client.login(session_.user(), session_.password()) != UpstreamResult::Ok) return false;
    reconnected_ = true;

    // The new connection numbers the messages afresh: address them by UID where there is one,
    // and repeat the deletions the dropped connection never committed.
    std::unordered_map<std::string, std::uint32_t> numbers;
    if (const std::vector<Pop3ListEntry>* list = client.list()) {
        for (const Pop3ListEntry& item : *list)
            if (item.uid) numbers.emplace(*item.uid, item.number);
    }
    auto numberNow = [&](std::uint32_t old, const std::optional<std::string>& id) -> std::optional<std::uint32_t> {
        if (!id) return old;
        auto found = numbers.find(*id);
        if (found == numbers.end()) return std::nullopt; // gone from the server already
        return found->second;
    };
    std::vector<std::pair<std::uint32_t, std::optional<std::string>>> again = std::move(deleted_);
    deleted_.clear();
    for (const auto& [old, id] : again) {
        std::optional<std::uint32_t> now = numberNow(old, id);
        if (!now) continue;
        if (client.dele(*now) != UpstreamResult::Ok) return false;
        deleted_.emplace_back(*now, id);
    }
    return true;
}

bool Run::deleteOnServer(MessageEntry& entry, ServerMessage* message) {
    const auto number = static_cast<std::uint32_t>(entry.serverNumber);
    std::optional<std::string> uid = message ? message->uid : std::nullopt;
    std::uint32_t current = number;
    if (reconnected_ && uid) {
        // After a reconnection the server's numbers may differ from the check's.
        current = 0;
        if (const std::vector<Pop3ListEntry>* list = mailbox_.client().list())
            for (const Pop3ListEntry& item : *list)
                if (item.uid == uid) current = item.number;
        if (current == 0) return true; // no longer on the server
    }
    const UpstreamResult code = mailbox_.client().dele(current);
    if (code == UpstreamResult::Ok) {
        deleted_.emplace_back(current, uid);
    } else if (code == UpstreamResult::Refused && mailbox_.client().isConnected()) {
        // The server refused this one message (gone meanwhile): nothing to reconnect for.
        return true;
    } else {
        deleted_.emplace_back(number, uid);
        if (!reconnectAndDelete()) return false;
    }
    if (entry.inBin && uid) bin_.purgeDeleted(account_, *uid);
    return true;
}

void Run::quitUpstream() {
    const UpstreamResult code = mailbox_.quit();
    if (code == UpstreamResult::Ok || code == UpstreamResult::Refused || deleted_.empty()) return;
    // The connection was lost before the server answered QUIT: it may have committed nothing. The
    // deletions are made good once on a new connection, if each can be found there by its UID (a
    // server that did commit has numbered its messages afresh).
    for (const auto& deletion : deleted_)
        if (!deletion.second) return;
    if (reconnectAndDelete()) mailbox_.quit();
}

void Run::deleteDeliveredRestored(const MessageEntry& entry) {
    if (settings::filterLearningAutoRestored() != 0) {
        MailMessage message;
        if (message.loadFile(entry.filePath) == 0 && message.size() > 0) {
            std::string inTraining;
            if (training_.isInTrainingArea(message, inTraining) && training_.removeMessage(inTraining)) {
                // Kept for the learning after the answer; the bin copy goes now.
                restoredToLearn_.push_back(std::move(message));
                toLearn_.push_back({&restoredToLearn_.back(), 0, false});
            }
        }
    }
    bin_.deleteDelivered(Commit::fileNameOf(entry.filePath));
}

void Run::learn(std::uint32_t serverNumber, bool spam) {
    // Learned once the client has its answer: nothing is lost when that never happens.
    toLearn_.push_back({nullptr, serverNumber, spam});
}

void Run::learnDeferred() {
    if (toLearn_.empty()) return;
    // One load and one save of the word lists for the whole commit.
    TrainingArea::LearnBatch batch;
    for (const Lesson& lesson : toLearn_) {
        if (lesson.restored) {
            training_.learn(*lesson.restored, lesson.spam);
            continue;
        }
        const ServerMessage* message = mailbox_.loaded(lesson.serverNumber);
        if (message && message->message) training_.learn(*message->message, lesson.spam);
        mailbox_.trim();
    }
    toLearn_.clear();
}

void Run::fileAfterAnswer() {
    // Copies are read back a batch at a time, each batch filed with one index write, so a first
    // check of any size files its training copies within the mailbox's memory budget. Without
    // spooled copies everything is one batch.
    const MessageSpool& spool = mailbox_.spool();
    const std::uint64_t batchLimit = spool.isOpen() ? std::max<std::uint64_t>(spool.budget() / 2, 1) : UINT64_MAX;
    std::vector<TrainingArea::NewMessage> batch;
    std::uint64_t batchBytes = 0;
    auto fileBatch = [&] {
        if (!batch.empty()) training_.addMessages(batch);
        batch.clear();
        batchBytes = 0;
        mailbox_.trim();
    };
    for (ForTraining& item : forTraining_) {
        const ServerMessage* message = mailbox_.whole(item.serverNumber);
        if (message == nullptr) continue;
        batch.push_back({message->message.get(), item.verdict, std::move(item.recycleFileName)});
        batchBytes += message->size;
        if (batchBytes >= batchLimit) fileBatch();
    }
    fileBatch();
    forTraining_.clear();
    learnDeferred();
}

void Run::learnAutomatically(const MessageEntry& entry, int senderVerdict, const std::string& binPath) {
    const auto number = static_cast<std::uint32_t>(entry.serverNumber);
    const int aggressiveness = settings::aggressiveness();
    if (settings::filterLearningEnable() == 0 || settings::enable() == 0 || aggressiveness == 0 ||
        aggressiveness == 100)
        return;
    if (senderVerdict == MailCheck::kFriend) {
        if (settings::filterLearningAutoFriends() != 0) learn(number, false);
    } else if (senderVerdict == MailCheck::kBlockedSender) {
        if (settings::filterLearningAutoBlocked() != 0) learn(number, true);
    } else {
        forTraining_.push_back({number, entry.hidden() ? TrainingArea::kVerdictSpam : TrainingArea::kVerdictNonSpam,
                                binPath.empty() ? std::string() : Commit::fileNameOf(binPath)});
    }
}

void Run::writeFilterLogLine(const MessageEntry& entry, const ServerMessage& message, int senderVerdict) {
    FilterLogLine line;
    const MailMessage* mail = message.message.get();
    line.uid = message.uid ? message.uid->c_str() : nullptr;
    if (mail) {
        line.subject = mail->headerByName("Subject");
        line.to = mail->headerByName("To");
        line.from = mail->headerByName("From");
    }
    const char* dateHeader = mail ? mail->headerByName("Date") : nullptr;
    std::optional<MessageDate> date = dateHeader ? parseMailDateUtc(dateHeader) : std::nullopt;
    MessageDate when = date ? *date : utcNow();
    line.year = when.year;
    line.month = when.month;
    line.day = when.day;
    line.hour = when.hour;
    line.minute = when.minute;
    line.second = when.second;
    line.size = entry.size;
    Commit::decisionAndLabel(senderVerdict, entry.hidden(), entry.verdict, line.decision, line.label);
    line.reason = entry.verdict.reason;
    line.probability = entry.verdict.probability;
    filterLog_.writeLine(Commit::filterLogText(line));
}

bool Run::commitEntry(MessageEntry& entry) {
    const auto number = static_cast<std::uint32_t>(entry.serverNumber);
    // A copy waiting in a spool file is read back for the bin, the plug-ins and the filter log.
    ServerMessage* message = entry.restored ? nullptr : mailbox_.loaded(number);
    if (entry.leftOnServer) {
        if (message && message->uid) notStored_.insert(*message->uid);
        return true;
    }
    std::string binPath;
    int senderVerdict = -1;
    if (message && message->message) senderVerdict = MailCheck::senderListVerdict(senders_, *message->message);

    if (entry.hidden() && message && entry.clientNumber == -1) spamIntoBin(entry, message, senderVerdict, binPath);

    if (entry.toDelete) {
        if (entry.restored) deleteDeliveredRestored(entry);
        else if (message && !deleteOnServer(entry, message)) return false;
    }

    if (!entry.handled && message && message->message) {
        int flags = PluginManager::instance().afterDelivery(*message->message);
        if (flags & CVX_DELIVERED_HANDLED) entry.handled = true;
        if (flags & CVX_DELIVERED_LEARN) learn(number, (flags & CVX_DELIVERED_SPAM) != 0);
    }

    if (!entry.restored && !entry.known && !entry.handled && message && message->holdsWhole())
        learnAutomatically(entry, senderVerdict, binPath);

    if (!entry.known && message && filterLog_.isOpen()) writeFilterLogLine(entry, *message, senderVerdict);
    app_.status().addReceived(1);
    return true;
}

void Run::saveUidList() {
    UidList& uids = session_.uidList();
    if (!notStored_.empty()) {
        // Mark again from the account's file, leaving out what must be filtered again.
        uids.load(app_.programFolder(), session_.server(), session_.user());
        for (const MessageEntry& entry : session_.entries()) {
            if (entry.restored) continue;
            ServerMessage* message = mailbox_.find(static_cast<std::uint32_t>(entry.serverNumber));
            if (message && message->uid && !notStored_.count(*message->uid)) uids.markPresent(*message->uid);
        }
    }
    // An unchanged list is not written again: a check with nothing new then costs no disk flush.
    const std::string path = UidList::filePath(app_.programFolder(), session_.server(), session_.user());
    std::string stored;
    if (readWholeFile(path, stored) && stored == uids.serialize()) return;
    uids.save(app_.programFolder(), session_.server(), session_.user());
}

void Run::purgeBin() {
    if (settings::keepSpamMails() == 0) {
        bin_.purgeDeletedForAccount(account_);
        return;
    }
    std::unordered_set<std::string> onServer;
    for (const MessageEntry& entry : session_.entries()) {
        if (entry.restored) continue;
        ServerMessage* message = mailbox_.find(static_cast<std::uint32_t>(entry.serverNumber));
        if (message && message->uid) onServer.insert(*message->uid);
    }
    std::vector<std::string> names;
    bin_.listDeleted(account_, names);
    for (const std::string& name : names) {
        std::optional<std::string> uid = bin_.getUid(name);
        // Only entries whose message the server no longer holds may go: the others still stand
        // for a copy that a later check deletes on the server.
        if (uid && !onServer.count(*uid)) bin_.deleteMessage(name);
    }
}

void Run::finish() {
    // Without a new count there is nothing to write (days that left the window go at the next
    // save that has one).
    if (counted_) statistics_.save();
    filterLog_.close();
}

int Run::execute() {
    StatusState& status = app_.status();
    status.setPercentMode(true);
    status.setTotal(mailbox_.count());
    const std::string closing = loadString(kStringClosingConnection);
    status.setStatusText(closing);
    app_.shell().traySetTooltip(closing);

    if (settings::logFilterResults() == 1) {
        const int maxSize = settings::logFilterResultsMaxSize();
        if (filterLog_.open(app_.paths().filterLogFile(),
                            static_cast<std::uint32_t>(maxSize > 0 ? maxSize : 0))) {
            std::time_t now = std::time(nullptr);
            std::tm local {};
            localtime_r(&now, &local);
            filterLog_.writeFormatted("%s @ %s (%02i.%02i.%04i - %02i:%02i:%02i)", session_.user().c_str(),
                                      session_.server().c_str(), local.tm_mday, local.tm_mon + 1,
                                      local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
        }
    }
    statistics_.load();
    senders_ = settings::senderSection();
    account_ = MailCheck::accountKey(session_.user(), session_.server());
    // A reconnection runs over TLS when the session's connection does.
    secure_ = mailbox_.client().connection().hasTls();
    // The client's deletions went upstream as they came, on this connection: should the commit
    // have to connect anew, they are sent again with its own.
    for (const MessageEntry& entry : session_.entries()) {
        if (!entry.deletedByClient) continue;
        if (const ServerMessage* message = mailbox_.find(static_cast<std::uint32_t>(entry.serverNumber)))
            deleted_.emplace_back(message->number, message->uid);
    }

    for (MessageEntry& entry : session_.entries()) {
        if (!commitEntry(entry)) {
            session_.replyErr(Commit::kConnectionLossReply);
            fileAfterAnswer();
            finish();
            return 1;
        }
        mailbox_.trim();
    }
    senders_.clear();
    saveUidList();
    purgeBin();
    quitUpstream();
    // The deletions are done and every bin copy they needed is durable: the client may go on.
    // What follows loses no message if it never happens; the session (and with it the
    // program's shutdown) waits for it.
    // The filter log is on disk when the client has its answer (one write).
    filterLog_.flush();
    session_.replyOk(Commit::kDoneReply);
    app_.addSpamCount(spamCount_);
    fileAfterAnswer();
    finish();
    return 1;
}

} // namespace

int Commit::run(ClientSession& session) {
    // Every setting of the commit comes from one reading of the settings file.
    IniFile::Snapshot settingsSnapshot;
    Run run(session);
    return run.execute();
}

std::string Commit::filterLogText(const FilterLogLine& line) {
    const std::string uid = quotedOrNull(line.uid);
    const std::string subject = quotedOrNull(line.subject);
    const std::string to = quotedOrNull(line.to);
    const std::string from = quotedOrNull(line.from);
    const std::string label = oneLine(line.label);
    const std::string reason = oneLine(line.reason);
    // Measured first, then written; the format stays a literal the compiler checks.
    auto print = [&](char* out, std::size_t size) {
        return std::snprintf(out, size, "\t%s (%s, %s, %s, \"%04i-%02i-%02i\", \"%02i:%02i:%02i\", %i, %i, \"%s\", \"%s\", %.2f)",
                             uid.c_str(), subject.c_str(), to.c_str(), from.c_str(), line.year, line.month, line.day,
                             line.hour, line.minute, line.second, static_cast<int>(line.size), line.decision,
                             label.c_str(), reason.c_str(), line.probability);
    };
    int length = print(nullptr, 0);
    if (length < 0) return {};
    std::string out(static_cast<std::size_t>(length) + 1, '\0');
    print(out.data(), out.size());
    out.resize(static_cast<std::size_t>(length));
    return out;
}

void Commit::decisionAndLabel(int senderVerdict, bool hidden, const FilterVerdict& verdict, int& decision,
                              std::string& label) {
    const bool named = verdict.filterName[0] != '\0';
    if (senderVerdict == MailCheck::kFriend) {
        decision = 1;
        label = "(Friend)";
        return;
    }
    decision = hidden ? -1 : named ? 1 : 0;
    label = named ? std::string(verdict.filterName) : hidden ? "(Blocked sender)" : "";
}

std::string Commit::fileNameOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace corvanthelix
