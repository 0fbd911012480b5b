#pragma once
#include "base/UniqueFd.h"
#include "stores/XmlElement.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

/// An append-only log of changes to the entries of an index document, kept beside the index file
/// so that changing one entry costs one short appended line, flushed to disk, instead of a rewrite
/// of the whole index. The owner folds the log into the index from time to time: it writes the
/// index atomically and then discards the log.
///
/// The entries are the children named `childName` of the index root; each is identified by the
/// value of its `keyAttribute` (the recycle bin's "name"). One line of the log is one transaction,
/// written with a single write call:
///
///     <crc> P :n1 :v1 :n2 :v2 ... D :key ...\n
///
/// `<crc>` is eight lower-case hexadecimal digits of the CRC-32 of everything after the space that
/// follows it, up to the line feed. "P" puts an entry: its complete attribute list after the
/// change, so the entry with that key is created or has all its attributes replaced. "D" removes
/// the entry with that key. Every name, value and key is written as ":" + its Q-encoding, which
/// never holds a space, a colon or a line feed.
///
/// Records state results, not steps, so replaying a log onto an index that has already absorbed it
/// (a crash between writing the index and deleting the log) gives the same index again. A line
/// that is not complete or whose checksum fails ends the replay: it is the tail of a write that a
/// crash cut short, and nothing after it was ever reported as done.
///
/// Not thread-safe: the owning store serialises access.
class IndexJournal {
public:
    /// What a replay found.
    struct ReplayResult {
        int transactions = 0;   ///< lines applied
        bool damagedTail = false; ///< the file ends with a line that was not applied
    };

    /// A log at `path` (not opened until the first Append) for the children named `childName`
    /// keyed by `keyAttribute`.
    IndexJournal(std::string path, std::string childName, std::string keyAttribute);
    /// Closes the file; the log stays on disk.
    ~IndexJournal();
    IndexJournal(const IndexJournal&) = delete;
    IndexJournal& operator=(const IndexJournal&) = delete;

    const std::string& path() const { return path_; }

    /// The text of one transaction line (with its line feed) that puts every entry of `put` as it
    /// is now and then removes the entries keyed `removedKeys`. The elements are read, not kept.
    std::string encodeTransaction(const std::vector<const XmlElement*>& put,
                                  const std::vector<std::string>& removedKeys) const;

    /// Applies the log file to the children of `root`, line by line, up to the first line that is
    /// damaged or has no line feed. A missing file applies nothing.
    ReplayResult replay(XmlElement& root) const;

    /// Appends `line` (one EncodeTransaction result) and flushes it to disk; the file is created
    /// (0600) on first use and its folder flushed so that the new name is durable. Returns true
    /// once the line is on disk. On failure the file is cut back to its length before the call, so
    /// no later line can land behind half a line, and false is returned.
    bool append(std::string_view line);

    /// Bytes in the log file as this object knows them (0 before the first append after Discard).
    uint64_t size() const { return size_; }

    /// Closes and deletes the log file, once the index holds everything it recorded. Returns false
    /// when the file exists and cannot be deleted.
    bool discard();

private:
    bool openForAppend();

    std::string path_;
    std::string childName_;
    std::string keyAttribute_;
    UniqueFd fd_; // open for appending; none until the first Append
    uint64_t size_ = 0;
};

/// Flushes the directory entries of `folder` to disk (so that files created, renamed or deleted in
/// it survive a crash). Returns false when the folder cannot be opened or flushed.
bool syncFolder(const std::string& folder);

} // namespace corvanthelix
