#pragma once
#include "base/ProgramPaths.h"
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvanthelix {

class MailMessage;

/// Messages downloaded in a session whose mail client went away before QUIT, kept per account so
/// that the next check takes them from disk instead of downloading them again.
///
/// Folder: program folder + "cache/" + accountFileKey (see UidList.h) + "/". Each message is a
/// file "%x.eml" named by the CRC-32 of its UID ("%x%i.eml" with a counter 1, 2, ... when that
/// name is taken), holding the message byte for byte. The index "cache.corvanthelix.dat" begins
/// with the four bytes kIndexMark and is a sequence of records: a 32-bit little-endian length and
/// that many bytes of UID, the same for the file name, and the same for an 8-byte check (the
/// copy's size and its CRC-32, each 32-bit little-endian; empty for a record taken over from an
/// index without checks). An index without the mark, as older versions wrote it, holds records of
/// UID and file name only: their copies cannot be checked and are not used.
///
/// Not thread-safe: a cache belongs to one session or one mail check.
class MessageCache {
public:
    static constexpr const char* kFolder = ProgramPaths::kCacheFolderName;
    static constexpr const char* kIndexFileName = "cache.corvanthelix.dat";
    /// The first bytes of an index whose records carry a check.
    static constexpr std::string_view kIndexMark{"CVX\x02", 4};

    /// One record of the index.
    struct Record {
        std::string uid;
        std::string fileName;
        /// Size and CRC-32 of the copy as it was written; `checked` false for a record of an
        /// index without them.
        std::uint32_t size = 0;
        std::uint32_t crc = 0;
        bool checked = false;
    };

    /// Opens the cache of the account (user, server) in `programFolder`: creates "cache/" and the
    /// account folder when missing, and reads the index when there is one. A missing or damaged
    /// index gives an empty (or shortened) cache. Returns true when the account folder exists.
    bool open(const std::string& programFolder, std::string_view user, std::string_view server);

    /// Loads the message cached under `uid` (exact comparison) into `message`. Returns false when
    /// the UID is not cached or its file cannot be read or is empty; and when the copy's size or
    /// CRC-32 differs from its record (or the record has none): such a copy is deleted and its
    /// record dropped, so the message is downloaded again.
    bool get(std::string_view uid, MailMessage& message);

    /// Caches `message` under `uid`: nothing to do when the UID is cached already (true). Else
    /// picks a free file name, writes the message to it and adds it to the index in memory (call
    /// saveIndex() to keep it). Returns false, caching nothing, for an empty UID or message, when
    /// the cache is not open, or when the file cannot be written.
    bool add(const MailMessage& message, std::string_view uid);

    /// Rewrites the index file from memory, atomically. Returns false when it cannot be written.
    bool saveIndex() const;

    /// Deletes the account's cached messages (also files a lost index no longer lists), the index
    /// and the account folder, and empties the list. The cache stays open for add().
    void clear();

    /// Parses index bytes into (UID, file name) records, in file order. A record cut short ends
    /// the reading; a record whose file name is not a plain name in the folder is skipped.
    static std::vector<std::pair<std::string, std::string>> parseIndex(std::string_view bytes);
    /// The same records with their checks (see the class comment).
    static std::vector<Record> parseRecords(std::string_view bytes);

    /// The folder of the open account, with a trailing "/"; "" before open().
    const std::string& folder() const { return folder_; }
    /// Number of cached messages.
    std::size_t size() const { return records_.size(); }
    /// The file name (without folder) cached for `uid`; "" when none.
    std::string fileNameOf(std::string_view uid) const;

private:
    void drop(std::string_view uid);
    std::string pickFileName(std::string_view uid) const;
    bool nameTaken(const std::string& fileName) const;

    std::string folder_;
    std::vector<Record> records_;                          // in index order
    std::unordered_map<std::string, std::size_t> byUid_;   // UID -> position in records_
};

} // namespace corvanthelix
