#include "proxy/MailCheck.h"

#include "base/Application.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "filter/FilterManager.h"
#include "upstream/MailMessage.h"
#include "filter/SenderLists.h"
#include "proxy/ClientSession.h"
#include "upstream/Mailbox.h"
#include "upstream/MessagePrefetch.h"
#include "proxy/MessageCache.h"
#include "proxy/UidList.h"
#include "base/StringTable.h"
#include "base/TranslatedFormat.h"
#include "stores/RecycleBin.h"

#include <cstdio>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace corvanthelix {

namespace {

constexpr int kStringReceiving = 115;
constexpr int kStringFilterDisabled = 159;
constexpr int kStringLeftOnServer = 1401;

// Holds the filter manager's data for one run, whichever way the run ends.
class FilterManagerHold {
public:
    FilterManagerHold() { FilterManager::instance().acquire(true); }
    ~FilterManagerHold() { FilterManager::instance().release(); }
    FilterManagerHold(const FilterManagerHold&) = delete;
    FilterManagerHold& operator=(const FilterManagerHold&) = delete;
};

std::string receivingText(int position, std::uint32_t size, int toDownload) {
    return TranslatedFormat::byId(kStringReceiving, position, static_cast<int>(size >> 10), toDownload);
}

std::uint32_t fileSize(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return static_cast<std::uint32_t>(info.st_size);
}

// One first run of the check over one session.
class Run {
public:
    explicit Run(ClientSession& session)
        : session_(session), mailbox_(session.mailbox()), app_(Application::instance()),
          status_(app_.status()), bin_(RecycleBin::instance()) {}

    int execute(int& visibleCount, std::uint64_t& visibleSize);

private:
    // Refused: the server answered -ERR to the download of one message; the connection goes on.
    enum class Failure { None, Aborted, NotReceived, Refused };

    bool buildServerEntries();
    void collectRestored();
    void startDownloads();
    Failure filterNew();
    Failure handleNew(MessageEntry& entry, int position, int toDownload, const std::string& senders);
    bool fetchWhole(std::uint32_t number, std::uint32_t size);
    Failure placeRestored(int& position, int toDownload);
    Failure downloadFailure() const;
    void leaveOnServer(MessageEntry& entry);
    void setStatusText(const std::string& text);
    void addProgress(std::uint32_t size);
    int fail(Failure failure);

    ClientSession& session_;
    Mailbox& mailbox_;
    Application& app_;
    StatusState& status_;
    RecycleBin& bin_;
    MessageCache cache_;
    std::string account_;
    bool keepSpam_ = false;
    bool headerOnly_ = false;
    std::uint64_t totalSize_ = 0;
    std::uint64_t knownInBinSize_ = 0;
    std::uint64_t knownSize_ = 0;
    int knownCount_ = 0;
    int nextClientNumber_ = 1;
    std::uint64_t visibleSize_ = 0;
    int spamCount_ = 0;
    std::int64_t progress_ = 0;
    std::vector<MessageEntry> restored_;
    std::unique_ptr<MessagePrefetch> prefetch_; // the downloads of this run, when they run ahead
};

int Run::fail(Failure failure) {
    // A download cut short by Cancel fails as not received; the person still learns it was Cancel.
    const bool aborted = failure == Failure::Aborted || status_.cancelRequested();
    if (!aborted && mailbox_.client().answerTooLong()) {
        session_.replyErr(MailCheck::kTooLongReply);
        return 1;
    }
    session_.replyErr(aborted ? MailCheck::kAbortedReply : MailCheck::kNotReceivedReply);
    return 1;
}

void Run::setStatusText(const std::string& text) {
    status_.setStatusText(text);
    app_.shell().traySetTooltip(text);
}

void Run::addProgress(std::uint32_t size) {
    progress_ += size;
    status_.setReceived(progress_);
}

bool Run::buildServerEntries() {
    int count = mailbox_.count(&totalSize_);
    // A list that could not be read is no empty mailbox: taking it for one would forget every
    // known UID at QUIT.
    if (count == 0 && !mailbox_.client().listEmpty()) return false;

    UidList& uids = session_.uidList();
    const RecycleBin::AccountUids binned = bin_.accountUids(account_);
    // Whatever a failed earlier run left in the list is dropped unsaved.
    uids.load(app_.programFolder(), session_.server(), session_.user());
    session_.entries().clear();
    for (ServerMessage* message = mailbox_.messages(); message; message = message->next) {
        MessageEntry entry;
        entry.serverNumber = static_cast<std::int32_t>(message->number);
        entry.size = message->size;
        if (message->uid) {
            entry.known = uids.contains(*message->uid);
            if (entry.known) {
                if (binned.isDeleted(*message->uid)) {
                    entry.toDelete = true;
                    entry.inBin = true;
                } else if (binned.contains(*message->uid)) {
                    entry.inBin = true;
                }
                (entry.inBin ? knownInBinSize_ : knownSize_) += entry.size;
                ++knownCount_;
            }
            uids.markPresent(*message->uid);
        }
        // The list runs from the last server message to the first.
        session_.entries().push_front(std::move(entry));
    }
    return true;
}

void Run::collectRestored() {
    std::vector<std::string> names;
    bin_.listRestored(account_, names);
    for (const std::string& name : names) {
        MessageEntry entry;
        entry.filePath = bin_.folder() + name;
        entry.size = fileSize(entry.filePath);
        entry.restored = true;
        entry.handled = true;
        entry.clientNumber = nextClientNumber_++;
        totalSize_ += entry.size;
        visibleSize_ += entry.size;
        restored_.push_back(std::move(entry));
    }
}

bool Run::fetchWhole(std::uint32_t number, std::uint32_t size) {
    (void)size;
    const std::int64_t base = progress_;
    std::int64_t received = 0;
    mailbox_.setProgressCallback([this, base, &received](std::uint32_t bytes) {
        received += bytes;
        status_.setReceived(base + received);
    });
    ServerMessage* message = mailbox_.retr(number);
    mailbox_.setProgressCallback(nullptr);
    return message != nullptr && message->holdsWhole();
}

Run::Failure Run::handleNew(MessageEntry& entry, int position, int toDownload, const std::string& senders) {
    setStatusText(receivingText(position, entry.size, toDownload));
    if (status_.cancelRequested()) return Failure::Aborted;
    const bool filtering = MailCheck::filteringOn();
    if (!filtering) {
        // Told once, not once per message: every change of the line reaches the shell.
        std::string disabled = loadString(kStringFilterDisabled);
        if (status_.detailText() != disabled) status_.setDetailText(disabled);
    }

    const auto number = static_cast<std::uint32_t>(entry.serverNumber);
    ServerMessage* message = mailbox_.find(number);
    if (message == nullptr) return Failure::NotReceived;
    if (message->holdsHeaderOnly()) mailbox_.dropMessage(number);

    MailMessage cached;
    if (message->hasWholeCopy()) {
        // Taken from the cache before the downloads began.
        message = mailbox_.whole(number);
        if (message == nullptr) return Failure::NotReceived;
    } else if (prefetch_) {
        MessagePrefetch::Item item = prefetch_->take(number);
        if (!item.message) return item.result == UpstreamResult::Refused ? Failure::Refused : Failure::NotReceived;
        if (!mailbox_.adopt(number, std::move(item.message))) return Failure::NotReceived;
    } else if (message->uid && cache_.get(*message->uid, cached)) {
        mailbox_.setFromExternal(number, cached);
    } else if (headerOnly_) {
        if (mailbox_.top(number, 0) == nullptr) {
            // A server that refuses TOP is served with RETR; any other failure ends the run.
            std::optional<std::string> response = mailbox_.lastResponse();
            if (!response || response->compare(0, 4, "-ERR") != 0) return Failure::NotReceived;
            if (!fetchWhole(number, entry.size)) return downloadFailure();
        }
    } else if (!fetchWhole(number, entry.size)) {
        return downloadFailure();
    }
    message = mailbox_.find(number);
    if (message == nullptr || !message->message) return Failure::NotReceived;

    const int verdict = MailCheck::bentSenderVerdict(MailCheck::senderListVerdict(senders, *message->message),
                                                     filtering, settings::aggressiveness());
    bool spam = false;
    if (headerOnly_ && verdict == MailCheck::kBlockedSender) {
        spam = true; // a blocked sender's message is not downloaded beyond its header
    } else {
        if (message->holdsHeaderOnly()) {
            mailbox_.dropMessage(number);
            if (!fetchWhole(number, entry.size)) return downloadFailure();
            message = mailbox_.find(number);
        }
        if (verdict == MailCheck::kFriend) spam = false;
        else if (verdict == MailCheck::kBlockedSender) spam = true;
        else spam = FilterManager::instance().Run(entry.serverNumber, message->message.get(), entry.verdict);
    }

    if (spam) {
        entry.setHidden(true);
        if (!keepSpam_) entry.toDelete = true;
        status_.setSpamCount(++spamCount_);
    } else {
        entry.setHidden(false);
        entry.clientNumber = nextClientNumber_++;
        visibleSize_ += entry.size;
    }
    addProgress(entry.size);
    // The filters are done with it: copies beyond the memory budget go to files.
    mailbox_.trim();
    return Failure::None;
}

Run::Failure Run::downloadFailure() const {
    const std::optional<std::string> response = mailbox_.lastResponse();
    const bool refused = mailbox_.isConnected() && response && response->compare(0, 4, "-ERR") == 0;
    return refused ? Failure::Refused : Failure::NotReceived;
}

// One message the server will not send must not hold up the others: it stays on the server as it
// is, unseen by the client, and is tried again at the next check.
void Run::leaveOnServer(MessageEntry& entry) {
    const auto number = static_cast<std::uint32_t>(entry.serverNumber);
    mailbox_.dropMessage(number);
    entry.leftOnServer = true;
    entry.clientNumber = -1;
    entry.setHidden(false);
    entry.toDelete = false;
    entry.handled = true;
    const std::string text = TranslatedFormat::byId(kStringLeftOnServer, entry.serverNumber);
    mailbox_.client().writeServerLog("         C: <" + text + ">");
    status_.setDetailText(text);
}

// Whole downloads of every new message run ahead on a thread of their own, while the ones that
// have come are filtered. Copies the cache holds are taken first. Header-only checks download
// on demand instead, since a blocked sender's message is never downloaded whole.
void Run::startDownloads() {
    if (headerOnly_) return;
    std::vector<std::uint32_t> numbers;
    for (const MessageEntry& entry : session_.entries()) {
        if (entry.known) continue;
        const auto number = static_cast<std::uint32_t>(entry.serverNumber);
        ServerMessage* message = mailbox_.find(number);
        if (message == nullptr) continue;
        if (message->holdsHeaderOnly()) mailbox_.dropMessage(number);
        MailMessage cached;
        if (message->uid && !cache_.fileNameOf(*message->uid).empty() && cache_.get(*message->uid, cached)) {
            mailbox_.setFromExternal(number, cached);
            mailbox_.trim();
        }
        if (!message->hasWholeCopy()) numbers.push_back(number);
    }
    if (!numbers.empty()) prefetch_ = std::make_unique<MessagePrefetch>(mailbox_.client(), std::move(numbers));
}

Run::Failure Run::filterNew() {
    const std::string senders = settings::senderSection();
    cache_.open(app_.programFolder(), session_.user(), session_.server());
    startDownloads();
    const int toDownload = static_cast<int>(session_.entries().size() + restored_.size()) - knownCount_;
    int position = 0;
    for (MessageEntry& entry : session_.entries()) {
        if (entry.known) {
            // Seen at an earlier check: no download, no filtering.
            if (!entry.inBin) {
                entry.clientNumber = nextClientNumber_++;
                visibleSize_ += entry.size;
            }
            continue;
        }
        Failure failure = handleNew(entry, ++position, toDownload, senders);
        if (failure == Failure::Refused) leaveOnServer(entry);
        else if (failure != Failure::None) return failure;
    }
    return placeRestored(position, toDownload);
}

Run::Failure Run::placeRestored(int& position, int toDownload) {
    for (const MessageEntry& entry : restored_) {
        setStatusText(receivingText(++position, entry.size, toDownload));
        if (status_.cancelRequested()) return Failure::Aborted;
        addProgress(entry.size);
    }
    // The list begins with the restored messages in ascending client number.
    session_.entries().insert(session_.entries().begin(), restored_.begin(), restored_.end());
    restored_.clear();
    return Failure::None;
}

int Run::execute(int& visibleCount, std::uint64_t& visibleSize) {
    keepSpam_ = settings::keepSpamMails() != 0;
    headerOnly_ = settings::dontDownloadBlockedSenders() != 0;
    account_ = MailCheck::accountKey(session_.user(), session_.server());
    status_.setCancelRequested(false);
    // Cancel in the status window closes the upstream connection for the rest of this run.
    status_.setAbortAction([this] { mailbox_.client().interrupt(); });
    struct AbortActionRemover {
        StatusState& status;
        ~AbortActionRemover() { status.setAbortAction(nullptr); }
    } abortActionRemover{status_};
    // Copies beyond the memory budget wait in files of the account's spool folder until QUIT.
    const int memoryKb = settings::messageMemoryKb();
    mailbox_.spoolTo(app_.paths().cacheFolder() + "/" + accountFileKey(session_.user(), session_.server()) +
                         MailCheck::kSpoolFolderSuffix,
                     static_cast<std::size_t>(memoryKb > 0 ? memoryKb : 0) * 1024);
    if (!buildServerEntries()) return fail(Failure::NotReceived);
    collectRestored();

    status_.setPercentMode(false);
    status_.setTotal(static_cast<std::int64_t>(totalSize_ - knownInBinSize_ - knownSize_));

    Failure failure;
    {
        // The filters' data (word lists, plug-ins) is loaded only when there is a message to judge.
        std::optional<FilterManagerHold> filters;
        if (static_cast<int>(session_.entries().size()) > knownCount_) filters.emplace();
        failure = filterNew();
    }
    // The download thread is done (or stopped, closing the connection if answers were still
    // due) before anything else looks at the connection.
    prefetch_.reset();
    if (failure != Failure::None) return fail(failure);

    // Everything the cache held has been taken over by this check.
    cache_.clear();
    visibleCount = nextClientNumber_ - 1;
    visibleSize = visibleSize_;
    session_.setCheckDone(true);
    return 0;
}

} // namespace

std::string MailCheck::accountKey(std::string_view user, std::string_view server) {
    std::string key(user);
    key += " @ ";
    key += server;
    return key;
}

int MailCheck::bentSenderVerdict(int listVerdict, bool filtering, int aggressiveness) {
    if (!filtering) return kFriend;
    if (aggressiveness == 0 && listVerdict != kBlockedSender) return kFriend;
    if (aggressiveness == 100 && listVerdict != kFriend) return kBlockedSender;
    return listVerdict;
}

bool MailCheck::filteringOn() {
    return settings::enable() != 0 && (settings::filterWordEnable() != 0 || settings::filterLearningEnable() != 0 ||
                                       settings::filterPluginEnable() != 0);
}

int MailCheck::senderListVerdict(std::string_view senders, const MailMessage& message) {
    SenderEntry sender;
    if (!SenderLists::findIn(senders, message, sender)) return -1;
    return sender.list == kBlockedSender || sender.list == kFriend ? sender.list : -1;
}

int MailCheck::run(ClientSession& session, int& visibleCount, std::uint64_t& visibleSize) {
    if (session.checkDone()) {
        visibleCount = 0;
        visibleSize = 0;
        for (const MessageEntry& entry : session.entries()) {
            if (!entry.visible()) continue;
            ++visibleCount;
            const ServerMessage* message =
                entry.restored ? nullptr : session.mailbox().find(static_cast<std::uint32_t>(entry.serverNumber));
            visibleSize += message && message->hasWholeCopy() ? message->size : entry.size;
        }
        return 0;
    }
    // Every setting of the run comes from one reading of the settings file.
    IniFile::Snapshot settingsSnapshot;
    Run run(session);
    return run.execute(visibleCount, visibleSize);
}

} // namespace corvanthelix
