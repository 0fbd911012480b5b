#pragma once
// The Restore command of the recycle bin window, without any window: which rows it withdraws,
// restores, downloads first or refuses, and which questions and notices it gives on the way.
#include <string>
#include <vector>

namespace corvanthelix {

class RecycleBin;

/// What the command asks and tells; the window answers through message boxes, tests from a script.
class RecycleRestoreQuestions {
public:
    virtual ~RecycleRestoreQuestions() = default;
    /// "Restore this message / these messages?" (string `stringId`); true for Yes.
    virtual bool confirmRestore(int stringId) = 0;
    /// A message held only in part must be downloaded first (string 246); true for Yes.
    virtual bool confirmDownload(const std::string& sender, const std::string& subject) = 0;
    /// A message held only in part whose server copy is gone cannot be restored (string 252).
    virtual void cannotRestore(const std::string& sender, const std::string& subject) = 0;
    /// Tells that the messages were restored (string `stringId`).
    virtual void restored(int stringId) = 0;
    /// The download of a message begins and ends (the window shows the wait cursor).
    virtual void downloading(bool /*running*/) {}
};

/// What the command did, by file name (a downloaded message has a new name).
struct RecycleRestoreResult {
    std::vector<std::string> withdrawn;
    std::vector<std::string> restored;
    std::vector<std::string> refused; ///< gone from the server, or the download failed
    bool asked = false;               ///< the restore question was put
};

class RecycleRestore {
public:
    static constexpr int kStringRestoreOne = 141;
    static constexpr int kStringRestoreMany = 148;
    static constexpr int kStringRestoredOne = 145;
    static constexpr int kStringRestoredMany = 149;
    static constexpr int kStringDownloadFirst = 246;
    static constexpr int kStringDeletedFromServer = 252;

    /// Runs Restore for the rows `selected` (file names) of `bin`:
    /// - every selected row restored already: withdraws all of them without asking;
    /// - otherwise asks once; on Yes each unrestored row is restored when held whole, downloaded
    ///   and then restored on a second Yes when it is still on the server, refused otherwise;
    ///   the notice follows when at least one row was restored.
    /// Call without holding the store's lock (a download waits for running mail checks).
    static RecycleRestoreResult run(RecycleBin& bin, const std::vector<std::string>& selected,
                                    RecycleRestoreQuestions& questions);
};

} // namespace corvanthelix
