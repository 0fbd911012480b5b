#include "stores/RecycleBin.h"

#include "base/Application.h"
#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "upstream/MailMessage.h"
#include "filter/SenderLists.h"
#include "base/TextUtils.h"
#include "stores/EntryDate.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <memory>
#include <set>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace corvanthelix {

namespace {

constexpr const char* kRoot = "recyclebin";
constexpr const char* kEntry = "recyclefile";

// Attribute names of a "recyclefile" entry.
constexpr const char* kName = "name";
constexpr const char* kDate = "date";
constexpr const char* kTime = "time";
constexpr const char* kSubject = "subject";
constexpr const char* kSpamWords = "spamwords";
constexpr const char* kUid = "uid";
constexpr const char* kProbability = "probability";
constexpr const char* kAccount = "account";
constexpr const char* kProtocol = "Protocol";
constexpr const char* kSender = "sender";
constexpr const char* kAddress = "address";
constexpr const char* kSize = "size";
constexpr const char* kLines = "lines";
constexpr const char* kSeen = "seen";
constexpr const char* kStay = "stay";
constexpr const char* kRestored = "restored";
constexpr const char* kDeleted = "deleted";
constexpr const char* kHideAccount = "hideaccount";

constexpr std::string_view kAccountSeparator = " @ ";
constexpr std::string_view kRecycleSuffix = ".recycle";

/// Up to this many entries changed by one operation go to the journal; more rewrite the index.
constexpr size_t kJournalBatchLimit = 32;
/// The journal is folded into the index once it reaches half the index's size, or this much.
constexpr uint64_t kMinFoldBytes = 256 * 1024;

/// Owns a DIR* from opendir.
struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

const std::string* attributeValue(const XmlElement& entry, const char* attribute) {
    const XmlAttribute* a = entry.findAttribute(attribute);
    return a ? &a->value() : nullptr;
}

std::optional<std::string> optionalValue(const XmlElement& entry, const char* attribute) {
    const std::string* value = attributeValue(entry, attribute);
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

/// Flags count by their first character only.
bool flagSet(const XmlElement& entry, const char* attribute) {
    const std::string* value = attributeValue(entry, attribute);
    return value && !value->empty() && (*value)[0] == '1';
}

std::string decoded(const XmlElement& entry, const char* attribute) {
    const std::string* value = attributeValue(entry, attribute);
    return value ? QuotedPrintableDecode(*value) : std::string();
}

bool isCompleteEntry(const XmlElement& entry) {
    const std::string* lines = attributeValue(entry, kLines);
    return !lines || *lines == "-1";
}

bool isOnServerEntry(const XmlElement& entry) {
    const std::string* stay = attributeValue(entry, kStay);
    return !stay || (!stay->empty() && (*stay)[0] == '1');
}

bool hasValue(const XmlElement& entry, const char* attribute, const std::string& value) {
    const std::string* stored = attributeValue(entry, attribute);
    return stored && *stored == value;
}

/// "%.4f" without the locale's decimal separator.
std::string formatProbability(double probability) {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, probability, std::chars_format::fixed, 4);
    return std::string(text, result.ptr);
}

double parseProbability(const std::string* text) {
    double value = 0;
    if (text) std::from_chars(text->data(), text->data() + text->size(), value);
    return value;
}

/// "[filter]" and " : words" when there are words; empty when both are empty.
std::string reasonText(const FilterVerdict& verdict) {
    std::string_view filterName(verdict.filterName), words(verdict.reason);
    if (filterName.empty() && words.empty()) return {};
    std::string text;
    text.reserve(filterName.size() + words.size() + 5);
    text.append("[").append(filterName).append("]");
    if (!words.empty()) text.append(" : ").append(words);
    return text;
}

/// The verdict a stored reason and probability stand for: the filter name between the first "["
/// and the first "]", the words from four characters after the "]" (after "] : ").
FilterVerdict parseReason(const std::string& text, double probability) {
    FilterVerdict verdict;
    verdict.probability = probability;
    size_t open = text.find('[');
    size_t close = text.find(']');
    if (open == std::string::npos || close == std::string::npos) return verdict;
    if (open < close) verdict.setFilterName(text.substr(open + 1, close - open - 1));
    if (close + 4 <= text.size()) verdict.setReason(text.substr(close + 4));
    return verdict;
}

struct LocalNow {
    int dayNumber;
    int hour;
    int minute;
    int second;
};

LocalNow localNow() {
    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    return {dayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday), local.tm_hour, local.tm_min,
            local.tm_sec};
}

/// Milliseconds since the system started, as a 32-bit count.
uint32_t tickCount() {
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

/// The attributes every entry gets from its message (AddMessage and the rebuild): name, date and
/// time, subject, protocol, sender, address, size, lines and the unseen mark.
void describeMessage(XmlElement& entry, const MailMessage& message, const std::string& name) {
    entry.setAttribute(kName, name);
    EntryDate date = entryDateOf(message);
    entry.setAttribute(kDate, std::to_string(date.dayNumber));
    entry.setAttribute(kTime, date.time);
    if (const char* subject = message.headerByKind(CVX_HEADER_SUBJECT))
        entry.setAttribute(kSubject, QEncode(decodeEncodedWords(std::string_view(subject))));
    entry.setAttribute(kProtocol, "POP3");
    SenderEntry sender;
    SenderLists::senderOf(message, sender);
    entry.setAttribute(kSender, QEncode(sender.name));
    entry.setAttribute(kAddress, QEncode(sender.address));
    entry.setAttribute(kSize, std::to_string(message.size()));
    entry.setAttribute(kLines, std::to_string(message.topLines()));
    entry.setAttribute(kSeen, "0");
}

} // namespace

ViewerDecision chooseRecycleViewer(const std::optional<std::string>& lines, const std::optional<std::string>& account,
                                   const std::optional<std::string>& uid, const std::optional<std::string>& stay) {
    ViewerDecision decision;
    bool partial = lines && *lines != "-1";
    if (!partial || !account || account->empty()) return decision;
    if (stay && (stay->empty() || (*stay)[0] != '1')) {
        decision.choice = ViewerChoice::ShowDeleted;
    } else if (uid && !uid->empty()) {
        decision.choice = ViewerChoice::ShowNotDownloaded;
        decision.account = *account;
        decision.uid = *uid;
    }
    return decision;
}

std::string recycleFileName(int dayNumber, int hour, int minute, int second, uint32_t tick) {
    char name[64];
    std::snprintf(name, sizeof name, "%i_%02i%02i%02i_%x.recycle", dayNumber, hour, minute, second, tick);
    return name;
}

std::string uniqueRecyclePath(const std::string& folder, int dayNumber, int hour, int minute, int second,
                              uint32_t tick) {
    // Bounded, so a folder that cannot be read ends in a failed write rather than a hang.
    for (int attempt = 0; attempt < 65536; ++attempt, ++tick) {
        std::string path = folder + recycleFileName(dayNumber, hour, minute, second, tick);
        if (!fileExists(path)) return path;
    }
    return {};
}

RecycleBin::RecycleBin(const std::string& programFolder) : RecycleBin(programFolder, Options{}) {}

RecycleBin::RecycleBin(const std::string& programFolder, Options options)
    : folder_((programFolder.empty() ? std::string(".") : programFolder) + "/" + kFolderName + "/"),
      options_(std::move(options)),
      journal_(folder_ + kJournalName, kEntry, kName) {
    ::mkdir(folder_.c_str(), 0700);
}

RecycleBin::~RecycleBin() {
    checkpoint();
}

std::string RecycleBin::settingsFile() const {
    return options_.settingsFile.empty() ? settings::settingsFile() : options_.settingsFile;
}

void RecycleBin::reportRow(RecycleRowChange change, const std::string& name) {
    if (!windowOpen_) return;
    // The shell posts this to the window's thread: the window may itself be waiting for our lock.
    Shell& shell = options_.shell ? *options_.shell : Application::instance().shell();
    shell.recycleBinRowChanged(change, name);
}

void RecycleBin::setWindowOpen(bool open) {
    std::lock_guard lock(mutex_);
    windowOpen_ = open;
}

void RecycleBin::setRestoreDownloader(RestoreDownloader downloader) {
    std::lock_guard lock(mutex_);
    downloader_ = std::move(downloader);
}

// --- Index, journal and saving ----------------------------------------------------------------------

XmlElement* RecycleBin::openIndex() {
    if (held_) return index_.root();
    if (!index_.load(indexPath()) || !index_.root() || index_.root()->name() != kRoot) {
        index_.clear();
        return nullptr;
    }
    held_ = true;
    struct stat st {};
    if (::stat(journal_.path().c_str(), &st) == 0) {
        // Changes made after the last fold. The journal is folded at once: a damaged tail must
        // not stay in front of the lines appended from now on.
        journal_.replay(*index_.root());
        needsWholeSave_ = true;
        saveWhole();
    } else if (::stat(indexPath().c_str(), &st) == 0) {
        indexBytes_ = static_cast<uint64_t>(st.st_size);
    }
    return index_.root();
}

bool RecycleBin::saveWhole() {
    if (!index_.save(indexPath())) return false;
    struct stat st {};
    if (::stat(indexPath().c_str(), &st) == 0) indexBytes_ = static_cast<uint64_t>(st.st_size);
    // The journal goes only once the new index is certainly on disk; while it cannot be deleted,
    // nothing more may be appended to it, so every change keeps writing the whole index.
    needsWholeSave_ = !(syncFolder(folder_) && journal_.discard());
    return true;
}

bool RecycleBin::Commit(const std::vector<const XmlElement*>& put, const std::vector<std::string>& removedNames) {
    if (put.empty() && removedNames.empty()) return true;
    // The journal finds entries by name; one without a name can only be saved with the whole index.
    bool keyed = std::all_of(put.begin(), put.end(), [](const XmlElement* e) { return attributeValue(*e, kName) != nullptr; });
    if (keyed && !needsWholeSave_ && put.size() + removedNames.size() <= kJournalBatchLimit) {
        if (journal_.append(journal_.encodeTransaction(put, removedNames))) {
            // Folding keeps the journal short; if it fails, the journal still holds everything.
            if (journal_.size() >= std::max(kMinFoldBytes, indexBytes_ / 2)) saveWhole();
            return true;
        }
    }
    if (saveWhole()) return true;
    needsWholeSave_ = true;
    return false;
}

bool RecycleBin::checkpoint() {
    std::lock_guard lock(mutex_);
    if (!held_ || (!needsWholeSave_ && journal_.size() == 0)) return true;
    return saveWhole();
}

void RecycleBin::deleteFiles(const std::vector<std::string>& names) {
    // A file that cannot be deleted stays behind; its entry is gone either way.
    for (const std::string& name : names) ::unlink((folder_ + name).c_str());
}

XmlElement* RecycleBin::findByName(const std::string& name) {
    XmlElement* root = openIndex();
    if (!root) return nullptr;
    for (XmlElement* entry = root->firstChild(); entry; entry = entry->Next())
        if (entry->name() == kEntry && hasValue(*entry, kName, name)) return entry;
    return nullptr;
}

XmlElement* RecycleBin::findByUid(const std::string& encodedUid, const std::string& encodedAccount) {
    XmlElement* root = openIndex();
    if (!root) return nullptr;
    for (XmlElement* entry = root->firstChild(); entry; entry = entry->Next())
        if (entry->name() == kEntry && hasValue(*entry, kUid, encodedUid) && hasValue(*entry, kAccount, encodedAccount))
            return entry;
    return nullptr;
}

// --- Adding and replacing ---------------------------------------------------------------------------

bool RecycleBin::addMessage(const MailMessage& message, std::string_view uid, const FilterVerdict& verdict,
                            std::string_view account, std::string* outPath, bool stay) {
    std::lock_guard lock(mutex_);
    if (outPath) outPath->clear();
    LocalNow now = localNow();
    std::string path = uniqueRecyclePath(folder_, now.dayNumber, now.hour, now.minute, now.second, tickCount());
    if (path.empty()) return false;
    // The file and its name in the folder are on disk before any entry refers to them.
    if (message.saveFile(path) != 0) return false;
    if (!syncFolder(folder_)) {
        ::unlink(path.c_str());
        return false;
    }
    XmlElement* root = openIndex();
    if (!root) return false;

    std::string name = path.substr(folder_.size());
    XmlElement* entry = root->addChild(kEntry);
    describeMessage(*entry, message, name);
    std::string reason = reasonText(verdict);
    if (!reason.empty()) entry->setAttribute(kSpamWords, QEncode(reason));
    if (!uid.empty()) entry->setAttribute(kUid, QEncode(uid));
    if (verdict.probability > 0) entry->setAttribute(kProbability, formatProbability(verdict.probability));
    if (!account.empty()) entry->setAttribute(kAccount, QEncode(account));
    entry->setAttribute(kStay, stay ? "1" : "0");

    if (!Commit({entry}, {})) {
        root->removeChild(entry);
        return false;
    }
    if (outPath) *outPath = path;
    if (message.root() && message.root()->headers) reportRow(RecycleRowChange::Added, name);
    return true;
}

bool RecycleBin::replaceWithDownloaded(const MailMessage& message, std::string_view uid, std::string_view account,
                                       std::string* outPath, bool stay) {
    std::lock_guard lock(mutex_);
    if (outPath) outPath->clear();
    XmlElement* old = findByUid(QEncode(uid), QEncode(account));
    if (!old) return false;
    std::string oldName = attributeValue(*old, kName) ? *attributeValue(*old, kName) : std::string();
    FilterVerdict verdict = parseReason(decoded(*old, kSpamWords), parseProbability(attributeValue(*old, kProbability)));
    // The new entry first: if it cannot be written, the old one is all the bin has of the message.
    if (!addMessage(message, uid, verdict, account, outPath, stay)) return false;
    if (!oldName.empty()) {
        deleteMessage(oldName);
    } else {
        // An entry without a name has no file and no journal key: only a whole save removes it.
        index_.root()->removeChild(old);
        needsWholeSave_ = true;
        checkpoint();
    }
    return true;
}

bool RecycleBin::downloadComplete(const std::string& name, std::string* newName) {
    if (newName) newName->clear();
    std::string uid, account, user, server;
    RestoreDownloader downloader;
    {
        std::lock_guard lock(mutex_);
        XmlElement* entry = findByName(name);
        if (!entry) return false;
        uid = decoded(*entry, kUid);
        account = decoded(*entry, kAccount);
        size_t separator = account.find(kAccountSeparator);
        if (uid.empty() || separator == std::string::npos || !downloader_) return false;
        user = account.substr(0, separator);
        server = account.substr(separator + kAccountSeparator.size());
        downloader = downloader_;
    }
    // The download waits for the session lock, and a running session waits for this store's lock:
    // holding it here would let the two wait for each other forever.
    MailMessage message;
    if (!downloader(user, server, uid, message)) return false;

    std::lock_guard lock(mutex_);
    // A mail check may have run in between; a purged or deleted entry is not brought back.
    XmlElement* entry = findByName(name);
    if (!entry || flagSet(*entry, kDeleted)) return false;
    std::string path;
    if (!replaceWithDownloaded(message, uid, account, &path, true)) return false;
    if (newName) *newName = path.substr(folder_.size());
    return true;
}

// --- Queries ----------------------------------------------------------------------------------------

bool RecycleBin::contains(const std::string& name) {
    std::lock_guard lock(mutex_);
    return findByName(name) != nullptr;
}

bool RecycleBin::isComplete(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = findByName(name);
    return entry && isCompleteEntry(*entry);
}

bool RecycleBin::isOnServer(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = findByName(name);
    return entry && isOnServerEntry(*entry);
}

std::optional<std::string> RecycleBin::getUid(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = findByName(name);
    if (!entry || !attributeValue(*entry, kUid)) return std::nullopt;
    return decoded(*entry, kUid);
}

std::optional<RecycleSenderAndSubject> RecycleBin::getSenderAndSubject(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = findByName(name);
    if (!entry) return std::nullopt;
    return RecycleSenderAndSubject{decoded(*entry, kSender), decoded(*entry, kAddress), decoded(*entry, kSubject)};
}

std::optional<ViewerDecision> RecycleBin::viewerChoiceFor(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = findByName(name);
    if (!entry) return std::nullopt;
    auto decodedOptional = [&](const char* attribute) {
        return attributeValue(*entry, attribute) ? std::optional<std::string>(decoded(*entry, attribute)) : std::nullopt;
    };
    return chooseRecycleViewer(optionalValue(*entry, kLines), decodedOptional(kAccount), decodedOptional(kUid),
                               optionalValue(*entry, kStay));
}

bool RecycleBin::containsUid(std::string_view uid, std::string_view account) {
    std::lock_guard lock(mutex_);
    return findByUid(QEncode(uid), QEncode(account)) != nullptr;
}

bool RecycleBin::isDeletedUid(std::string_view uid, std::string_view account) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = findByUid(QEncode(uid), QEncode(account));
    return entry && flagSet(*entry, kDeleted);
}

RecycleBin::AccountUids RecycleBin::accountUids(std::string_view account) {
    std::lock_guard lock(mutex_);
    AccountUids uids;
    XmlElement* root = openIndex();
    if (!root) return uids;
    const std::string encodedAccount = QEncode(account);
    for (XmlElement* entry = root->firstChild(); entry; entry = entry->Next()) {
        if (entry->name() != kEntry || !hasValue(*entry, kAccount, encodedAccount)) continue;
        const std::string* uid = attributeValue(*entry, kUid);
        // The first entry of a UID decides, as for isDeletedUid.
        if (uid) uids.deletedByUid.emplace(*uid, flagSet(*entry, kDeleted));
    }
    return uids;
}

bool RecycleBin::AccountUids::contains(std::string_view uid) const { return deletedByUid.count(QEncode(uid)) != 0; }

bool RecycleBin::AccountUids::isDeleted(std::string_view uid) const {
    auto found = deletedByUid.find(QEncode(uid));
    return found != deletedByUid.end() && found->second;
}

int RecycleBin::listRestored(std::string_view account, std::vector<std::string>& out) {
    std::lock_guard lock(mutex_);
    XmlElement* root = openIndex();
    if (!root) return 0;
    int count = 0;
    for (XmlElement* entry = root->firstChild(); entry; entry = entry->Next()) {
        if (entry->name() != kEntry || !flagSet(*entry, kRestored) || flagSet(*entry, kDeleted)) continue;
        const std::string* name = attributeValue(*entry, kName);
        if (!name) continue;
        std::string entryAccount = decoded(*entry, kAccount);
        if (flagSet(*entry, kHideAccount) || entryAccount.empty() || entryAccount == account) {
            out.push_back(*name);
            ++count;
        }
    }
    return count;
}

int RecycleBin::listDeleted(std::string_view account, std::vector<std::string>& out) {
    std::lock_guard lock(mutex_);
    XmlElement* root = openIndex();
    if (!root) return 0;
    int count = 0;
    for (XmlElement* entry = root->firstChild(); entry; entry = entry->Next()) {
        if (entry->name() != kEntry || !flagSet(*entry, kDeleted) || !attributeValue(*entry, kAccount)) continue;
        const std::string* name = attributeValue(*entry, kName);
        if (name && decoded(*entry, kAccount) == account) {
            out.push_back(*name);
            ++count;
        }
    }
    return count;
}

std::vector<RecycleEntry> RecycleBin::entries() {
    std::lock_guard lock(mutex_);
    std::vector<RecycleEntry> entries;
    XmlElement* root = openIndex();
    if (!root) return entries;
    for (XmlElement* entry = root->firstChild(); entry; entry = entry->Next()) {
        if (entry->name() != kEntry) continue;
        RecycleEntry e;
        if (const std::string* name = attributeValue(*entry, kName)) e.name = *name;
        if (const std::string* date = attributeValue(*entry, kDate)) e.date = std::atoi(date->c_str());
        if (const std::string* time = attributeValue(*entry, kTime)) e.time = *time;
        e.subject = decoded(*entry, kSubject);
        e.reason = decoded(*entry, kSpamWords);
        e.uid = decoded(*entry, kUid);
        e.account = decoded(*entry, kAccount);
        e.senderName = decoded(*entry, kSender);
        e.senderAddress = decoded(*entry, kAddress);
        e.probability = parseProbability(attributeValue(*entry, kProbability));
        if (const std::string* size = attributeValue(*entry, kSize)) e.size = std::atoll(size->c_str());
        e.complete = isCompleteEntry(*entry);
        e.onServer = isOnServerEntry(*entry);
        e.seen = !hasValue(*entry, kSeen, "0");
        e.restored = flagSet(*entry, kRestored);
        e.deleted = flagSet(*entry, kDeleted);
        e.hideAccount = flagSet(*entry, kHideAccount);
        entries.push_back(std::move(e));
    }
    return entries;
}

// --- Changes by file name ---------------------------------------------------------------------------

bool RecycleBin::restore(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = findByName(name);
    // Only a whole message can be handed to the mail client.
    if (!entry || !isCompleteEntry(*entry)) return false;
    entry->setAttribute(kRestored, "1");
    return Commit({entry}, {});
}

bool RecycleBin::withdrawRestore(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = findByName(name);
    if (!entry) return false;
    entry->setAttribute(kRestored, "0");
    return Commit({entry}, {});
}

bool RecycleBin::deleteDelivered(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = findByName(name);
    if (!entry) return false;
    entry->setAttribute(kDeleted, "1");
    // The entry waits for the server copy to go; the file is not needed once it is marked.
    if (!Commit({entry}, {})) return false;
    deleteFiles({name});
    reportRow(RecycleRowChange::Removed, name);
    return true;
}

bool RecycleBin::deleteMessage(const std::string& name) {
    std::lock_guard lock(mutex_);
    // A file is deleted only once no index lists it; if that fails it stays for a rebuild.
    if (!removeEntry(name)) return false;
    deleteFiles({name});
    reportRow(RecycleRowChange::Removed, name);
    return true;
}

bool RecycleBin::removeEntry(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* root = openIndex();
    XmlElement* entry = findByName(name);
    if (!root || !entry) return false;
    root->removeChild(entry);
    return Commit({}, {name});
}

// --- Purges -----------------------------------------------------------------------------------------

int RecycleBin::purgeDeleted(std::string_view account, std::string_view uid) {
    const std::string encodedUid = QEncode(uid);
    return purgeDeletedOf(account, &encodedUid);
}

int RecycleBin::purgeDeletedForAccount(std::string_view account) {
    return purgeDeletedOf(account, nullptr);
}

int RecycleBin::purgeDeletedOf(std::string_view account, const std::string* encodedUid) {
    std::lock_guard lock(mutex_);
    XmlElement* root = openIndex();
    if (!root) return 0;
    const std::string encodedAccount = QEncode(account);
    std::vector<std::string> removed;
    for (XmlElement* entry = root->firstChild(), *next; entry; entry = next) {
        next = entry->Next();
        if (entry->name() != kEntry || !flagSet(*entry, kDeleted) || !attributeValue(*entry, kName)) continue;
        if (!hasValue(*entry, kAccount, encodedAccount) || (encodedUid && !hasValue(*entry, kUid, *encodedUid)))
            continue;
        removed.push_back(*attributeValue(*entry, kName));
        root->removeChild(entry);
    }
    if (!Commit({}, removed)) return 0;
    deleteFiles(removed);
    return static_cast<int>(removed.size());
}

// --- Window halves ----------------------------------------------------------------------------------

int RecycleBin::emptyBin() {
    std::lock_guard lock(mutex_);
    XmlElement* root = openIndex();
    if (!root) return 0;
    std::vector<const XmlElement*> changed;
    std::vector<std::string> files;
    for (XmlElement* entry = root->firstChild(); entry; entry = entry->Next()) {
        // Restored messages wait for delivery; emptying the bin must not take them away.
        if (entry->name() != kEntry || flagSet(*entry, kDeleted) || flagSet(*entry, kRestored)) continue;
        entry->setAttribute(kDeleted, "1");
        changed.push_back(entry);
        if (const std::string* name = attributeValue(*entry, kName)) files.push_back(*name);
    }
    if (!Commit(changed, {})) return 0;
    deleteFiles(files);
    return static_cast<int>(changed.size());
}

int RecycleBin::deleteEntries(const std::vector<std::string>& names) {
    std::lock_guard lock(mutex_);
    std::vector<const XmlElement*> changed;
    std::vector<std::string> files;
    for (const std::string& name : names) {
        XmlElement* entry = findByName(name);
        if (!entry) continue;
        entry->setAttribute(kDeleted, "1");
        changed.push_back(entry);
        files.push_back(name);
    }
    if (!Commit(changed, {})) return 0;
    deleteFiles(files);
    return static_cast<int>(changed.size());
}

int RecycleBin::hideAccounts(const std::vector<std::string>& names) {
    std::lock_guard lock(mutex_);
    std::vector<const XmlElement*> changed;
    for (const std::string& name : names) {
        XmlElement* entry = findByName(name);
        if (!entry || decoded(*entry, kAccount).empty()) continue;
        entry->setAttribute(kHideAccount, "1");
        changed.push_back(entry);
    }
    return Commit(changed, {}) ? static_cast<int>(changed.size()) : 0;
}

// --- Maintenance ------------------------------------------------------------------------------------

bool RecycleBin::rebuildIndex(bool force) {
    std::lock_guard lock(mutex_);
    struct stat st {};
    if (!force && ::stat(indexPath().c_str(), &st) == 0) return false;

    XmlDocument rebuilt;
    XmlElement* root = rebuilt.createRoot(kRoot);
    if (UniqueDir dir{::opendir(folder_.c_str())}) {
        while (dirent* item = ::readdir(dir.get())) {
            std::string_view fileName(item->d_name);
            if (fileName.size() <= kRecycleSuffix.size() || !fileName.ends_with(kRecycleSuffix)) continue;
            MailMessage message;
            if (message.loadFile(folder_ + item->d_name) != 0) continue;
            XmlElement* entry = root->addChild(kEntry);
            describeMessage(*entry, message, item->d_name);
            entry->setAttribute(kStay, "0");
        }
    }
    if (!rebuilt.save(indexPath())) return false;
    // The held index and its journal describe the old file; the next operation reads the new one.
    index_.clear();
    held_ = false;
    needsWholeSave_ = !(syncFolder(folder_) && journal_.discard());
    return true;
}

namespace {
// The day an entry was put in the bin: its file name begins with that day number. Entries whose
// name does not (written by hand, say) fall back to the message's own date.
std::optional<int> binnedDay(const XmlElement& entry) {
    const std::string* name = attributeValue(entry, kName);
    if (name) {
        int day = 0;
        const char* end = name->data() + name->size();
        auto [rest, error] = std::from_chars(name->data(), end, day);
        if (error == std::errc() && rest != name->data() && rest != end && *rest == '_' && day > 0) return day;
    }
    if (const std::string* date = attributeValue(entry, kDate)) return std::atoi(date->c_str());
    return std::nullopt;
}
} // namespace

std::string RecycleBin::repairDamagedIndex() {
    std::lock_guard lock(mutex_);
    // A sound index is loaded (and then held) as any operation would load it: nothing is read twice.
    if (openIndex()) return {};
    std::string bytes;
    if (!readWholeFile(indexPath(), bytes)) return {};
    XmlDocument damaged;
    damaged.parse(bytes);
    if (damaged.root() && damaged.root()->name() == kRoot) return {};

    char keptName[64];
    const LocalNow now = localNow();
    int year = 0, month = 0, day = 0;
    dateFromDayNumber(now.dayNumber, year, month, day);
    std::snprintf(keptName, sizeof keptName, "recyclebin.damaged-%04i%02i%02i-%02i%02i%02i.xml", year, month, day,
                  now.hour, now.minute, now.second);
    if (::rename(indexPath().c_str(), (folder_ + keptName).c_str()) != 0) return {};

    XmlDocument rebuilt;
    XmlElement* root = rebuilt.createRoot(kRoot);
    std::set<std::string> described;
    // Every whole entry line before the damage is read on its own, so what it knew (account, UID,
    // reason) is not lost.
    std::size_t position = 0;
    while (position < bytes.size()) {
        std::size_t end = bytes.find('\n', position);
        if (end == std::string::npos) end = bytes.size();
        std::string_view line(bytes.data() + position, end - position);
        position = end + 1;
        if (line.find("<recyclefile ") == std::string_view::npos || line.find("/>") == std::string_view::npos) continue;
        XmlDocument one;
        one.parse(std::string("<recyclebin>\n") + std::string(line) + "\n</recyclebin>\n");
        const XmlElement* entry = one.root() ? one.root()->firstChild() : nullptr;
        const std::string* name = entry ? attributeValue(*entry, kName) : nullptr;
        if (!name || entry->name() != kEntry || described.count(*name) || !fileExists(folder_ + *name)) continue;
        XmlElement* copy = root->addChild(kEntry);
        for (const XmlAttribute* attribute = entry->firstAttribute(); attribute; attribute = attribute->Next())
            copy->setAttribute(attribute->name(), attribute->value());
        described.insert(*name);
    }
    if (UniqueDir dir{::opendir(folder_.c_str())}) {
        while (dirent* item = ::readdir(dir.get())) {
            std::string_view fileName(item->d_name);
            if (fileName.size() <= kRecycleSuffix.size() || !fileName.ends_with(kRecycleSuffix)) continue;
            if (described.count(std::string(fileName))) continue;
            MailMessage message;
            if (message.loadFile(folder_ + item->d_name) != 0) continue;
            XmlElement* entry = root->addChild(kEntry);
            describeMessage(*entry, message, item->d_name);
            entry->setAttribute(kStay, "0");
        }
    }
    journal_.replay(*root);
    if (!rebuilt.save(indexPath())) return {};
    index_.clear();
    held_ = false;
    needsWholeSave_ = !(syncFolder(folder_) && journal_.discard());
    return keptName;
}

int RecycleBin::expireOld(int maxDays) {
    std::lock_guard lock(mutex_);
    const std::string settingsPath = settingsFile();
    int today = todayDayNumber();
    // At most once per calendar day, whatever the maximum.
    if (today == settings::recycleOldMessagesLast(settingsPath)) return 0;
    settings::setRecycleOldMessagesLast(today, settingsPath);
    XmlElement* root = openIndex();
    if (!root) return 0;
    const int newest = today - maxDays;
    std::vector<const XmlElement*> changed;
    for (XmlElement* entry = root->firstChild(); entry; entry = entry->Next()) {
        if (entry->name() != kEntry || flagSet(*entry, kDeleted)) continue;
        // Aged from its arrival in the bin: a message dated long ago still gets its full time.
        const std::optional<int> day = binnedDay(*entry);
        if (!day || *day > newest) continue;
        entry->setAttribute(kDeleted, "1");
        changed.push_back(entry);
    }
    return Commit(changed, {}) ? static_cast<int>(changed.size()) : 0;
}

int RecycleBin::clearSeenFlags() {
    std::lock_guard lock(mutex_);
    XmlElement* root = openIndex();
    if (!root) return 0;
    std::vector<const XmlElement*> changed;
    for (XmlElement* entry = root->firstChild(); entry; entry = entry->Next()) {
        XmlAttribute* seen = entry->name() == kEntry ? entry->findAttribute(kSeen) : nullptr;
        if (!seen) continue;
        entry->removeAttribute(seen);
        changed.push_back(entry);
    }
    return Commit(changed, {}) ? static_cast<int>(changed.size()) : 0;
}

// --- Process-wide store -----------------------------------------------------------------------------

namespace {
std::mutex gStoreMutex;
std::unique_ptr<RecycleBin> gStore;
} // namespace

RecycleBin& RecycleBin::instance() {
    std::lock_guard lock(gStoreMutex);
    if (!gStore) gStore = std::make_unique<RecycleBin>(Application::instance().programFolder());
    return *gStore;
}

void RecycleBin::destroyInstance() {
    std::lock_guard lock(gStoreMutex);
    gStore.reset();
}

} // namespace corvanthelix
