#pragma once
// Export and import of the user's data as one backup archive: the settings file, the user's spam
// words, the learning filter's memory, and the recycle bin and the training area (each packed as
// an archive of its own inside the backup).
//
// An import never destroys what it replaces before it has the replacement: it checks the whole
// archive (and the inner archives it will use), extracts everything into a staging folder inside
// the program folder, and only then swaps each store folder and file into place by a rename. Any
// failure before or during the swap leaves the user's data as it was.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

/// Which parts a backup holds or an import replaces.
struct BackupParts {
    bool ini = true;         ///< the settings file (friends, blocked senders, statistics too)
    bool spamWords = true;   ///< the user's spam word table
    bool memory = false;     ///< the learning filter's two word lists
    bool recycleBin = false; ///< every message of the recycle bin and its index
    bool training = false;   ///< every message of the training area and its index

    bool operator==(const BackupParts&) const = default;
};

/// How an export or import ended.
enum class BackupOutcome {
    Ok = 0,
    Declined,        ///< the person said no before anything was read
    DamagedArchive,  ///< the archive (or an inner archive) was refused; nothing was changed
    CannotStage,     ///< the staging folder or a file in it could not be written; nothing changed
    CannotReplace,   ///< swapping the staged data in failed; what was swapped was put back
    CannotWrite,     ///< the export could not read a source or write the archive
};

struct BackupResult {
    BackupOutcome outcome = BackupOutcome::Ok;
    /// Why it failed, in English, for standard error; empty on success.
    std::string reason;
    /// What the import replaced, relative to the program folder ("corvanthelix.ini", "recycle/").
    std::vector<std::string> replaced;

    bool ok() const { return outcome == BackupOutcome::Ok; }
};

class Backup {
public:
    static constexpr const char* kSettingsEntry = "corvanthelix.ini";
    static constexpr const char* kSpamWordsEntry = "spampoints_user.ini";
    static constexpr const char* kRecycleEntry = "recycle.corvanthelix.backup";
    static constexpr const char* kTrainingEntry = "training.corvanthelix.backup";
    static constexpr const char* kGoodWordsEntry = "good.corvanthelix.wordlist";
    static constexpr const char* kBadWordsEntry = "bad.corvanthelix.wordlist";
    static constexpr const char* kFileExtension = "corvanthelix.backup";

    struct Options {
        /// The program folder whose data is exported or replaced (no trailing separator).
        std::string programFolder;
        /// Folder for the inner archives built during an export; empty: TMPDIR or /tmp.
        std::string tempFolder;
        /// Called with 0..100 as each step (one part, or one inner entry) proceeds; may be empty.
        std::function<void(int percent)> progress;
        /// Export: called before the recycle folder is read, so that the bin can fold its journal
        /// into its index. May be empty.
        std::function<void()> beforeRecycleRead;
        /// Import: called once everything is staged, right before the first swap, so that the
        /// running program can let go of the stores it holds in memory. May be empty.
        std::function<void()> beforeReplace;
    };

    /// Writes the parts `parts` of `options.programFolder` to the archive `path`, in the order
    /// settings, spam words, recycle bin, training area, memory. The archive appears under `path`
    /// only when complete. Returns Ok or CannotWrite with the reason.
    static BackupResult exportTo(const std::string& path, const BackupParts& parts, const Options& options);

    /// Replaces the parts `parts` of `options.programFolder` with the archive's entries of those
    /// parts (names compared without regard to case; parts the archive lacks, and empty entries,
    /// leave the current data). The recycle folder is replaced whole; the training folder keeps its
    /// word lists unless the memory is imported too. Returns Ok with the list of what was replaced,
    /// or the failure with its reason; on failure the user's data is unchanged.
    static BackupResult importFrom(const std::string& path, const BackupParts& parts, const Options& options);

    /// Parses a comma-separated list of "ini", "spamwords", "memory", "recycle", "training" (any
    /// case). Returns nullopt for an empty list or an unknown name.
    static std::optional<BackupParts> parseParts(std::string_view list);
};

} // namespace corvanthelix
