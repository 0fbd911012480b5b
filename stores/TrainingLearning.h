#pragma once
// Learning from the marks of the training area window, without any window: each marked message
// is learned by the learning filter and the plug-ins and leaves the training area; a message
// learned as non-spam that the filters had put into the recycle bin may be restored there. The
// word lists are loaded once and saved once at the end.
#include <functional>
#include <string>
#include <vector>

namespace corvanthelix {

class RecycleBin;
class TrainingArea;

/// One marked row to learn.
struct TrainingLearnItem {
    std::string fileName;
    bool isSpam = false;
    std::string recycleFileName; ///< the recycle bin copy; empty when there is none
    std::string senderName;
    std::string subject;
};

/// What Learn asks and tells on the way. The calls come from the thread that runs the loop.
class TrainingLearnQuestions {
public:
    virtual ~TrainingLearnQuestions() = default;
    /// A message learned as non-spam is also in the recycle bin: restore it there? True for Yes.
    virtual bool confirmRestore(const std::string& sender, const std::string& subject) = 0;
    /// Its recycle bin copy is held only in part: download it first? True for Yes.
    virtual bool confirmDownload(const std::string& sender, const std::string& subject) = 0;
    /// The row `fileName` is done (learned and gone, or left because it could not be read);
    /// `done` rows of the loop are done so far.
    virtual void rowDone(const std::string& fileName, bool learned, int done) = 0;
};

/// What the loop did, by file name.
struct TrainingLearnResult {
    std::vector<std::string> learned;  ///< learned and removed from the training area
    std::vector<std::string> left;     ///< could not be read or was taken by someone else: still there
    std::vector<std::string> restored; ///< recycle bin names restored (a downloaded copy's new name)
};

class TrainingLearning {
public:
    /// Learns every item of `items` in order through `area` (TrainingArea::learnEntry inside one
    /// learn batch) and offers the restore of non-spam items whose recycle bin copy `bin` still
    /// contains (`bin` may be null: no restore is offered). A failed download counts as No. Call
    /// without holding the stores' locks; it may run on a worker thread.
    static TrainingLearnResult run(TrainingArea& area, RecycleBin* bin, const std::vector<TrainingLearnItem>& items,
                                   TrainingLearnQuestions& questions);
};

} // namespace corvanthelix
