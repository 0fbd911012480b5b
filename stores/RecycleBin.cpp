#include "stores/RecycleBin.h"

#include "base/Application.h"
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

const std::string* Value(const XmlElement& entry, const char* attribute) {
    const XmlAttribute* a = entry.FindAttribute(attribute);
    return a ? &a->Value() : nullptr;
}

std::optional<std::string> OptionalValue(const XmlElement& entry, const char* attribute) {
    const std::string* value = Value(entry, attribute);
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

/// Flags count by their first character only.
bool FlagSet(const XmlElement& entry, const char* attribute) {
    const std::string* value = Value(entry, attribute);
    return value && !value->empty() && (*value)[0] == '1';
}

std::string Decoded(const XmlElement& entry, const char* attribute) {
    const std::string* value = Value(entry, attribute);
    return value ? QuotedPrintableDecode(*value) : std::string();
}

bool IsCompleteEntry(const XmlElement& entry) {
    const std::string* lines = Value(entry, kLines);
    return !lines || *lines == "-1";
}

bool IsOnServerEntry(const XmlElement& entry) {
    const std::string* stay = Value(entry, kStay);
    return !stay || (!stay->empty() && (*stay)[0] == '1');
}

bool HasValue(const XmlElement& entry, const char* attribute, const std::string& value) {
    const std::string* stored = Value(entry, attribute);
    return stored && *stored == value;
}

/// "%.4f" without the locale's decimal separator.
std::string FormatProbability(double probability) {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, probability, std::chars_format::fixed, 4);
    return std::string(text, result.ptr);
}

double ParseProbability(const std::string* text) {
    double value = 0;
    if (text) std::from_chars(text->data(), text->data() + text->size(), value);
    return value;
}

/// "[filter]" and " : words" when there are words; empty when both are empty.
std::string ReasonText(const FilterVerdict& verdict) {
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
FilterVerdict ParseReason(const std::string& text, double probability) {
    FilterVerdict verdict;
    verdict.probability = probability;
    size_t open = text.find('[');
    size_t close = text.find(']');
    if (open == std::string::npos || close == std::string::npos) return verdict;
    if (open < close) verdict.SetFilterName(text.substr(open + 1, close - open - 1));
    if (close + 4 <= text.size()) verdict.SetReason(text.substr(close + 4));
    return verdict;
}

struct LocalNow {
    int dayNumber;
    int hour;
    int minute;
    int second;
};

LocalNow Now() {
    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    return {DayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday), local.tm_hour, local.tm_min,
            local.tm_sec};
}

/// Milliseconds since the system started, as a 32-bit count.
uint32_t TickCount() {
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

/// The attributes every entry gets from its message (AddMessage and the rebuild): name, date and
/// time, subject, protocol, sender, address, size, lines and the unseen mark.
void DescribeMessage(XmlElement& entry, const MailMessage& message, const std::string& name) {
    entry.SetAttribute(kName, name);
    EntryDate date = entryDateOf(message);
    entry.SetAttribute(kDate, std::to_string(date.dayNumber));
    entry.SetAttribute(kTime, date.time);
    if (const char* subject = message.HeaderByKind(CVX_HEADER_SUBJECT))
        entry.SetAttribute(kSubject, QEncode(DecodeEncodedWords(std::string_view(subject))));
    entry.SetAttribute(kProtocol, "POP3");
    SenderEntry sender;
    SenderLists::SenderOf(message, sender);
    entry.SetAttribute(kSender, QEncode(sender.name));
    entry.SetAttribute(kAddress, QEncode(sender.address));
    entry.SetAttribute(kSize, std::to_string(message.size()));
    entry.SetAttribute(kLines, std::to_string(message.topLines()));
    entry.SetAttribute(kSeen, "0");
}

} // namespace

ViewerDecision ChooseRecycleViewer(const std::optional<std::string>& lines, const std::optional<std::string>& account,
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

std::string RecycleFileName(int dayNumber, int hour, int minute, int second, uint32_t tick) {
    char name[64];
    std::snprintf(name, sizeof name, "%i_%02i%02i%02i_%x.recycle", dayNumber, hour, minute, second, tick);
    return name;
}

std::string UniqueRecyclePath(const std::string& folder, int dayNumber, int hour, int minute, int second,
                              uint32_t tick) {
    // Bounded, so a folder that cannot be read ends in a failed write rather than a hang.
    for (int attempt = 0; attempt < 65536; ++attempt, ++tick) {
        std::string path = folder + RecycleFileName(dayNumber, hour, minute, second, tick);
        if (!FileExists(path)) return path;
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
    Checkpoint();
}

std::string RecycleBin::SettingsFile() const {
    return options_.settingsFile.empty() ? settings::settingsFile() : options_.settingsFile;
}

void RecycleBin::ReportRow(RecycleRowChange change, const std::string& name) {
    if (!windowOpen_) return;
    // The shell posts this to the window's thread: the window may itself be waiting for our lock.
    Shell& shell = options_.shell ? *options_.shell : Application::instance().shell();
    shell.recycleBinRowChanged(change, name);
}

void RecycleBin::SetWindowOpen(bool open) {
    std::lock_guard lock(mutex_);
    windowOpen_ = open;
}

void RecycleBin::SetRestoreDownloader(RestoreDownloader downloader) {
    std::lock_guard lock(mutex_);
    downloader_ = std::move(downloader);
}

// --- Index, journal and saving ----------------------------------------------------------------------

XmlElement* RecycleBin::OpenIndex() {
    if (held_) return index_.Root();
    if (!index_.Load(IndexPath()) || !index_.Root() || index_.Root()->Name() != kRoot) {
        index_.Clear();
        return nullptr;
    }
    held_ = true;
    struct stat st {};
    if (::stat(journal_.Path().c_str(), &st) == 0) {
        // Changes made after the last fold. The journal is folded at once: a damaged tail must
        // not stay in front of the lines appended from now on.
        journal_.Replay(*index_.Root());
        needsWholeSave_ = true;
        SaveWhole();
    } else if (::stat(IndexPath().c_str(), &st) == 0) {
        indexBytes_ = static_cast<uint64_t>(st.st_size);
    }
    return index_.Root();
}

bool RecycleBin::SaveWhole() {
    if (!index_.Save(IndexPath())) return false;
    struct stat st {};
    if (::stat(IndexPath().c_str(), &st) == 0) indexBytes_ = static_cast<uint64_t>(st.st_size);
    // The journal goes only once the new index is certainly on disk; while it cannot be deleted,
    // nothing more may be appended to it, so every change keeps writing the whole index.
    needsWholeSave_ = !(SyncFolder(folder_) && journal_.Discard());
    return true;
}

bool RecycleBin::Commit(const std::vector<const XmlElement*>& put, const std::vector<std::string>& removedNames) {
    if (put.empty() && removedNames.empty()) return true;
    // The journal finds entries by name; one without a name can only be saved with the whole index.
    bool keyed = std::all_of(put.begin(), put.end(), [](const XmlElement* e) { return Value(*e, kName) != nullptr; });
    if (keyed && !needsWholeSave_ && put.size() + removedNames.size() <= kJournalBatchLimit) {
        if (journal_.Append(journal_.EncodeTransaction(put, removedNames))) {
            // Folding keeps the journal short; if it fails, the journal still holds everything.
            if (journal_.Size() >= std::max(kMinFoldBytes, indexBytes_ / 2)) SaveWhole();
            return true;
        }
    }
    if (SaveWhole()) return true;
    needsWholeSave_ = true;
    return false;
}

bool RecycleBin::Checkpoint() {
    std::lock_guard lock(mutex_);
    if (!held_ || (!needsWholeSave_ && journal_.Size() == 0)) return true;
    return SaveWhole();
}

void RecycleBin::DeleteFiles(const std::vector<std::string>& names) {
    // A file that cannot be deleted stays behind; its entry is gone either way.
    for (const std::string& name : names) ::unlink((folder_ + name).c_str());
}

XmlElement* RecycleBin::FindByName(const std::string& name) {
    XmlElement* root = OpenIndex();
    if (!root) return nullptr;
    for (XmlElement* entry = root->FirstChild(); entry; entry = entry->Next())
        if (entry->Name() == kEntry && HasValue(*entry, kName, name)) return entry;
    return nullptr;
}

XmlElement* RecycleBin::FindByUid(const std::string& encodedUid, const std::string& encodedAccount) {
    XmlElement* root = OpenIndex();
    if (!root) return nullptr;
    for (XmlElement* entry = root->FirstChild(); entry; entry = entry->Next())
        if (entry->Name() == kEntry && HasValue(*entry, kUid, encodedUid) && HasValue(*entry, kAccount, encodedAccount))
            return entry;
    return nullptr;
}

// --- Adding and replacing ---------------------------------------------------------------------------

bool RecycleBin::AddMessage(const MailMessage& message, std::string_view uid, const FilterVerdict& verdict,
                            std::string_view account, std::string* outPath, bool stay) {
    std::lock_guard lock(mutex_);
    if (outPath) outPath->clear();
    LocalNow now = Now();
    std::string path = UniqueRecyclePath(folder_, now.dayNumber, now.hour, now.minute, now.second, TickCount());
    if (path.empty()) return false;
    // The file and its name in the folder are on disk before any entry refers to them.
    if (message.SaveFile(path) != 0) return false;
    if (!SyncFolder(folder_)) {
        ::unlink(path.c_str());
        return false;
    }
    XmlElement* root = OpenIndex();
    if (!root) return false;

    std::string name = path.substr(folder_.size());
    XmlElement* entry = root->AddChild(kEntry);
    DescribeMessage(*entry, message, name);
    std::string reasonText = ReasonText(verdict);
    if (!reasonText.empty()) entry->SetAttribute(kSpamWords, QEncode(reasonText));
    if (!uid.empty()) entry->SetAttribute(kUid, QEncode(uid));
    if (verdict.probability > 0) entry->SetAttribute(kProbability, FormatProbability(verdict.probability));
    if (!account.empty()) entry->SetAttribute(kAccount, QEncode(account));
    entry->SetAttribute(kStay, stay ? "1" : "0");

    if (!Commit({entry}, {})) {
        root->RemoveChild(entry);
        return false;
    }
    if (outPath) *outPath = path;
    if (message.root() && message.root()->headers) ReportRow(RecycleRowChange::Added, name);
    return true;
}

bool RecycleBin::ReplaceWithDownloaded(const MailMessage& message, std::string_view uid, std::string_view account,
                                       std::string* outPath, bool stay) {
    std::lock_guard lock(mutex_);
    if (outPath) outPath->clear();
    XmlElement* old = FindByUid(QEncode(uid), QEncode(account));
    if (!old) return false;
    std::string oldName = Value(*old, kName) ? *Value(*old, kName) : std::string();
    FilterVerdict verdict = ParseReason(Decoded(*old, kSpamWords), ParseProbability(Value(*old, kProbability)));
    // The new entry first: if it cannot be written, the old one is all the bin has of the message.
    if (!AddMessage(message, uid, verdict, account, outPath, stay)) return false;
    if (!oldName.empty()) {
        DeleteMessage(oldName);
    } else {
        // An entry without a name has no file and no journal key: only a whole save removes it.
        index_.Root()->RemoveChild(old);
        needsWholeSave_ = true;
        Checkpoint();
    }
    return true;
}

bool RecycleBin::DownloadComplete(const std::string& name, std::string* newName) {
    if (newName) newName->clear();
    std::string uid, account, user, server;
    RestoreDownloader downloader;
    {
        std::lock_guard lock(mutex_);
        XmlElement* entry = FindByName(name);
        if (!entry) return false;
        uid = Decoded(*entry, kUid);
        account = Decoded(*entry, kAccount);
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
    XmlElement* entry = FindByName(name);
    if (!entry || FlagSet(*entry, kDeleted)) return false;
    std::string path;
    if (!ReplaceWithDownloaded(message, uid, account, &path, true)) return false;
    if (newName) *newName = path.substr(folder_.size());
    return true;
}

// --- Queries ----------------------------------------------------------------------------------------

bool RecycleBin::Contains(const std::string& name) {
    std::lock_guard lock(mutex_);
    return FindByName(name) != nullptr;
}

bool RecycleBin::IsComplete(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = FindByName(name);
    return entry && IsCompleteEntry(*entry);
}

bool RecycleBin::IsOnServer(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = FindByName(name);
    return entry && IsOnServerEntry(*entry);
}

std::optional<std::string> RecycleBin::GetUid(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = FindByName(name);
    if (!entry || !Value(*entry, kUid)) return std::nullopt;
    return Decoded(*entry, kUid);
}

std::optional<RecycleSenderAndSubject> RecycleBin::GetSenderAndSubject(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = FindByName(name);
    if (!entry) return std::nullopt;
    return RecycleSenderAndSubject{Decoded(*entry, kSender), Decoded(*entry, kAddress), Decoded(*entry, kSubject)};
}

std::optional<ViewerDecision> RecycleBin::ViewerChoiceFor(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = FindByName(name);
    if (!entry) return std::nullopt;
    auto decodedOptional = [&](const char* attribute) {
        return Value(*entry, attribute) ? std::optional<std::string>(Decoded(*entry, attribute)) : std::nullopt;
    };
    return ChooseRecycleViewer(OptionalValue(*entry, kLines), decodedOptional(kAccount), decodedOptional(kUid),
                               OptionalValue(*entry, kStay));
}

bool RecycleBin::ContainsUid(std::string_view uid, std::string_view account) {
    std::lock_guard lock(mutex_);
    return FindByUid(QEncode(uid), QEncode(account)) != nullptr;
}

bool RecycleBin::IsDeletedUid(std::string_view uid, std::string_view account) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = FindByUid(QEncode(uid), QEncode(account));
    return entry && FlagSet(*entry, kDeleted);
}

int RecycleBin::ListRestored(std::string_view account, std::vector<std::string>& out) {
    std::lock_guard lock(mutex_);
    XmlElement* root = OpenIndex();
    if (!root) return 0;
    int count = 0;
    for (XmlElement* entry = root->FirstChild(); entry; entry = entry->Next()) {
        if (entry->Name() != kEntry || !FlagSet(*entry, kRestored) || FlagSet(*entry, kDeleted)) continue;
        const std::string* name = Value(*entry, kName);
        if (!name) continue;
        std::string entryAccount = Decoded(*entry, kAccount);
        if (FlagSet(*entry, kHideAccount) || entryAccount.empty() || entryAccount == account) {
            out.push_back(*name);
            ++count;
        }
    }
    return count;
}

int RecycleBin::ListDeleted(std::string_view account, std::vector<std::string>& out) {
    std::lock_guard lock(mutex_);
    XmlElement* root = OpenIndex();
    if (!root) return 0;
    int count = 0;
    for (XmlElement* entry = root->FirstChild(); entry; entry = entry->Next()) {
        if (entry->Name() != kEntry || !FlagSet(*entry, kDeleted) || !Value(*entry, kAccount)) continue;
        const std::string* name = Value(*entry, kName);
        if (name && Decoded(*entry, kAccount) == account) {
            out.push_back(*name);
            ++count;
        }
    }
    return count;
}

std::vector<RecycleEntry> RecycleBin::Entries() {
    std::lock_guard lock(mutex_);
    std::vector<RecycleEntry> entries;
    XmlElement* root = OpenIndex();
    if (!root) return entries;
    for (XmlElement* entry = root->FirstChild(); entry; entry = entry->Next()) {
        if (entry->Name() != kEntry) continue;
        RecycleEntry e;
        if (const std::string* name = Value(*entry, kName)) e.name = *name;
        if (const std::string* date = Value(*entry, kDate)) e.date = std::atoi(date->c_str());
        if (const std::string* time = Value(*entry, kTime)) e.time = *time;
        e.subject = Decoded(*entry, kSubject);
        e.reason = Decoded(*entry, kSpamWords);
        e.uid = Decoded(*entry, kUid);
        e.account = Decoded(*entry, kAccount);
        e.senderName = Decoded(*entry, kSender);
        e.senderAddress = Decoded(*entry, kAddress);
        e.probability = ParseProbability(Value(*entry, kProbability));
        if (const std::string* size = Value(*entry, kSize)) e.size = std::atoll(size->c_str());
        e.complete = IsCompleteEntry(*entry);
        e.onServer = IsOnServerEntry(*entry);
        e.seen = !HasValue(*entry, kSeen, "0");
        e.restored = FlagSet(*entry, kRestored);
        e.deleted = FlagSet(*entry, kDeleted);
        e.hideAccount = FlagSet(*entry, kHideAccount);
        entries.push_back(std::move(e));
    }
    return entries;
}

// --- Changes by file name ---------------------------------------------------------------------------

bool RecycleBin::Restore(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = FindByName(name);
    // Only a whole message can be handed to the mail client.
    if (!entry || !IsCompleteEntry(*entry)) return false;
    entry->SetAttribute(kRestored, "1");
    return Commit({entry}, {});
}

bool RecycleBin::WithdrawRestore(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = FindByName(name);
    if (!entry) return false;
    entry->SetAttribute(kRestored, "0");
    return Commit({entry}, {});
}

bool RecycleBin::DeleteDelivered(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* entry = FindByName(name);
    if (!entry) return false;
    entry->SetAttribute(kDeleted, "1");
    // The entry waits for the server copy to go; the file is not needed once it is marked.
    if (!Commit({entry}, {})) return false;
    DeleteFiles({name});
    ReportRow(RecycleRowChange::Removed, name);
    return true;
}

bool RecycleBin::DeleteMessage(const std::string& name) {
    std::lock_guard lock(mutex_);
    // A file is deleted only once no index lists it; if that fails it stays for a rebuild.
    if (!RemoveEntry(name)) return false;
    DeleteFiles({name});
    ReportRow(RecycleRowChange::Removed, name);
    return true;
}

bool RecycleBin::RemoveEntry(const std::string& name) {
    std::lock_guard lock(mutex_);
    XmlElement* root = OpenIndex();
    XmlElement* entry = FindByName(name);
    if (!root || !entry) return false;
    root->RemoveChild(entry);
    return Commit({}, {name});
}

// --- Purges -----------------------------------------------------------------------------------------

int RecycleBin::PurgeDeleted(std::string_view account, std::string_view uid) {
    const std::string encodedUid = QEncode(uid);
    return PurgeDeletedOf(account, &encodedUid);
}

int RecycleBin::PurgeDeletedForAccount(std::string_view account) {
    return PurgeDeletedOf(account, nullptr);
}

int RecycleBin::PurgeDeletedOf(std::string_view account, const std::string* encodedUid) {
    std::lock_guard lock(mutex_);
    XmlElement* root = OpenIndex();
    if (!root) return 0;
    const std::string encodedAccount = QEncode(account);
    std::vector<std::string> removed;
    for (XmlElement* entry = root->FirstChild(), *next; entry; entry = next) {
        next = entry->Next();
        if (entry->Name() != kEntry || !FlagSet(*entry, kDeleted) || !Value(*entry, kName)) continue;
        if (!HasValue(*entry, kAccount, encodedAccount) || (encodedUid && !HasValue(*entry, kUid, *encodedUid)))
            continue;
        removed.push_back(*Value(*entry, kName));
        root->RemoveChild(entry);
    }
    if (!Commit({}, removed)) return 0;
    DeleteFiles(removed);
    return static_cast<int>(removed.size());
}

// --- Window halves ----------------------------------------------------------------------------------

int RecycleBin::EmptyBin() {
    std::lock_guard lock(mutex_);
    XmlElement* root = OpenIndex();
    if (!root) return 0;
    std::vector<const XmlElement*> changed;
    std::vector<std::string> files;
    for (XmlElement* entry = root->FirstChild(); entry; entry = entry->Next()) {
        // Restored messages wait for delivery; emptying the bin must not take them away.
        if (entry->Name() != kEntry || FlagSet(*entry, kDeleted) || FlagSet(*entry, kRestored)) continue;
        entry->SetAttribute(kDeleted, "1");
        changed.push_back(entry);
        if (const std::string* name = Value(*entry, kName)) files.push_back(*name);
    }
    if (!Commit(changed, {})) return 0;
    DeleteFiles(files);
    return static_cast<int>(changed.size());
}

int RecycleBin::DeleteEntries(const std::vector<std::string>& names) {
    std::lock_guard lock(mutex_);
    std::vector<const XmlElement*> changed;
    std::vector<std::string> files;
    for (const std::string& name : names) {
        XmlElement* entry = FindByName(name);
        if (!entry) continue;
        entry->SetAttribute(kDeleted, "1");
        changed.push_back(entry);
        files.push_back(name);
    }
    if (!Commit(changed, {})) return 0;
    DeleteFiles(files);
    return static_cast<int>(changed.size());
}

int RecycleBin::HideAccounts(const std::vector<std::string>& names) {
    std::lock_guard lock(mutex_);
    std::vector<const XmlElement*> changed;
    for (const std::string& name : names) {
        XmlElement* entry = FindByName(name);
        if (!entry || Decoded(*entry, kAccount).empty()) continue;
        entry->SetAttribute(kHideAccount, "1");
        changed.push_back(entry);
    }
    return Commit(changed, {}) ? static_cast<int>(changed.size()) : 0;
}

// --- Maintenance ------------------------------------------------------------------------------------

bool RecycleBin::RebuildIndex(bool force) {
    std::lock_guard lock(mutex_);
    struct stat st {};
    if (!force && ::stat(IndexPath().c_str(), &st) == 0) return false;

    XmlDocument rebuilt;
    XmlElement* root = rebuilt.CreateRoot(kRoot);
    if (UniqueDir dir{::opendir(folder_.c_str())}) {
        while (dirent* item = ::readdir(dir.get())) {
            std::string_view fileName(item->d_name);
            if (fileName.size() <= kRecycleSuffix.size() || !fileName.ends_with(kRecycleSuffix)) continue;
            MailMessage message;
            if (message.LoadFile(folder_ + item->d_name) != 0) continue;
            XmlElement* entry = root->AddChild(kEntry);
            DescribeMessage(*entry, message, item->d_name);
            entry->SetAttribute(kStay, "0");
        }
    }
    if (!rebuilt.Save(IndexPath())) return false;
    // The held index and its journal describe the old file; the next operation reads the new one.
    index_.Clear();
    held_ = false;
    needsWholeSave_ = !(SyncFolder(folder_) && journal_.Discard());
    return true;
}

int RecycleBin::ExpireOld(int maxDays) {
    std::lock_guard lock(mutex_);
    const std::string settingsFile = SettingsFile();
    int today = TodayDayNumber();
    // At most once per calendar day, whatever the maximum.
    if (today == settings::recycleOldMessagesLast(settingsFile)) return 0;
    settings::setRecycleOldMessagesLast(today, settingsFile);
    XmlElement* root = OpenIndex();
    if (!root) return 0;
    const int newest = today - maxDays;
    std::vector<const XmlElement*> changed;
    for (XmlElement* entry = root->FirstChild(); entry; entry = entry->Next()) {
        const std::string* date = Value(*entry, kDate);
        if (entry->Name() != kEntry || !date || FlagSet(*entry, kDeleted)) continue;
        if (std::atoi(date->c_str()) > newest) continue;
        entry->SetAttribute(kDeleted, "1");
        changed.push_back(entry);
    }
    return Commit(changed, {}) ? static_cast<int>(changed.size()) : 0;
}

int RecycleBin::ClearSeenFlags() {
    std::lock_guard lock(mutex_);
    XmlElement* root = OpenIndex();
    if (!root) return 0;
    std::vector<const XmlElement*> changed;
    for (XmlElement* entry = root->FirstChild(); entry; entry = entry->Next()) {
        XmlAttribute* seen = entry->Name() == kEntry ? entry->FindAttribute(kSeen) : nullptr;
        if (!seen) continue;
        entry->RemoveAttribute(seen);
        changed.push_back(entry);
    }
    return Commit(changed, {}) ? static_cast<int>(changed.size()) : 0;
}

// --- Process-wide store -----------------------------------------------------------------------------

namespace {
std::mutex gStoreMutex;
std::unique_ptr<RecycleBin> gStore;
} // namespace

RecycleBin& recycleBin() {
    std::lock_guard lock(gStoreMutex);
    if (!gStore) gStore = std::make_unique<RecycleBin>(Application::instance().programFolder());
    return *gStore;
}

void destroyRecycleBin() {
    std::lock_guard lock(gStoreMutex);
    gStore.reset();
}

} // namespace corvanthelix
