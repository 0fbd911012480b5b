#include "stores/RecycleRestore.h"

#include "stores/RecycleBin.h"

#include <algorithm>

namespace corvanthelix {

namespace {

bool isRestored(RecycleBin& bin, const std::string& name) {
    for (const RecycleEntry& entry : bin.entries())
        if (entry.name == name) return entry.restored && !entry.deleted;
    return false;
}

} // namespace

RecycleRestoreResult RecycleRestore::run(RecycleBin& bin, const std::vector<std::string>& selected,
                                         RecycleRestoreQuestions& questions) {
    RecycleRestoreResult result;
    if (selected.empty()) return result;
    std::vector<bool> restored;
    restored.reserve(selected.size());
    for (const std::string& name : selected) restored.push_back(isRestored(bin, name));

    if (std::all_of(restored.begin(), restored.end(), [](bool r) { return r; })) {
        for (const std::string& name : selected)
            if (bin.withdrawRestore(name)) result.withdrawn.push_back(name);
        return result;
    }

    const bool many = selected.size() >= 2;
    result.asked = true;
    if (!questions.confirmRestore(many ? kStringRestoreMany : kStringRestoreOne)) return result;

    for (size_t i = 0; i < selected.size(); ++i) {
        if (restored[i]) continue;
        const std::string& name = selected[i];
        if (!bin.contains(name)) continue; // removed by a mail check meanwhile
        if (bin.isComplete(name)) {
            if (bin.restore(name)) result.restored.push_back(name);
            else result.refused.push_back(name);
            continue;
        }
        const RecycleSenderAndSubject texts = bin.getSenderAndSubject(name).value_or(RecycleSenderAndSubject{});
        if (!bin.isOnServer(name)) {
            questions.cannotRestore(texts.senderName, texts.subject);
            result.refused.push_back(name);
            continue;
        }
        if (!questions.confirmDownload(texts.senderName, texts.subject)) continue;
        questions.downloading(true);
        std::string newName;
        const bool downloaded = bin.downloadComplete(name, &newName);
        questions.downloading(false);
        if (downloaded && bin.restore(newName)) result.restored.push_back(newName);
        else result.refused.push_back(name);
    }
    if (!result.restored.empty()) questions.restored(many ? kStringRestoredMany : kStringRestoredOne);
    return result;
}

} // namespace corvanthelix
