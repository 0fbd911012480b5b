#pragma once
#include "base/ProgramPaths.h"
#include "filter/PluginLearning.h"
#include "stores/XmlDocument.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

class MailMessage;

/// One entry of the training area with its texts decoded, as the training area window shows it.
struct TrainingEntry {
    std::string fileName;        ///< message file in the training folder ("%x.eml")
    std::string senderName;
    std::string senderAddress;
    std::string subject;         ///< empty when the message had no Subject header
    std::string recycleFileName; ///< the recycle bin copy's file name; empty when there is none
    long long size = 0;          ///< message size in bytes
    int verdict = 0;             ///< the filters' verdict when added: kVerdictSpam or kVerdictNonSpam
    int dayNumber = 0;           ///< day number of the message's date
    int year = 0, month = 0, day = 0; ///< the same date as a calendar date (0 when there is none)
    int hour = 0, minute = 0;    ///< from the stored "hh:mm"; 0 when it is not exactly that long
};

/// The training area: copies of the messages the filters judged during mail checks, kept until the
/// user marks them as spam or non-spam and the learning filter and the plug-ins learn from them.
///
/// Files: the folder "training/" of the program folder holds one file per message, named "%x.eml"
/// after the CRC-32 of the message text (so a message can be there only once), and the index
/// "training.xml" with one "message" entry per file (free text Q-encoded). The index is loaded on
/// first use and held until the store is destroyed; every change rewrites it atomically. A message
/// file is written and flushed before the index refers to it, and deleted only after the index no
/// longer does. When a change cannot be written, the held index is dropped and read again from
/// the file at the next use, so memory never runs ahead of the disk.
///
/// An index file that exists but is not a "training" document (or cannot be read) makes every
/// operation on the index fail and is never overwritten; a missing one starts an empty index.
///
/// Locking: operations on the index and the files take the store's re-entrant lock. The lock is
/// innermost: nothing is called under it that takes another lock of the program except the
/// settings file's. Learning therefore runs outside it, so that a plug-in that asks the host to
/// learn while the plug-in manager's lock is held cannot deadlock against the training area
/// window learning on another thread.
///
/// Plug-ins learn through it: it is the plug-in manager's PluginLearning while the process-wide
/// store exists (installed by TrainingArea::instance() when it creates the store).
///
/// Process-wide: reached through TrainingArea::instance(); tests make their own on a temporary folder.
class TrainingArea final : public PluginLearning {
public:
    /// The process-wide store on the program folder, created on first use, which also makes it the
    /// plug-in manager's learning (installPluginLearning). Start-up calls it once so that plug-ins
    /// can learn before the first mail check. Thread-safe.
    static TrainingArea& instance();
    /// Destroys the process-wide store (program exit; tests) and withdraws it from the plug-in
    /// manager, whose learning requests then answer -1. The next instance() makes a new one.
    static void destroyInstance();

    static constexpr const char* kFolderName = ProgramPaths::kTrainingFolderName;
    static constexpr const char* kIndexName = "training.xml";
    static constexpr const char* kRootName = "training";
    static constexpr const char* kEntryName = "message";

    /// The `block` values: the filters judged the message spam / non-spam when it was added.
    static constexpr int kVerdictSpam = 1;
    static constexpr int kVerdictNonSpam = 2;

    struct Options {
        /// Settings file that keeps the ageing's last-run day; empty: the program's settings file.
        std::string settingsFile;
    };

    /// A store on `programFolder` + "/training/" (the folder is created 0700 when missing; a
    /// failure shows at the first change). Nothing is read yet.
    explicit TrainingArea(const std::string& programFolder);
    TrainingArea(const std::string& programFolder, Options options);
    ~TrainingArea() override;
    TrainingArea(const TrainingArea&) = delete;
    TrainingArea& operator=(const TrainingArea&) = delete;

    /// "<program folder>/training/", with the trailing separator.
    const std::string& folder() const { return folder_; }
    std::string indexPath() const { return folder_ + kIndexName; }
    /// The full path of the message file `fileName`; "" when the name is not a plain file name
    /// (empty, ".", "..", or holding a "/"), so that an entry can never point outside the folder.
    std::string messagePath(std::string_view fileName) const;

    /// Files a copy of `message` with the filters' `verdict` (kVerdictSpam or kVerdictNonSpam) and,
    /// when not empty, the file name of its recycle bin copy (a path is cut to its file name).
    /// Returns true once the message file and the index entry are on disk. False, with nothing
    /// changed, when the message is empty, the verdict is neither value, an entry for the same text
    /// exists already, the index cannot be opened, or a file cannot be written. A message file left
    /// without entry (by a crash) is replaced, not taken for an entry.
    bool addMessage(const MailMessage& message, int verdict, std::string_view recycleFileName = {});

    /// One message for AddMessages: the arguments of one AddMessage call. The message is read,
    /// not kept; it must live until AddMessages returns.
    struct NewMessage {
        const MailMessage* message = nullptr;
        int verdict = 0;
        std::string recycleFileName;
    };

    /// Files every message of `messages` as AddMessage would file them one after the other, with
    /// one index write for all: each message file is written and flushed to disk first, then the
    /// index with all their entries replaces the old one atomically (a crash leaves at most message
    /// files without entry, which a later add replaces). A message that AddMessage would refuse
    /// (also the second of two with the same text) or whose file cannot be written is left out; the
    /// others are filed, in list order. Returns the number filed: 0, with nothing changed, when the
    /// index cannot be opened or written.
    int addMessages(const std::vector<NewMessage>& messages);

    /// Whether `message` is in the training area. First candidate: the file name from the CRC-32
    /// of its text; second: the file name from the CRC-32 of its decoded body text with HTML
    /// removed. True with the entry's file name in `fileName` when an entry has either name.
    bool isInTrainingArea(const MailMessage& message, std::string& fileName);

    /// The entry named `fileName`; false when there is none or the index cannot be opened.
    bool getEntry(const std::string& fileName, TrainingEntry& entry);

    /// Replaces `entries` with one record per "message" entry, in index order. False (entries
    /// empty) when the index cannot be opened.
    bool listEntries(std::vector<TrainingEntry>& entries);

    /// Removes the entry `fileName`, saves the index, then deletes the message file. Returns true
    /// when this call removed the entry; false when there is no such entry (nothing happens) or
    /// the index could not be written (the entry stays). Callers that learn an entry use the result
    /// as a claim: only the caller that removed the entry learns it, so no message is counted twice.
    bool removeMessage(const std::string& fileName);

    /// The daily ageing, at most once per local calendar day (the day is kept in the settings as
    /// "TrainingAreaDeleteOldMessagesLast"): removes every entry that has a file name and a date
    /// `maxDays` or more days before today, and deletes its file. Entries lacking either stay.
    /// Returns the number removed (0 when it already ran today or nothing could be written).
    int expireOld(int maxDays);

    /// Opens the learning filter for learning, learns `message` as spam or non-spam through the
    /// filter manager and saves the word lists, then has the plug-in manager tell every plug-in
    /// with a service entry (service 5 with the message text and the spam flag). Takes no store
    /// lock. False when the message is empty.
    bool learn(const MailMessage& message, bool isSpam);

    /// Learns `message` only when it is in the training area, and removes it there first (see
    /// RemoveMessage). Returns true when it was there and has been learned. Used by the commit
    /// for a restored message the mail client received (as non-spam).
    bool learnIfPresent(const MailMessage& message, bool isSpam);

    /// Loads the entry's message file, removes the entry and learns the message. Returns true
    /// when it was learned; false when there is no such entry, its file cannot be read (the
    /// entry stays) or another caller removed it first. The window's learn loop runs this inside
    /// a LearnBatch.
    bool learnEntry(const std::string& fileName, bool isSpam);

    /// The host services 0x10000010 / 5 and 0x10000011 of a plug-in (through the plug-in manager):
    /// learns the message text `source` at once, after removing it from the training area when it
    /// is there. Returns 0, or -1 when `source` holds no message.
    int learnNow(std::string_view source, bool asSpam) override;

    /// The learning filter held open for a series of Learn calls on this thread: the word lists
    /// are loaded once, and saved once when the batch ends (the window's learn loop). Learn calls
    /// while a batch is open on the same thread do not save by themselves.
    class LearnBatch {
    public:
        LearnBatch();
        /// Saves the word lists and closes the learning filter.
        ~LearnBatch();
        LearnBatch(const LearnBatch&) = delete;
        LearnBatch& operator=(const LearnBatch&) = delete;
    };

private:
    XmlElement* openIndex();
    void dropEntriesWithoutCopy(XmlElement& root) const;
    XmlElement* findEntry(XmlElement& root, std::string_view fileName) const;
    /// Writes the held index; on failure drops it so that the next use reads the file again.
    bool saveIndex();
    void deleteMessageFile(std::string_view fileName) const;
    std::string settingsFile() const;

    std::recursive_mutex mutex_;
    std::string folder_;
    Options options_;
    XmlDocument index_;
    bool held_ = false;
};

/// The message file name for a message text: "%x.eml" of its CRC-32, lower-case hexadecimal
/// without leading zeros.
std::string trainingFileName(std::string_view text);

} // namespace corvanthelix
