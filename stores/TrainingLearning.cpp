#include "stores/TrainingLearning.h"

#include "stores/RecycleBin.h"
#include "stores/TrainingArea.h"

namespace corvanthelix {

namespace {

// Restores the recycle bin copy of a message learned as non-spam when the person wants it; a copy
// held only in part is downloaded first. Returns the restored name, or "" when nothing was restored.
// Whether the bin still lists `name`: an entry the person deleted stays in the index, marked, until
// the index is rebuilt, and has no file any more to hand to the mail client.
bool listedInBin(RecycleBin& bin, const std::string& name) {
    if (!bin.contains(name)) return false;
    for (const RecycleEntry& entry : bin.entries())
        if (entry.name == name) return !entry.deleted;
    return false;
}

std::string offerRestore(RecycleBin& bin, const TrainingLearnItem& item, TrainingLearnQuestions& questions) {
    if (!listedInBin(bin, item.recycleFileName)) return {};
    if (!questions.confirmRestore(item.senderName, item.subject)) return {};
    std::string name = item.recycleFileName;
    if (!bin.isComplete(name)) {
        if (!questions.confirmDownload(item.senderName, item.subject)) return {};
        std::string newName;
        if (!bin.downloadComplete(name, &newName) || newName.empty()) return {};
        name = newName;
    }
    return bin.restore(name) ? name : std::string();
}

} // namespace

TrainingLearnResult TrainingLearning::run(TrainingArea& area, RecycleBin* bin, const std::vector<TrainingLearnItem>& items,
                                          TrainingLearnQuestions& questions) {
    TrainingLearnResult result;
    if (items.empty()) return result;
    TrainingArea::LearnBatch batch;
    int done = 0;
    for (const TrainingLearnItem& item : items) {
        const bool learned = area.learnEntry(item.fileName, item.isSpam);
        (learned ? result.learned : result.left).push_back(item.fileName);
        // Only a message that was learned as non-spam is offered back: one left behind may be
        // learned again later.
        if (learned && !item.isSpam && bin && !item.recycleFileName.empty()) {
            const std::string restored = offerRestore(*bin, item, questions);
            if (!restored.empty()) result.restored.push_back(restored);
        }
        questions.rowDone(item.fileName, learned, ++done);
    }
    return result;
}

} // namespace corvanthelix
