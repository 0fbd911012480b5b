#pragma once
#include "base/ProgramPaths.h"
#include "base/Shell.h"
#include "filter/FilterVerdict.h"
#include "stores/IndexJournal.h"
#include "stores/XmlDocument.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <string_view>
#include <vector>

namespace corvanthelix {

class MailMessage;

/// Sender and subject of an entry, decoded.
struct RecycleSenderAndSubject {
    std::string senderName;
    std::string senderAddress;
    std::string subject;
};

/// One entry of the index with its texts decoded, as the window lists it.
struct RecycleEntry {
    std::string name;    ///< message file name in the recycle folder
    int date = 0;        ///< day number of the message's date
    std::string time;    ///< "hh:mm", as stored
    std::string subject;
    std::string reason;  ///< "[filter] : words", or empty
    std::string uid;     ///< empty when not known
    std::string account; ///< "user @ server", or empty
    std::string senderName;
    std::string senderAddress;
    double probability = 0;
    long long size = 0;
    bool complete = true; ///< the whole message is held
    bool onServer = true; ///< the message is still on the server
    bool seen = true;
    bool restored = false;
    bool deleted = false;
    bool hideAccount = false;
};

/// Which view the message viewer gives an entry.
enum class ViewerChoice {
    ShowFile,          ///< show the message file, whatever it holds
    ShowNotDownloaded, ///< only the header is here; offer to download the rest (account, uid)
    ShowDeleted,       ///< only the header is here and the server copy is gone
};

struct ViewerDecision {
    ViewerChoice choice = ViewerChoice::ShowFile;
    std::string account; ///< for ShowNotDownloaded
    std::string uid;     ///< for ShowNotDownloaded
};

/// The viewer's choice for an entry from its stored `lines` and `stay` and its decoded `account`
/// and `uid` (nullopt: attribute missing). Only a partly downloaded entry of a known account is not
/// shown from its file: ShowDeleted when its server copy is gone, else ShowNotDownloaded when its
/// UID is known.
ViewerDecision chooseRecycleViewer(const std::optional<std::string>& lines,
                                   const std::optional<std::string>& account,
                                   const std::optional<std::string>& uid,
                                   const std::optional<std::string>& stay);

/// The recycle bin: every message the filters took out of a mailbox, one file each in the folder
/// "recycle/" of the program folder, and the index "recycle/recyclebin.xml" with one "recyclefile"
/// entry per message (account, UID on the server, whether it is still there, whether the user
/// restored or deleted it, and what the window shows).
///
/// Every operation takes the store's re-entrant lock for its whole duration (DownloadComplete
/// releases it while it downloads); operations call one another under it. The index is loaded on first use and held for the run. Durability:
/// - a message file is written completely and flushed before any index entry refers to it, and a
///   file is deleted only after the index no longer lists it as live;
/// - a change to a few entries is appended to "recyclebin.journal" and flushed before the call
///   returns; a change to many entries, and every so often the journal itself, is folded into the
///   index, which is then replaced atomically. Loading replays the journal, so after a crash the
///   bin holds every change reported as done.
///
/// Row changes for an open window are handed to the Shell, which posts them and never blocks.
/// Process-wide: reached through RecycleBin::instance(); tests make their own on a temporary folder.
class RecycleBin {
public:
    /// The process-wide store on the program folder, created on first use. Thread-safe.
    static RecycleBin& instance();
    /// Destroys the process-wide store (program exit; tests); the next instance() makes a new one.
    static void destroyInstance();

    static constexpr const char* kFolderName = ProgramPaths::kRecycleFolderName;
    static constexpr const char* kIndexName = "recyclebin.xml";
    static constexpr const char* kJournalName = "recyclebin.journal";

    /// Fetches the whole message `uid` of the account (user, server) from its server into
    /// `message`; true on success.
    using RestoreDownloader = std::function<bool(const std::string& user, const std::string& server,
                                                 const std::string& uid, MailMessage& message)>;

    struct Options {
        /// Settings file for the ageing's last-run day; empty: the program's settings file.
        std::string settingsFile;
        /// Shell that receives row changes; null: the application's shell.
        Shell* shell = nullptr;
    };

    /// A store on `programFolder` + "/recycle/" (created 0700 when missing). Nothing is read yet.
    explicit RecycleBin(const std::string& programFolder);
    RecycleBin(const std::string& programFolder, Options options);
    /// Folds the journal into the index.
    ~RecycleBin();
    RecycleBin(const RecycleBin&) = delete;
    RecycleBin& operator=(const RecycleBin&) = delete;

    /// The store's lock, for callers that combine several operations (the window's list fill).
    std::recursive_mutex& lock() { return mutex_; }
    /// "<program folder>/recycle/", with the trailing separator.
    const std::string& folder() const { return folder_; }
    std::string indexPath() const { return folder_ + kIndexName; }

    // --- Adding and replacing --------------------------------------------------------------------

    /// Files `message` under a new unique name "<day>_<hhmmss>_<tick>.recycle": writes and flushes
    /// the file, then adds its entry (uid and account Q-encoded when not empty; from `verdict` the
    /// reason as "[filter] : words" when either is given and the probability when above 0; `stay` =
    /// still on the server). Returns true once the
    /// entry is durable; `outPath` (may be null) then holds the full path of the file, else it is
    /// emptied. False when the message has no content, the file cannot be written, or there is no
    /// index; a written file then stays in the folder for a rebuild to find.
    bool addMessage(const MailMessage& message, std::string_view uid, const FilterVerdict& verdict,
                    std::string_view account, std::string* outPath, bool stay);

    /// Replaces the entry for (uid, account) by a new one for `message`, keeping its reason and
    /// probability: the new entry is added first and the old one then deleted with its file, so a
    /// failure leaves the old entry as it was. Returns false when there is no such entry or the
    /// new one cannot be added.
    bool replaceWithDownloaded(const MailMessage& message, std::string_view uid, std::string_view account,
                               std::string* outPath, bool stay);

    /// Downloads the whole message of the entry `name` from its server and replaces the entry.
    /// Call without holding lock(): the download runs without the store's lock, because it waits
    /// for the session lock that a running mail check holds while it uses the store. Returns true
    /// with the new file name in `newName` (may be null); false, entry unchanged, when the entry,
    /// its UID or its account ("user @ server") is missing, the download fails, or the entry was
    /// deleted or purged while the download ran.
    bool downloadComplete(const std::string& name, std::string* newName);

    /// Sets the download used by DownloadComplete; without one DownloadComplete fails. The program
    /// installs the proxy's download for restore here at start-up.
    void setRestoreDownloader(RestoreDownloader downloader);

    // --- Queries by file name --------------------------------------------------------------------

    bool contains(const std::string& name);
    /// The entry exists and holds the whole message (`lines` missing or "-1").
    bool isComplete(const std::string& name);
    /// The entry exists and its message is still on the server (`stay` missing or "1...").
    bool isOnServer(const std::string& name);
    /// The decoded UID of the entry; nullopt when there is no such entry or it has no UID.
    std::optional<std::string> getUid(const std::string& name);
    /// Decoded sender and subject (missing attributes give empty texts); nullopt without entry.
    std::optional<RecycleSenderAndSubject> getSenderAndSubject(const std::string& name);
    /// The viewer's choice for the entry (see ChooseRecycleViewer); nullopt without entry.
    std::optional<ViewerDecision> viewerChoiceFor(const std::string& name);

    // --- Queries by server message (UID and account compared in encoded form) --------------------

    bool containsUid(std::string_view uid, std::string_view account);
    /// The first entry for (uid, account) exists and is marked deleted.
    bool isDeletedUid(std::string_view uid, std::string_view account);

    /// The UIDs of one account's entries as the index holds them now, for a whole mail check:
    /// one walk over the index instead of one per message of the mailbox, which containsUid and
    /// isDeletedUid each make. Answers as they would for the same index.
    struct AccountUids {
        /// Encoded UID -> whether the first entry with it is marked deleted.
        std::unordered_map<std::string, bool> deletedByUid;
        bool contains(std::string_view uid) const;
        bool isDeleted(std::string_view uid) const;
    };
    AccountUids accountUids(std::string_view account);

    // --- Lists for the mail check; append file names to `out`, return how many -------------------

    /// Restored, not deleted entries of `account`; an entry with its account hidden, missing or
    /// empty belongs to every account (the first account that checks mail receives it).
    int listRestored(std::string_view account, std::vector<std::string>& out);
    /// Deleted entries of `account`; entries without an account are not listed.
    int listDeleted(std::string_view account, std::vector<std::string>& out);

    // --- Changes by file name; true when the entry exists and the change is durable --------------

    /// Marks a complete entry restored; an incomplete or missing entry is left alone (false).
    bool restore(const std::string& name);
    bool withdrawRestore(const std::string& name);
    /// After the mail client received a restored message: marks it deleted, then deletes its file.
    bool deleteDelivered(const std::string& name);
    /// Removes the entry, then deletes its file.
    bool deleteMessage(const std::string& name);
    /// Removes the entry only; the file stays.
    bool removeEntry(const std::string& name);

    // --- Purges of the mail check; return the number of entries removed (files deleted too) -------

    /// Deleted entries of (account, uid).
    int purgeDeleted(std::string_view account, std::string_view uid);
    /// Deleted entries of `account`.
    int purgeDeletedForAccount(std::string_view account);

    // --- Store-level halves of the window's commands ---------------------------------------------

    /// Marks every entry that is neither deleted nor restored deleted and deletes its file.
    /// Restored entries stay. Returns the number marked.
    int emptyBin();
    /// Marks the named entries deleted and deletes their files. Returns the number marked.
    int deleteEntries(const std::vector<std::string>& names);
    /// Hides the account of each named entry that has one (restored messages then go to whichever
    /// account checks first). Returns the number changed.
    int hideAccounts(const std::vector<std::string>& names);
    /// Every entry, decoded, in index order.
    std::vector<RecycleEntry> entries();
    /// Tells the store whether the window is open; row changes are reported only while it is.
    void setWindowOpen(bool open);

    // --- Maintenance -----------------------------------------------------------------------------

    /// Builds the index from the "*.recycle" files of the folder (no UID, account or reason; not on
    /// the server) when there is no index file, or always with `force`. The held index is dropped
    /// and the journal discarded. Returns true when an index was written.
    bool rebuildIndex(bool force);
    /// Mends an index file that exists but cannot be read (cut short, overwritten): moves it aside
    /// as "recyclebin.damaged-YYYYMMDD-hhmmss.xml" (kept for the person), then writes a new index
    /// from the entries still readable in it, one entry for each other "*.recycle" file (as
    /// rebuildIndex does), and the journal's changes on top. Returns the name the damaged index was
    /// kept under; "" when the index was sound or missing, or could not be mended.
    std::string repairDamagedIndex();
    /// The daily ageing: at most once per local calendar day (the day is kept in the settings),
    /// marks deleted every entry dated `maxDays` or more days before today. Files stay until the
    /// mail check purges the entries. Returns the number marked (0 also when it already ran today).
    int expireOld(int maxDays);
    /// Removes `seen` from every entry (all count as seen). Returns the number changed.
    int clearSeenFlags();
    /// Folds the journal into the index now (before the folder is copied, and at exit). Returns
    /// false when the index could not be written.
    bool checkpoint();

private:
    XmlElement* openIndex();
    XmlElement* findByName(const std::string& name);
    XmlElement* findByUid(const std::string& encodedUid, const std::string& encodedAccount);
    /// Makes the changed entries `put` and the removed `removedNames` durable: one journal line for
    /// a few, the whole index for many.
    bool Commit(const std::vector<const XmlElement*>& put, const std::vector<std::string>& removedNames);
    bool saveWhole();
    void deleteFiles(const std::vector<std::string>& names);
    /// Removes the deleted entries of `account` (and of the UID when one is given) with their files.
    int purgeDeletedOf(std::string_view account, const std::string* encodedUid);
    void reportRow(RecycleRowChange change, const std::string& name);
    std::string settingsFile() const;

    std::recursive_mutex mutex_;
    std::string folder_;
    Options options_;
    XmlDocument index_;
    bool held_ = false;
    IndexJournal journal_;
    /// Memory is ahead of the index and the journal may not be appended to: write everything.
    bool needsWholeSave_ = false;
    uint64_t indexBytes_ = 0;
    bool windowOpen_ = false;
    RestoreDownloader downloader_;
};

/// The file name "<day>_<hh><mm><ss>_<tick in hex>.recycle".
std::string recycleFileName(int dayNumber, int hour, int minute, int second, uint32_t tick);

/// The first name from RecycleFileName, counting `tick` up from the given value, for which no file
/// exists in `folder` (with trailing separator). Returns the full path, or "" when none of 65536
/// names is free.
std::string uniqueRecyclePath(const std::string& folder, int dayNumber, int hour, int minute, int second,
                              uint32_t tick);

} // namespace corvanthelix
