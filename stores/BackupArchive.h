#pragma once
// Reading the program's backup archives: a plain concatenation of whole files followed by a
// directory and a 4-byte trailer that gives the directory's offset. All integers are 32-bit little
// endian; there is no compression and no checksum.
//
//     data of entry 0 | data of entry 1 | ... | directory | directory offset
//     directory = version (1) | count n | n x (name length L | L name bytes | offset | size)
//
// The file comes from wherever the user kept it, so nothing in it is trusted: opening an archive
// checks the whole directory against the file before any entry is used (see open()).
#include "base/UniqueFd.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

/// Why an archive was refused (or Ok).
enum class ArchiveOutcome {
    Ok = 0,
    CannotOpen,        ///< the file cannot be opened or is not a regular file
    ReadError,         ///< reading failed part way
    TooShort,          ///< smaller than an empty archive, or larger than 32-bit offsets reach
    BadDirectoryOffset,///< the trailer points outside the file
    BadVersion,        ///< the directory's version is not 1
    BadCount,          ///< more entries than the directory's bytes can hold
    BadName,           ///< an empty or too long name, or one that could leave its folder
    DuplicateName,     ///< two entries with the same name (compared without regard to case)
    BadEntryRange,     ///< an entry's data does not lie inside the data area
    TrailingBytes,     ///< bytes between the directory's end and the trailer
    NotAnArchive,      ///< an inner entry expected to be an archive is none (see the reason)
};

/// A short English description of `outcome` for logs and standard error. Never null.
const char* describeArchiveOutcome(ArchiveOutcome outcome);

/// One directory entry: the file name and where its bytes lie in the archive.
struct ArchiveEntry {
    std::string name;
    uint32_t offset = 0;
    uint32_t size = 0;
};

/// An opened and checked archive: a file, a part of a file (an archive stored as an entry of
/// another) or a block of memory, and its directory. Copies share the open file.
class BackupArchive {
public:
    /// Longest entry name accepted; file names on the systems we run on are at most 255 bytes.
    static constexpr uint32_t kMaxNameLength = 255;
    /// Size of the smallest archive: an empty directory (version, count) and the trailer.
    static constexpr uint64_t kEmptyArchiveSize = 12;

    /// Opens `path` and checks it: the trailer's offset leaves room for the directory, the version
    /// is 1, the count fits into the directory's bytes (so no count makes us allocate more than
    /// the file holds), every name is 1..255 bytes without "/", "\", NUL or "..", no two names are
    /// equal without regard to case, every entry lies inside the data area before the directory,
    /// and the directory ends exactly at the trailer. Returns Ok and fills the directory, or the
    /// first fault found (the archive is then empty).
    ArchiveOutcome open(const std::string& path);
    /// The same checks on an archive held in memory; `data` must outlive this object.
    ArchiveOutcome openMemory(std::string_view data);
    /// The same checks on entry `index` of `outer`, read as an archive of its own.
    ArchiveOutcome openEntry(const BackupArchive& outer, size_t index);

    const std::vector<ArchiveEntry>& entries() const { return entries_; }
    /// Index of the entry named `name` compared without regard to ASCII case, or nullopt.
    std::optional<size_t> find(std::string_view name) const;

    /// Reads the whole entry `index` into `out`. False on a read error (out cleared).
    bool readEntry(size_t index, std::string& out) const;
    /// Writes entry `index` to a new file `path` (mode 0600, must not exist yet), copying in
    /// 64 KiB blocks, and flushes it to disk. False on any failure; a partial file is removed.
    bool extractTo(size_t index, const std::string& path) const;

    /// True when `name` can be used as a file name in a folder of ours: 1..255 bytes, no "/",
    /// "\", NUL, and no "..".
    static bool isSafeName(std::string_view name);

private:
    ArchiveOutcome readDirectory();
    bool readAt(uint64_t offset, size_t length, char* out) const;
    void clear();

    std::shared_ptr<UniqueFd> file_;
    std::string_view memory_;
    uint64_t base_ = 0;
    uint64_t size_ = 0;
    std::vector<ArchiveEntry> entries_;
};

} // namespace corvanthelix
