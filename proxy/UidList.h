#pragma once
#include "base/ProgramPaths.h"
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvanthelix {

/// The account part of the cache and UID-list file names: "%x@%x" of the CRC-32 of the user name
/// and of the server name (lower-case hexadecimal, no leading zeros).
std::string accountFileKey(std::string_view user, std::string_view server);

/// The UIDs an account's server held at the last completed check, so that the next check
/// downloads and filters only new messages.
///
/// File: program folder + "uid/" + accountFileKey + ".corvanthelix.uidlist": the number of UIDs
/// and the length of the longest one (each 32-bit little-endian), then every UID followed by a
/// line feed. Reading also accepts "\r\n" line ends (lists built from the old "uniqueid.xml").
///
/// In memory every UID is held once with a present flag: load() clears the flags, markPresent()
/// sets them during a check, save() keeps only the present ones. Not thread-safe: the list belongs
/// to one client session.
class UidList {
public:
    static constexpr const char* kFolder = ProgramPaths::kUidFolderName;
    static constexpr const char* kExtension = ".corvanthelix.uidlist";
    /// The global UID list of older versions, read once per account to seed its own list.
    static constexpr const char* kOldGlobalFile = "uniqueid.xml";

    /// Full path of the account's file in `programFolder`.
    static std::string filePath(const std::string& programFolder, std::string_view server,
                                std::string_view user);

    /// Replaces the list with the account's file. Creates "uid/" when missing. When the account
    /// has no file yet, first writes one from the old "uniqueid.xml" (when that exists), so every
    /// UID listed there counts as known. An unreadable or malformed file gives an empty list
    /// (every message then counts as new). Returns true when a file was read.
    bool load(const std::string& programFolder, std::string_view server, std::string_view user);

    /// True when `uid` is in the list (exact, case-sensitive). A null UID is never contained.
    bool contains(const char* uid) const;
    bool contains(std::string_view uid) const;

    /// Sets the present flag of `uid`, adding it at the end when new. A null UID is ignored.
    void markPresent(const char* uid);
    void markPresent(std::string_view uid);

    /// Writes the account's file with the present UIDs only, replacing it atomically; the list
    /// stays as it is. A UID holding a line break cannot be stored and is left out. Returns false
    /// when the folder or the file cannot be written (the old file then stays).
    bool save(const std::string& programFolder, std::string_view server, std::string_view user) const;

    /// The file's bytes for the present UIDs (what save() writes).
    std::string serialize() const;
    /// Replaces the list with the UIDs of a file's bytes (flags clear). False when `bytes` holds
    /// no list (too short, or a count or a maximum length of 0).
    bool parse(std::string_view bytes);

    /// Empties the list.
    void clear();
    bool empty() const { return entries_.empty(); }
    /// Number of UIDs held (present or not).
    std::size_t size() const { return entries_.size(); }
    /// Number of UIDs with the present flag.
    std::size_t presentCount() const;

private:
    struct Entry {
        std::string uid;
        bool present = false;
    };
    void add(std::string_view uid, bool present);
    static bool writeFromOldGlobalFile(const std::string& programFolder, const std::string& path);

    std::vector<Entry> entries_;                         // in file order, then in order of arrival
    std::unordered_map<std::string, std::size_t> index_; // UID -> position in entries_
};

} // namespace corvanthelix
