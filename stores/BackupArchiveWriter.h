#pragma once
// Writing a backup archive (the layout is described in stores/BackupArchive.h). The archive is
// written to a temporary file beside its destination and renamed over it only when complete, so
// a failed or interrupted export never leaves a half archive under the chosen name.
#include "base/UniqueFd.h"
#include "stores/BackupArchive.h"

#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

/// Why writing stopped (or Ok).
enum class ArchiveWriteOutcome {
    Ok = 0,
    CannotCreate,   ///< the temporary file beside the destination cannot be made
    CannotRead,     ///< a source file exists but cannot be read
    WriteError,     ///< writing, flushing or renaming failed
    TooLarge,       ///< the archive would pass the 4 GiB its 32-bit offsets can address
    BadName,        ///< an entry name that the reader would refuse
};

/// A short English description of `outcome`. Never null.
const char* describeArchiveWriteOutcome(ArchiveWriteOutcome outcome);

class BackupArchiveWriter {
public:
    BackupArchiveWriter() = default;
    /// Removes the temporary file unless commit() succeeded.
    ~BackupArchiveWriter();
    BackupArchiveWriter(const BackupArchiveWriter&) = delete;
    BackupArchiveWriter& operator=(const BackupArchiveWriter&) = delete;

    /// Starts an archive that commit() will put at `path`. Returns Ok or CannotCreate.
    ArchiveWriteOutcome begin(const std::string& path);
    /// Appends the content of the file `sourcePath` as an entry named after the part of the path
    /// after its last "/" or "\". A missing file gives an empty entry (an import skips it); a file
    /// that exists but cannot be read fails, so a backup never silently lacks data.
    ArchiveWriteOutcome addFile(const std::string& sourcePath);
    /// The same with the entry named `name` explicitly.
    ArchiveWriteOutcome addFile(const std::string& sourcePath, std::string_view name);
    /// Appends `data` as the entry `name`.
    ArchiveWriteOutcome addData(std::string_view name, std::string_view data);
    /// Writes the directory and the trailer, flushes and renames the archive to its path.
    ArchiveWriteOutcome commit();

    /// Number of entries added so far.
    size_t entryCount() const { return entries_.size(); }

private:
    ArchiveWriteOutcome append(std::string_view data);
    ArchiveWriteOutcome checkName(std::string_view name) const;

    std::string path_;
    std::string tempPath_;
    UniqueFd fd_;
    uint64_t position_ = 0;
    std::vector<ArchiveEntry> entries_;
    bool committed_ = false;
};

} // namespace corvanthelix
