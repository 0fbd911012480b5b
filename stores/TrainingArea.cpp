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

using Guard = std::lock_guard<std::recursive_mutex>;

// Learn calls inside a LearnBatch on this thread leave the saving to the batch.
thread_local int tBatchDepth = 0;

/// The value of `name` decoded from its Q-encoding; "" when missing.
std::string decoded(const XmlElement& entry, std::string_view name) {
    const XmlAttribute* attribute = entry.findAttribute(name);
    return attribute ? QuotedPrintableDecode(attribute->value()) : std::string();
}

std::string plain(const XmlElement& entry, std::string_view name) {
    const XmlAttribute* attribute = entry.findAttribute(name);
    return attribute ? attribute->value() : std::string();
}

long long number(const XmlElement& entry, std::string_view name) {
    const XmlAttribute* attribute = entry.findAttribute(name);
    return attribute ? std::strtoll(attribute->value().c_str(), nullptr, 10) : 0;
}

TrainingEntry entryFrom(const XmlElement& element) {
    TrainingEntry entry;
    entry.fileName = plain(element, kFileName);
    entry.recycleFileName = plain(element, kRecycleFileName);
    entry.senderName = decoded(element, kSender);
    entry.senderAddress = decoded(element, kMail);
    entry.subject = decoded(element, kSubject);
    entry.size = number(element, kSize);
    entry.verdict = static_cast<int>(number(element, kBlock));
    entry.dayNumber = static_cast<int>(number(element, kDate));
    if (entry.dayNumber > 0) dateFromDayNumber(entry.dayNumber, entry.year, entry.month, entry.day);
    const std::string time = plain(element, kTime);
    if (time.size() == 5) {
        entry.hour = std::atoi(time.c_str());
        entry.minute = std::atoi(time.c_str() + 3);
    }
    return entry;
}

void describe(XmlElement& entry, const MailMessage& message, const std::string& fileName, int verdict,
              std::string_view recycleFileName) {
    entry.setAttribute(kFileName, fileName);
    if (!recycleFileName.empty()) entry.setAttribute(kRecycleFileName, recycleFileName);
    SenderEntry sender;
    SenderLists::senderOf(message, sender);
    entry.setAttribute(kSender, QEncode(sender.name));
    entry.setAttribute(kMail, QEncode(sender.address));
    if (const char* subject = message.headerByKind(CVX_HEADER_SUBJECT))
        entry.setAttribute(kSubject, QEncode(decodeEncodedWords(std::string_view(subject))));
    EntryDate date = entryDateOf(message);
    entry.setAttribute(kDate, std::to_string(date.dayNumber));
    entry.setAttribute(kTime, date.time);
    entry.setAttribute(kSize, std::to_string(message.size()));
    entry.setAttribute(kBlock, std::to_string(verdict));
}

/// The file name part of a path.
std::string_view baseName(std::string_view path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string trainingFileName(std::string_view text) {
    char name[32];
    std::snprintf(name, sizeof name, "%x.eml", static_cast<unsigned>(crc32(text)));
    return name;
}

TrainingArea::TrainingArea(const std::string& programFolder) : TrainingArea(programFolder, Options{}) {}

TrainingArea::TrainingArea(const std::string& programFolder, Options options)
    : folder_(programFolder + "/" + kFolderName + "/"), options_(std::move(options)) {
    ensureFolder(folder_);
}

TrainingArea::~TrainingArea() = default;

std::string TrainingArea::messagePath(std::string_view fileName) const {
    if (fileName.empty() || fileName == "." || fileName == ".." || fileName.find('/') != std::string_view::npos)
        return {};
    return folder_ + std::string(fileName);
}

std::string TrainingArea::settingsFile() const {
    return options_.settingsFile.empty() ? settings::settingsFile() : options_.settingsFile;
}

XmlElement* TrainingArea::openIndex() {
    if (held_) return index_.root();
    const std::string path = indexPath();
    if (index_.load(path)) {
        XmlElement* root = index_.root();
        if (!root || root->name() != kRootName) {
            index_.clear();
            return nullptr;
        }
    } else {
        // Only a missing file starts a new index: one that is there but cannot be read now must
        // not be replaced by an empty one at the next change.
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 || errno != ENOENT) return nullptr;
        index_.createRoot(kRootName);
    }
    dropEntriesWithoutCopy(*index_.root());
    held_ = true;
    return index_.root();
}

// The copies are written without a flush, so a power failure can leave entries whose copy never
// reached the disk (missing or empty). They are dropped when the index is read; the index file
// follows at the next change.
void TrainingArea::dropEntriesWithoutCopy(XmlElement& root) const {
    for (XmlElement* child = root.firstChild(); child;) {
        XmlElement* next = child->Next();
        const XmlAttribute* name = child->name() == kEntryName ? child->findAttribute(kFileName) : nullptr;
        const std::string path = name ? messagePath(name->value()) : std::string();
        struct stat st {};
        const bool lost = !path.empty() && (::stat(path.c_str(), &st) == 0 ? st.st_size == 0 : errno == ENOENT);
        if (lost) root.removeChild(child);
        child = next;
    }
}

bool TrainingArea::saveIndex() {
    if (index_.save(indexPath())) return true;
    index_.clear();
    held_ = false;
    return false;
}

XmlElement* TrainingArea::findEntry(XmlElement& root, std::string_view fileName) const {
    for (XmlElement* child = root.firstChild(); child; child = child->Next()) {
        if (child->name() != kEntryName) continue;
        const XmlAttribute* name = child->findAttribute(kFileName);
        if (name && name->value() == fileName) return child;
    }
    return nullptr;
}

void TrainingArea::deleteMessageFile(std::string_view fileName) const {
    const std::string path = messagePath(fileName);
    if (!path.empty()) ::unlink(path.c_str());
}

bool TrainingArea::addMessage(const MailMessage& message, int verdict, std::string_view recycleFileName) {
    return addMessages({{&message, verdict, std::string(recycleFileName)}}) == 1;
}

int TrainingArea::addMessages(const std::vector<NewMessage>& messages) {
    struct Written {
        const NewMessage* added;
        std::string fileName;
    };
    if (messages.empty()) return 0;
    Guard guard(mutex_);
    XmlElement* root = openIndex();
    if (!root) return 0;
    // Names of the entries there are and of the files this call writes: one look-up per message
    // instead of a walk over the index.
    std::unordered_set<std::string> taken;
    for (const XmlElement* child = root->firstChild(); child; child = child->Next())
        if (const XmlAttribute* name = child->findAttribute(kFileName); name && child->name() == kEntryName)
            taken.insert(name->value());

    // The copies are not flushed: they stand only for training, and flushing each one (or the
    // whole file system) would cost more than the mail check itself. A copy lost in a power
    // failure after the index was saved is dropped from the index at the next start (openIndex).
    std::vector<Written> written;
    for (const NewMessage& added : messages) {
        const MailMessage* message = added.message;
        if (!message || !message->root() || message->source().empty()) continue;
        if (added.verdict != kVerdictSpam && added.verdict != kVerdictNonSpam) continue;
        std::string fileName = trainingFileName(message->source());
        if (!taken.insert(fileName).second) continue;
        // Written under its own name: no entry names it until the index is replaced, which
        // happens only once the file is written. A file of this name without an entry is what a
        // crash before that leaves; the same text is written over it.
        UniqueFd file(::open(messagePath(fileName).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                             0600));
        const bool created = file.valid();
        const bool ok = created && writeAll(file.get(), message->source()) && file.reset();
        if (!ok) {
            if (created) deleteMessageFile(fileName);
            taken.erase(fileName);
            continue;
        }
        written.push_back({&added, std::move(fileName)});
    }

    if (written.empty()) return 0;
    for (const Written& file : written)
        describe(*root->addChild(kEntryName), *file.added->message, file.fileName, file.added->verdict,
                 baseName(file.added->recycleFileName));
    const bool saved = saveIndex();
    if (!saved) {
        for (const Written& file : written) deleteMessageFile(file.fileName);
        return 0;
    }
    return static_cast<int>(written.size());
}

bool TrainingArea::isInTrainingArea(const MailMessage& message, std::string& fileName) {
    Guard guard(mutex_);
    XmlElement* root = openIndex();
    if (!root) return false;
    if (!message.source().empty()) {
        std::string candidate = trainingFileName(message.source());
        if (findEntry(*root, candidate)) {
            fileName = std::move(candidate);
            return true;
        }
    }
    if (std::optional<std::string> body = message.bodyText(true)) {
        std::string candidate = trainingFileName(*body);
        if (findEntry(*root, candidate)) {
            fileName = std::move(candidate);
            return true;
        }
    }
    return false;
}

bool TrainingArea::getEntry(const std::string& fileName, TrainingEntry& entry) {
    Guard guard(mutex_);
    XmlElement* root = openIndex();
    if (!root) return false;
    const XmlElement* found = findEntry(*root, fileName);
    if (!found) return false;
    entry = entryFrom(*found);
    return true;
}

bool TrainingArea::listEntries(std::vector<TrainingEntry>& entries) {
    entries.clear();
    Guard guard(mutex_);
    XmlElement* root = openIndex();
    if (!root) return false;
    for (const XmlElement* child = root->firstChild(); child; child = child->Next())
        if (child->name() == kEntryName) entries.push_back(entryFrom(*child));
    return true;
}

bool TrainingArea::removeMessage(const std::string& fileName) {
    Guard guard(mutex_);
    XmlElement* root = openIndex();
    if (!root) return false;
    XmlElement* found = findEntry(*root, fileName);
    if (!found) return false;
    root->removeChild(found);
    // The file goes only once the index no longer names it: a crash in between leaves a file
    // without entry, never an entry without file.
    if (!saveIndex()) return false;
    deleteMessageFile(fileName);
    return true;
}

int TrainingArea::expireOld(int maxDays) {
    Guard guard(mutex_);
    const std::string settingsPath = settingsFile();
    const int today = todayDayNumber();
    if (settings::trainingAreaDeleteOldMessagesLast(settingsPath) == today) return 0;
    settings::setTrainingAreaDeleteOldMessagesLast(today, settingsPath);

    XmlElement* root = openIndex();
    if (!root) return 0;
    std::vector<std::string> expired;
    for (XmlElement* child = root->firstChild(); child;) {
        XmlElement* next = child->Next();
        const XmlAttribute* name = child->findAttribute(kFileName);
        const XmlAttribute* date = child->findAttribute(kDate);
        if (child->name() == kEntryName && name && date &&
            std::strtoll(date->value().c_str(), nullptr, 10) <= static_cast<long long>(today) - maxDays) {
            expired.push_back(name->value());
            root->removeChild(child);
        }
        child = next;
    }
    if (expired.empty() || !saveIndex()) return 0;
    for (const std::string& fileName : expired) deleteMessageFile(fileName);
    return static_cast<int>(expired.size());
}

TrainingArea::LearnBatch::LearnBatch() {
    FilterManager::instance().acquire(false);
    ++tBatchDepth;
}

TrainingArea::LearnBatch::~LearnBatch() {
    --tBatchDepth;
    FilterManager::instance().save();
    FilterManager::instance().release();
}

bool TrainingArea::learn(const MailMessage& message, bool isSpam) {
    if (message.source().empty()) return false;
    FilterManager& filters = FilterManager::instance();
    // The acquisition keeps the word lists loaded from learning to saving even when nobody else
    // holds them.
    filters.acquire(false);
    filters.learn(&message, isSpam);
    if (tBatchDepth == 0) filters.save();
    filters.release();
    // No lock of ours is held here: the plug-in manager's lock comes after the filter manager's.
    PluginManager::instance().notifyLearned(message.source(), isSpam);
    return true;
}

bool TrainingArea::learnIfPresent(const MailMessage& message, bool isSpam) {
    std::string fileName;
    if (!isInTrainingArea(message, fileName) || !removeMessage(fileName)) return false;
    return learn(message, isSpam);
}

bool TrainingArea::learnEntry(const std::string& fileName, bool isSpam) {
    MailMessage message;
    {
        Guard guard(mutex_);
        XmlElement* root = openIndex();
        const std::string path = messagePath(fileName);
        if (!root || path.empty() || !findEntry(*root, fileName)) return false;
        if (message.loadFile(path) != 0 || message.source().empty()) return false;
    }
    if (!removeMessage(fileName)) return false;
    return learn(message, isSpam);
}

int TrainingArea::learnNow(std::string_view source, bool asSpam) {
    MailMessage message;
    message.parse(source);
    if (message.source().empty()) return -1;
    std::string fileName;
    if (isInTrainingArea(message, fileName)) removeMessage(fileName);
    learn(message, asSpam);
    return 0;
}

namespace {
std::mutex gStoreMutex;
std::unique_ptr<TrainingArea> gStore;

PluginLearning* storeForPlugins() { return &TrainingArea::instance(); }
} // namespace

TrainingArea& TrainingArea::instance() {
    std::lock_guard<std::mutex> guard(gStoreMutex);
    if (!gStore) {
        gStore = std::make_unique<TrainingArea>(Application::instance().programFolder());
        installPluginLearning(&storeForPlugins);
    }
    return *gStore;
}

void TrainingArea::destroyInstance() {
    std::unique_ptr<TrainingArea> old;
    {
        std::lock_guard<std::mutex> guard(gStoreMutex);
        if (gStore) installPluginLearning(nullptr);
        old = std::move(gStore);
    }
}

} // namespace corvanthelix
