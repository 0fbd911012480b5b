#include "stores/Backup.h"

#include "base/AtomicFile.h"
#include "base/UniqueFd.h"
#include "stores/BackupArchive.h"
#include "stores/BackupArchiveWriter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace corvanthelix {

namespace fs = std::filesystem;

namespace {
constexpr const char* kRecycleFolder = "recycle";
constexpr const char* kTrainingFolder = "training";
constexpr const char* kRecycleIndex = "recyclebin.xml";
constexpr const char* kTrainingIndex = "training.xml";

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    text = text.substr(text.size() - suffix.size());
    return std::equal(text.begin(), text.end(), suffix.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

bool equalNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && endsWithNoCase(a, b); }

void report(const Backup::Options& options, int percent) {
    if (options.progress) options.progress(percent);
}

BackupResult failure(BackupOutcome outcome, std::string reason) {
    BackupResult result;
    result.outcome = outcome;
    result.reason = std::move(reason);
    return result;
}

/// Regular files of `folder` whose names end in `suffix`, sorted by name (missing folder: none).
std::vector<std::string> filesEndingIn(const std::string& folder, std::string_view suffix) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(error) && endsWithNoCase(name, suffix)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

/// Creates a fresh private folder `pattern` (ending in XXXXXX); empty on failure.
std::string makeTempFolder(std::string pattern) {
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

/// Removes a folder made by us and everything in it, on every way out.
class FolderRemover {
public:
    explicit FolderRemover(std::string folder) : folder_(std::move(folder)) {}
    ~FolderRemover() {
        std::error_code ignored;
        if (!folder_.empty()) fs::remove_all(folder_, ignored);
    }
    FolderRemover(const FolderRemover&) = delete;
    FolderRemover& operator=(const FolderRemover&) = delete;

private:
    std::string folder_;
};

/// Builds an inner archive at `archivePath` of the files `names` of `folder` and then `index`.
ArchiveWriteOutcome writeInnerArchive(const std::string& archivePath, const std::string& folder,
                                      const std::vector<std::string>& names, const std::string& index,
                                      const Backup::Options& options) {
    BackupArchiveWriter inner;
    if (ArchiveWriteOutcome begun = inner.begin(archivePath); begun != ArchiveWriteOutcome::Ok) return begun;
    const size_t steps = names.size() + 1;
    for (size_t i = 0; i < names.size(); ++i) {
        if (ArchiveWriteOutcome added = inner.addFile(folder + "/" + names[i]); added != ArchiveWriteOutcome::Ok)
            return added;
        report(options, static_cast<int>((i + 1) * 100 / steps));
    }
    if (ArchiveWriteOutcome added = inner.addFile(folder + "/" + index); added != ArchiveWriteOutcome::Ok)
        return added;
    return inner.commit();
}

// --- Import -----------------------------------------------------------------------------------

/// One file or folder that the import puts in place: `staged` replaces `target`.
struct Replacement {
    std::string staged;
    std::string target;
    std::string label;
    bool swapped = false;
    bool targetExisted = false;
    bool movedAside = false;
};

/// Puts `staged` at `target`. When the target exists the two are exchanged in one step, so the
/// old data sits at `staged` until the import is over and can be put back. A file system without
/// the exchange gets two renames: the old data moves aside first, then the new one in.
bool swapIn(Replacement& step) {
    const size_t slash = step.target.rfind('/');
    if (slash != std::string::npos && !ensureFolder(step.target.substr(0, slash))) return false;
    struct stat st {};
    step.targetExisted = ::lstat(step.target.c_str(), &st) == 0;
    if (!step.targetExisted) {
        if (::rename(step.staged.c_str(), step.target.c_str()) != 0) return false;
    } else if (::renameat2(AT_FDCWD, step.staged.c_str(), AT_FDCWD, step.target.c_str(), RENAME_EXCHANGE) != 0) {
        if (errno != EINVAL && errno != ENOSYS) return false;
        const std::string aside = step.staged + ".old";
        if (::rename(step.target.c_str(), aside.c_str()) != 0) return false;
        if (::rename(step.staged.c_str(), step.target.c_str()) != 0) {
            ::rename(aside.c_str(), step.target.c_str());
            return false;
        }
        step.movedAside = true;
    }
    step.swapped = true;
    return true;
}

void swapBack(Replacement& step) {
    if (!step.swapped) return;
    if (!step.targetExisted) {
        ::rename(step.target.c_str(), step.staged.c_str());
    } else if (step.movedAside) {
        ::rename(step.target.c_str(), step.staged.c_str());
        ::rename((step.staged + ".old").c_str(), step.target.c_str());
    } else {
        ::renameat2(AT_FDCWD, step.staged.c_str(), AT_FDCWD, step.target.c_str(), RENAME_EXCHANGE);
    }
    step.swapped = false;
}

void syncFolder(const std::string& folder) {
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) ::fsync(fd.get());
}

bool copyFile(const std::string& from, const std::string& to) {
    std::string data;
    if (!readWholeFile(from, data)) return false;
    UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    bool ok = out.valid() && writeAll(out.get(), data) && ::fsync(out.get()) == 0;
    return out.reset() && ok;
}

/// Extracts entry `index` of `archive` to `path`, replacing a file staged there before.
bool stageEntry(const BackupArchive& archive, size_t index, const std::string& path) {
    ::unlink(path.c_str());
    return archive.extractTo(index, path);
}

class ImportRun {
public:
    ImportRun(const BackupParts& parts, const Backup::Options& options) : parts_(parts), options_(options) {}

    BackupResult run(const std::string& path) {
        BackupArchive archive;
        if (ArchiveOutcome opened = archive.open(path); opened != ArchiveOutcome::Ok)
            return failure(BackupOutcome::DamagedArchive, path + ": " + describeArchiveOutcome(opened));
        if (BackupResult checked = checkInner(archive); !checked.ok()) return checked;

        staging_ = makeTempFolder(options_.programFolder + "/.import-XXXXXX");
        if (staging_.empty())
            return failure(BackupOutcome::CannotStage, "cannot create a staging folder in " + options_.programFolder);
        FolderRemover remover(staging_);
        if (BackupResult staged = stage(archive); !staged.ok()) return staged;
        if (replacements_.empty()) return BackupResult{};

        if (options_.beforeReplace) options_.beforeReplace();
        return replace();
    }

private:
    /// Every inner archive the import will use is opened (and so checked) before anything else.
    BackupResult checkInner(const BackupArchive& archive) {
        for (size_t i = 0; i < archive.entries().size(); ++i) {
            const ArchiveEntry& entry = archive.entries()[i];
            const bool inner = (parts_.recycleBin && equalNoCase(entry.name, Backup::kRecycleEntry)) ||
                               (parts_.training && equalNoCase(entry.name, Backup::kTrainingEntry));
            if (!inner || entry.size == 0) continue;
            BackupArchive innerArchive;
            if (ArchiveOutcome opened = innerArchive.openEntry(archive, i); opened != ArchiveOutcome::Ok)
                return failure(BackupOutcome::DamagedArchive,
                               entry.name + ": " + describeArchiveOutcome(ArchiveOutcome::NotAnArchive) + " (" +
                                   describeArchiveOutcome(opened) + ")");
        }
        return BackupResult{};
    }

    BackupResult stageFailure(const std::string& what) {
        return failure(BackupOutcome::CannotStage, "cannot stage " + what + ": " + std::strerror(errno));
    }

    void plan(const std::string& staged, const std::string& target, const std::string& label) {
        for (Replacement& step : replacements_)
            if (step.target == target) return; // a later entry of the same name was staged over it
        replacements_.push_back(Replacement{staged, target, label});
    }

    BackupResult stage(const BackupArchive& archive) {
        const std::string& home = options_.programFolder;
        for (size_t i = 0; i < archive.entries().size(); ++i) {
            const ArchiveEntry& entry = archive.entries()[i];
            // An empty entry stands for a file that was missing at export: nothing to restore.
            if (entry.size == 0) continue;
            const std::string& name = entry.name;
            if (parts_.ini && equalNoCase(name, Backup::kSettingsEntry)) {
                if (!stageEntry(archive, i, staging_ + "/" + Backup::kSettingsEntry)) return stageFailure(name);
                plan(staging_ + "/" + Backup::kSettingsEntry, home + "/" + Backup::kSettingsEntry, Backup::kSettingsEntry);
            } else if (parts_.spamWords && equalNoCase(name, Backup::kSpamWordsEntry)) {
                if (!stageEntry(archive, i, staging_ + "/" + Backup::kSpamWordsEntry)) return stageFailure(name);
                plan(staging_ + "/" + Backup::kSpamWordsEntry, home + "/" + Backup::kSpamWordsEntry, Backup::kSpamWordsEntry);
            } else if (parts_.recycleBin && equalNoCase(name, Backup::kRecycleEntry)) {
                if (BackupResult staged = stageFolder(archive, i, kRecycleFolder, false); !staged.ok()) return staged;
            } else if (parts_.training && equalNoCase(name, Backup::kTrainingEntry)) {
                if (BackupResult staged = stageFolder(archive, i, kTrainingFolder, true); !staged.ok()) return staged;
            } else if (parts_.memory &&
                       (equalNoCase(name, Backup::kGoodWordsEntry) || equalNoCase(name, Backup::kBadWordsEntry))) {
                const std::string canonical =
                    equalNoCase(name, Backup::kGoodWordsEntry) ? Backup::kGoodWordsEntry : Backup::kBadWordsEntry;
                if (BackupResult staged = stageWordList(archive, i, canonical); !staged.ok()) return staged;
            }
            report(options_, 100);
        }
        // A word list met before the training area's entry was planned for the old training
        // folder; it belongs into the staged one, which replaces that folder whole.
        if (!trainingStaged_.empty()) {
            const std::string trainingTarget = home + "/" + kTrainingFolder + "/";
            for (auto step = replacements_.begin(); step != replacements_.end();) {
                if (step->target.rfind(trainingTarget, 0) != 0) {
                    ++step;
                    continue;
                }
                const std::string moved = trainingStaged_ + "/" + step->target.substr(trainingTarget.size());
                if (::rename(step->staged.c_str(), moved.c_str()) != 0) return stageFailure(step->label);
                step = replacements_.erase(step);
            }
        }
        return BackupResult{};
    }

    /// The recycle or training folder rebuilt in the staging folder from inner archive `index`.
    BackupResult stageFolder(const BackupArchive& archive, size_t index, const std::string& folderName, bool training) {
        const std::string staged = staging_ + "/" + folderName;
        if (::mkdir(staged.c_str(), 0700) != 0) return stageFailure(folderName);
        BackupArchive inner;
        if (inner.openEntry(archive, index) != ArchiveOutcome::Ok)
            return failure(BackupOutcome::DamagedArchive, archive.entries()[index].name + ": inner archive damaged");
        if (training) {
            // The training folder also holds the learning filter's word lists: they stay unless
            // the memory is imported as well.
            const std::string current = options_.programFolder + "/" + folderName;
            std::error_code error;
            for (fs::directory_iterator it(current, error), end; !error && it != end; it.increment(error)) {
                const std::string name = it->path().filename().string();
                if (!it->is_regular_file(error) || endsWithNoCase(name, ".xml") || endsWithNoCase(name, ".eml")) continue;
                if (!copyFile(current + "/" + name, staged + "/" + name)) return stageFailure(folderName + "/" + name);
            }
        }
        const size_t count = inner.entries().size();
        for (size_t i = 0; i < count; ++i) {
            const ArchiveEntry& entry = inner.entries()[i];
            const bool wordList = equalNoCase(entry.name, Backup::kGoodWordsEntry) || equalNoCase(entry.name, Backup::kBadWordsEntry);
            if (entry.size == 0 || (training && wordList && !parts_.memory)) continue;
            // The names the stores look for are spelled as they expect them on a file system that
            // tells case apart.
            std::string name = entry.name;
            for (const char* known : {Backup::kGoodWordsEntry, Backup::kBadWordsEntry, kRecycleIndex, kTrainingIndex})
                if (equalNoCase(name, known)) name = known;
            if (!stageEntry(inner, i, staged + "/" + name)) return stageFailure(folderName + "/" + name);
            report(options_, static_cast<int>((i + 1) * 100 / count));
        }
        plan(staged, options_.programFolder + "/" + folderName, folderName + "/");
        if (training) trainingStaged_ = staged;
        return BackupResult{};
    }

    /// A word list goes into the staged training folder when there is one, else it replaces the
    /// file in the training folder by itself.
    BackupResult stageWordList(const BackupArchive& archive, size_t index, const std::string& name) {
        if (!trainingStaged_.empty()) {
            if (!stageEntry(archive, index, trainingStaged_ + "/" + name)) return stageFailure(name);
            return BackupResult{};
        }
        const std::string staged = staging_ + "/" + name;
        if (!stageEntry(archive, index, staged)) return stageFailure(name);
        const std::string folder = options_.programFolder + "/" + kTrainingFolder;
        plan(staged, folder + "/" + name, std::string(kTrainingFolder) + "/" + name);
        return BackupResult{};
    }

    BackupResult replace() {
        BackupResult result;
        for (Replacement& step : replacements_) {
            if (!swapIn(step)) {
                const std::string reason = "cannot replace " + step.target + ": " + std::strerror(errno);
                for (auto back = replacements_.rbegin(); back != replacements_.rend(); ++back) swapBack(*back);
                return failure(BackupOutcome::CannotReplace, reason);
            }
            result.replaced.push_back(step.label);
        }
        syncFolder(options_.programFolder);
        return result;
    }

    const BackupParts& parts_;
    const Backup::Options& options_;
    std::string staging_;
    std::string trainingStaged_;
    std::vector<Replacement> replacements_;
};
} // namespace

BackupResult Backup::exportTo(const std::string& path, const BackupParts& parts, const Options& options) {
    const std::string& home = options.programFolder;
    BackupArchiveWriter archive;
    auto check = [](ArchiveWriteOutcome outcome, const std::string& what) {
        return outcome == ArchiveWriteOutcome::Ok
                   ? BackupResult{}
                   : failure(BackupOutcome::CannotWrite, what + ": " + describeArchiveWriteOutcome(outcome));
    };
    if (BackupResult begun = check(archive.begin(path), path); !begun.ok()) return begun;

    std::string tempFolder;
    if (parts.recycleBin || parts.training) {
        std::string base = options.tempFolder;
        if (base.empty()) base = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
        tempFolder = makeTempFolder(base + "/corvanthelix-backup-XXXXXX");
        if (tempFolder.empty()) return failure(BackupOutcome::CannotWrite, "cannot create a folder in " + base);
    }
    FolderRemover remover(tempFolder);

    if (parts.ini) {
        report(options, 0);
        if (BackupResult added = check(archive.addFile(home + "/" + kSettingsEntry, kSettingsEntry), kSettingsEntry); !added.ok())
            return added;
        report(options, 100);
    }
    if (parts.spamWords) {
        report(options, 0);
        if (BackupResult added = check(archive.addFile(home + "/" + kSpamWordsEntry, kSpamWordsEntry), kSpamWordsEntry); !added.ok())
            return added;
        report(options, 100);
    }
    struct Inner {
        bool wanted;
        const char* folder;
        const char* suffix;
        const char* index;
        const char* entry;
    };
    const Inner inners[] = {{parts.recycleBin, kRecycleFolder, ".recycle", kRecycleIndex, kRecycleEntry},
                            {parts.training, kTrainingFolder, ".eml", kTrainingIndex, kTrainingEntry}};
    for (const Inner& inner : inners) {
        if (!inner.wanted) continue;
        report(options, 0);
        if (inner.folder == std::string_view(kRecycleFolder) && options.beforeRecycleRead) options.beforeRecycleRead();
        const std::string folder = home + "/" + inner.folder;
        const std::string innerPath = tempFolder + "/" + inner.entry;
        if (BackupResult built = check(writeInnerArchive(innerPath, folder, filesEndingIn(folder, inner.suffix), inner.index, options), inner.entry);
            !built.ok())
            return built;
        if (BackupResult added = check(archive.addFile(innerPath, inner.entry), inner.entry); !added.ok()) return added;
        report(options, 100);
    }
    if (parts.memory) {
        for (const char* list : {kGoodWordsEntry, kBadWordsEntry}) {
            report(options, 0);
            if (BackupResult added = check(archive.addFile(home + "/" + kTrainingFolder + "/" + list, list), list); !added.ok())
                return added;
            report(options, 100);
        }
    }
    return check(archive.commit(), path);
}

BackupResult Backup::importFrom(const std::string& path, const BackupParts& parts, const Options& options) {
    return ImportRun(parts, options).run(path);
}

std::optional<BackupParts> Backup::parseParts(std::string_view list) {
    BackupParts parts{false, false, false, false, false};
    bool any = false;
    while (!list.empty()) {
        const size_t comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        if (equalNoCase(name, "ini")) parts.ini = true;
        else if (equalNoCase(name, "spamwords")) parts.spamWords = true;
        else if (equalNoCase(name, "memory")) parts.memory = true;
        else if (equalNoCase(name, "recycle")) parts.recycleBin = true;
        else if (equalNoCase(name, "training")) parts.training = true;
        else return std::nullopt;
        any = true;
    }
    if (!any) return std::nullopt;
    return parts;
}

} // namespace corvanthelix
