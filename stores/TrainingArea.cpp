#include "stores/TrainingArea.h"

#include "base/Application.h"
#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "base/UniqueFd.h"
#include "base/Crc32.h"
#include "filter/FilterManager.h"
#include "upstream/MailMessage.h"
#include "filter/PluginManager.h"
#include "filter/SenderLists.h"
#include "base/TextUtils.h"
#include "stores/EntryDate.h"
#include "stores/IndexJournal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace corvanthelix {

namespace {

constexpr const char* kFileName = "filename";
constexpr const char* kRecycleFileName = "rbfn";
constexpr const char* kSender = "sender";
constexpr const char* kMail = "mail";
constexpr const char* kSubject = "subject";
constexpr const char* kDate = "date";
constexpr const char* kTime = "time";
constexpr const char* kSize = "size";
constexpr const char* kBlock = "block";

// The longest list for which AddMessages flushes each message file on its own.
constexpr size_t kFlushEachUpTo = 8;

using Guard = std::lock_guard<std::recursive_mutex>;

// Learn calls inside a LearnBatch on this thread leave the saving to the batch.
thread_local int tBatchDepth = 0;

/// The value of `name` decoded from its Q-encoding; "" when missing.
std::string Decoded(const XmlElement& entry, std::string_view name) {
    const XmlAttribute* attribute = entry.FindAttribute(name);
    return attribute ? QuotedPrintableDecode(attribute->Value()) : std::string();
}

std::string Plain(const XmlElement& entry, std::string_view name) {
    const XmlAttribute* attribute = entry.FindAttribute(name);
    return attribute ? attribute->Value() : std::string();
}

long long Number(const XmlElement& entry, std::string_view name) {
    const XmlAttribute* attribute = entry.FindAttribute(name);
    return attribute ? std::strtoll(attribute->Value().c_str(), nullptr, 10) : 0;
}

TrainingEntry EntryFrom(const XmlElement& element) {
    TrainingEntry entry;
    entry.fileName = Plain(element, kFileName);
    entry.recycleFileName = Plain(element, kRecycleFileName);
    entry.senderName = Decoded(element, kSender);
    entry.senderAddress = Decoded(element, kMail);
    entry.subject = Decoded(element, kSubject);
    entry.size = Number(element, kSize);
    entry.verdict = static_cast<int>(Number(element, kBlock));
    entry.dayNumber = static_cast<int>(Number(element, kDate));
    if (entry.dayNumber > 0) DateFromDayNumber(entry.dayNumber, entry.year, entry.month, entry.day);
    const std::string time = Plain(element, kTime);
    if (time.size() == 5) {
        entry.hour = std::atoi(time.c_str());
        entry.minute = std::atoi(time.c_str() + 3);
    }
    return entry;
}

void Describe(XmlElement& entry, const MailMessage& message, const std::string& fileName, int verdict,
              std::string_view recycleFileName) {
    entry.SetAttribute(kFileName, fileName);
    if (!recycleFileName.empty()) entry.SetAttribute(kRecycleFileName, recycleFileName);
    SenderEntry sender;
    SenderLists::SenderOf(message, sender);
    entry.SetAttribute(kSender, QEncode(sender.name));
    entry.SetAttribute(kMail, QEncode(sender.address));
    if (const char* subject = message.HeaderByKind(CVX_HEADER_SUBJECT))
        entry.SetAttribute(kSubject, QEncode(DecodeEncodedWords(std::string_view(subject))));
    EntryDate date = entryDateOf(message);
    entry.SetAttribute(kDate, std::to_string(date.dayNumber));
    entry.SetAttribute(kTime, date.time);
    entry.SetAttribute(kSize, std::to_string(message.size()));
    entry.SetAttribute(kBlock, std::to_string(verdict));
}

/// Writes every written but unflushed file of the file system that holds `folder` to disk.
bool FlushFileSystemOf(const std::string& folder) {
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.valid() && ::syncfs(fd.get()) == 0;
}

/// The file name part of a path.
std::string_view BaseName(std::string_view path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string TrainingFileName(std::string_view text) {
    char name[32];
    std::snprintf(name, sizeof name, "%x.eml", static_cast<unsigned>(Crc32(text)));
    return name;
}

TrainingArea::TrainingArea(const std::string& programFolder) : TrainingArea(programFolder, Options{}) {}

TrainingArea::TrainingArea(const std::string& programFolder, Options options)
    : folder_(programFolder + "/" + kFolderName + "/"), options_(std::move(options)) {
    ensureFolder(folder_);
}

TrainingArea::~TrainingArea() = default;

std::string TrainingArea::MessagePath(std::string_view fileName) const {
    if (fileName.empty() || fileName == "." || fileName == ".." || fileName.find('/') != std::string_view::npos)
        return {};
    return folder_ + std::string(fileName);
}

std::string TrainingArea::SettingsFile() const {
    return options_.settingsFile.empty() ? settings::settingsFile() : options_.settingsFile;
}

XmlElement* TrainingArea::OpenIndex() {
    if (held_) return index_.Root();
    const std::string path = IndexPath();
    if (index_.Load(path)) {
        XmlElement* root = index_.Root();
        if (!root || root->Name() != kRootName) {
            index_.Clear();
            return nullptr;
        }
    } else {
        // Only a missing file starts a new index: one that is there but cannot be read now must
        // not be replaced by an empty one at the next change.
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 || errno != ENOENT) return nullptr;
        index_.CreateRoot(kRootName);
    }
    held_ = true;
    return index_.Root();
}

bool TrainingArea::SaveIndex() {
    if (index_.Save(IndexPath())) return true;
    index_.Clear();
    held_ = false;
    return false;
}

XmlElement* TrainingArea::FindEntry(XmlElement& root, std::string_view fileName) const {
    for (XmlElement* child = root.FirstChild(); child; child = child->Next()) {
        if (child->Name() != kEntryName) continue;
        const XmlAttribute* name = child->FindAttribute(kFileName);
        if (name && name->Value() == fileName) return child;
    }
    return nullptr;
}

void TrainingArea::DeleteMessageFile(std::string_view fileName) const {
    const std::string path = MessagePath(fileName);
    if (!path.empty()) ::unlink(path.c_str());
}

bool TrainingArea::AddMessage(const MailMessage& message, int verdict, std::string_view recycleFileName) {
    return AddMessages({{&message, verdict, std::string(recycleFileName)}}) == 1;
}

int TrainingArea::AddMessages(const std::vector<NewMessage>& messages) {
    struct Written {
        const NewMessage* added;
        std::string fileName;
        UniqueFd file; // open until flushed, when each file is flushed on its own
    };
    if (messages.empty()) return 0;
    Guard guard(mutex_);
    XmlElement* root = OpenIndex();
    if (!root) return 0;
    // Names of the entries there are and of the files this call writes: one look-up per message
    // instead of a walk over the index.
    std::unordered_set<std::string> taken;
    for (const XmlElement* child = root->FirstChild(); child; child = child->Next())
        if (const XmlAttribute* name = child->FindAttribute(kFileName); name && child->Name() == kEntryName)
            taken.insert(name->Value());

    // A short list has each file flushed; a long one has the file system flushed once, which asks
    // the disk for one cache flush instead of one per message and holds no descriptor per message.
    const bool flushAtOnce = messages.size() > kFlushEachUpTo;
    std::vector<Written> written;
    for (const NewMessage& added : messages) {
        const MailMessage* message = added.message;
        if (!message || !message->root() || message->Source().empty()) continue;
        if (added.verdict != kVerdictSpam && added.verdict != kVerdictNonSpam) continue;
        std::string fileName = TrainingFileName(message->Source());
        if (!taken.insert(fileName).second) continue;
        // Written under its own name: no entry names it until the index is replaced, which
        // happens only once the file is on disk. A file of this name without an entry is what a
        // crash before that leaves; the same text is written over it.
        UniqueFd file(::open(MessagePath(fileName).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                             0600));
        const bool created = file.valid();
        bool ok = created && writeAll(file.get(), message->Source());
        if (ok && flushAtOnce) {
            // Starts the write to disk now, so that the flush at the end finds most of it done.
            ::sync_file_range(file.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
            ok = file.reset();
        }
        if (!ok) {
            if (created) DeleteMessageFile(fileName);
            taken.erase(fileName);
            continue;
        }
        written.push_back({&added, std::move(fileName), std::move(file)});
    }

    bool durable = true;
    if (flushAtOnce) {
        durable = FlushFileSystemOf(folder_);
    } else {
        // A file that cannot be flushed is left out, as a failed write is.
        std::erase_if(written, [this](Written& file) {
            if (::fdatasync(file.file.get()) == 0 && file.file.reset()) return false;
            file.file.reset();
            DeleteMessageFile(file.fileName);
            return true;
        });
    }
    if (written.empty()) return 0;
    // The new names must be as durable as the files before the index refers to them.
    bool saved = durable && SyncFolder(folder_);
    if (saved) {
        for (const Written& file : written)
            Describe(*root->AddChild(kEntryName), *file.added->message, file.fileName, file.added->verdict,
                     BaseName(file.added->recycleFileName));
        saved = SaveIndex();
    }
    if (!saved) {
        for (const Written& file : written) DeleteMessageFile(file.fileName);
        return 0;
    }
    return static_cast<int>(written.size());
}

bool TrainingArea::IsInTrainingArea(const MailMessage& message, std::string& fileName) {
    Guard guard(mutex_);
    XmlElement* root = OpenIndex();
    if (!root) return false;
    if (!message.Source().empty()) {
        std::string candidate = TrainingFileName(message.Source());
        if (FindEntry(*root, candidate)) {
            fileName = std::move(candidate);
            return true;
        }
    }
    if (std::optional<std::string> body = message.BodyText(true)) {
        std::string candidate = TrainingFileName(*body);
        if (FindEntry(*root, candidate)) {
            fileName = std::move(candidate);
            return true;
        }
    }
    return false;
}

bool TrainingArea::GetEntry(const std::string& fileName, TrainingEntry& entry) {
    Guard guard(mutex_);
    XmlElement* root = OpenIndex();
    if (!root) return false;
    const XmlElement* found = FindEntry(*root, fileName);
    if (!found) return false;
    entry = EntryFrom(*found);
    return true;
}

bool TrainingArea::ListEntries(std::vector<TrainingEntry>& entries) {
    entries.clear();
    Guard guard(mutex_);
    XmlElement* root = OpenIndex();
    if (!root) return false;
    for (const XmlElement* child = root->FirstChild(); child; child = child->Next())
        if (child->Name() == kEntryName) entries.push_back(EntryFrom(*child));
    return true;
}

bool TrainingArea::RemoveMessage(const std::string& fileName) {
    Guard guard(mutex_);
    XmlElement* root = OpenIndex();
    if (!root) return false;
    XmlElement* found = FindEntry(*root, fileName);
    if (!found) return false;
    root->RemoveChild(found);
    // The file goes only once the index no longer names it: a crash in between leaves a file
    // without entry, never an entry without file.
    if (!SaveIndex()) return false;
    DeleteMessageFile(fileName);
    return true;
}

int TrainingArea::ExpireOld(int maxDays) {
    Guard guard(mutex_);
    const std::string settingsFile = SettingsFile();
    const int today = TodayDayNumber();
    if (settings::trainingAreaDeleteOldMessagesLast(settingsFile) == today) return 0;
    settings::setTrainingAreaDeleteOldMessagesLast(today, settingsFile);

    XmlElement* root = OpenIndex();
    if (!root) return 0;
    std::vector<std::string> expired;
    for (XmlElement* child = root->FirstChild(); child;) {
        XmlElement* next = child->Next();
        const XmlAttribute* name = child->FindAttribute(kFileName);
        const XmlAttribute* date = child->FindAttribute(kDate);
        if (child->Name() == kEntryName && name && date &&
            std::strtoll(date->Value().c_str(), nullptr, 10) <= static_cast<long long>(today) - maxDays) {
            expired.push_back(name->Value());
            root->RemoveChild(child);
        }
        child = next;
    }
    if (expired.empty() || !SaveIndex()) return 0;
    for (const std::string& fileName : expired) DeleteMessageFile(fileName);
    return static_cast<int>(expired.size());
}

TrainingArea::LearnBatch::LearnBatch() {
    FilterManager::instance().Acquire(false);
    ++tBatchDepth;
}

TrainingArea::LearnBatch::~LearnBatch() {
    --tBatchDepth;
    FilterManager::instance().Save();
    FilterManager::instance().Release();
}

bool TrainingArea::Learn(const MailMessage& message, bool isSpam) {
    if (message.Source().empty()) return false;
    FilterManager& filters = FilterManager::instance();
    // The acquisition keeps the word lists loaded from learning to saving even when nobody else
    // holds them.
    filters.Acquire(false);
    filters.Learn(&message, isSpam);
    if (tBatchDepth == 0) filters.Save();
    filters.Release();
    // No lock of ours is held here: the plug-in manager's lock comes after the filter manager's.
    PluginManager::instance().NotifyLearned(message.Source(), isSpam);
    return true;
}

bool TrainingArea::LearnIfPresent(const MailMessage& message, bool isSpam) {
    std::string fileName;
    if (!IsInTrainingArea(message, fileName) || !RemoveMessage(fileName)) return false;
    return Learn(message, isSpam);
}

bool TrainingArea::LearnEntry(const std::string& fileName, bool isSpam) {
    MailMessage message;
    {
        Guard guard(mutex_);
        XmlElement* root = OpenIndex();
        const std::string path = MessagePath(fileName);
        if (!root || path.empty() || !FindEntry(*root, fileName)) return false;
        if (message.LoadFile(path) != 0 || message.Source().empty()) return false;
    }
    if (!RemoveMessage(fileName)) return false;
    return Learn(message, isSpam);
}

int TrainingArea::LearnNow(std::string_view source, bool asSpam) {
    MailMessage message;
    message.Parse(source);
    if (message.Source().empty()) return -1;
    std::string fileName;
    if (IsInTrainingArea(message, fileName)) RemoveMessage(fileName);
    Learn(message, asSpam);
    return 0;
}

namespace {
std::mutex gStoreMutex;
std::unique_ptr<TrainingArea> gStore;

PluginLearning* storeForPlugins() { return &trainingArea(); }
} // namespace

TrainingArea& trainingArea() {
    std::lock_guard<std::mutex> guard(gStoreMutex);
    if (!gStore) {
        gStore = std::make_unique<TrainingArea>(Application::instance().programFolder());
        installPluginLearning(&storeForPlugins);
    }
    return *gStore;
}

void destroyTrainingArea() {
    std::unique_ptr<TrainingArea> old;
    {
        std::lock_guard<std::mutex> guard(gStoreMutex);
        if (gStore) installPluginLearning(nullptr);
        old = std::move(gStore);
    }
}

} // namespace corvanthelix
