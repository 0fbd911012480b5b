#include "proxy/MessageCache.h"

#include "base/AtomicFile.h"
#include "base/Crc32.h"
#include "upstream/MailMessage.h"
#include "proxy/UidList.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace corvanthelix {

namespace {

void appendLittleEndian32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool readLittleEndian32(std::string_view bytes, std::size_t& position, std::uint32_t& value) {
    if (bytes.size() - position < 4) return false;
    value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[position + i])) << (8 * i);
    position += 4;
    return true;
}

bool readField(std::string_view bytes, std::size_t& position, std::string& field) {
    std::uint32_t length = 0;
    if (!readLittleEndian32(bytes, position, length) || bytes.size() - position < length) return false;
    field.assign(bytes.substr(position, length));
    position += length;
    return true;
}

// The index names files inside the account folder only; anything else would let a damaged or
// planted index reach files elsewhere.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

bool MessageCache::open(const std::string& programFolder, std::string_view user, std::string_view server) {
    folder_ = programFolder + "/" + kFolder + "/" + accountFileKey(user, server) + "/";
    records_.clear();
    byUid_.clear();
    bool made = ensureFolder(folder_.substr(0, folder_.size() - 1));
    std::string bytes;
    if (readWholeFile(folder_ + kIndexFileName, bytes)) {
        for (Record& record : parseRecords(bytes)) {
            if (byUid_.count(record.uid) != 0) continue;
            byUid_.emplace(record.uid, records_.size());
            records_.push_back(std::move(record));
        }
    }
    return made;
}

std::vector<std::pair<std::string, std::string>> MessageCache::parseIndex(std::string_view bytes) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (Record& record : parseRecords(bytes)) pairs.emplace_back(std::move(record.uid), std::move(record.fileName));
    return pairs;
}

std::vector<MessageCache::Record> MessageCache::parseRecords(std::string_view bytes) {
    std::vector<Record> records;
    const bool checked = bytes.substr(0, kIndexMark.size()) == kIndexMark;
    std::size_t position = checked ? kIndexMark.size() : 0;
    while (position < bytes.size()) {
        Record record;
        if (!readField(bytes, position, record.uid) || !readField(bytes, position, record.fileName)) break;
        if (checked) {
            std::string check;
            std::size_t at = 0;
            if (!readField(bytes, position, check)) break;
            // An empty check stands for a record taken over from an index without checks.
            record.checked = check.size() == 8;
            if (record.checked) {
                readLittleEndian32(check, at, record.size);
                readLittleEndian32(check, at, record.crc);
            }
        }
        if (isPlainFileName(record.fileName)) records.push_back(std::move(record));
    }
    return records;
}

bool MessageCache::get(std::string_view uid, MailMessage& message) {
    auto it = byUid_.find(std::string(uid));
    if (it == byUid_.end()) return false;
    const Record& record = records_[it->second];
    if (message.loadFile(folder_ + record.fileName) != 0) return false;
    if (message.size() == 0) return false;
    // A copy cut short or changed on disk must not reach the mail client in place of the good
    // copy on the server.
    if (!record.checked || message.size() != record.size || crc32(message.source()) != record.crc) {
        drop(uid);
        return false;
    }
    return true;
}

void MessageCache::drop(std::string_view uid) {
    auto it = byUid_.find(std::string(uid));
    if (it == byUid_.end()) return;
    const std::size_t position = it->second;
    ::unlink((folder_ + records_[position].fileName).c_str());
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(position));
    byUid_.clear();
    for (std::size_t i = 0; i < records_.size(); ++i) byUid_.emplace(records_[i].uid, i);
}

std::string MessageCache::fileNameOf(std::string_view uid) const {
    auto it = byUid_.find(std::string(uid));
    return it == byUid_.end() ? std::string() : records_[it->second].fileName;
}

bool MessageCache::nameTaken(const std::string& fileName) const {
    for (const Record& record : records_)
        if (record.fileName == fileName) return true;
    return pathExists(folder_ + fileName);
}

std::string MessageCache::pickFileName(std::string_view uid) const {
    char name[48];
    const unsigned crc = crc32(uid);
    std::snprintf(name, sizeof name, "%x.eml", crc);
    for (int counter = 1; nameTaken(name); ++counter) std::snprintf(name, sizeof name, "%x%i.eml", crc, counter);
    return name;
}

bool MessageCache::add(const MailMessage& message, std::string_view uid) {
    if (folder_.empty() || uid.empty() || message.size() == 0) return false;
    if (byUid_.count(std::string(uid)) != 0) return true;
    // The account folder may have been removed by clear() since open().
    if (!ensureFolder(folder_.substr(0, folder_.size() - 1))) return false;
    std::string fileName = pickFileName(uid);
    if (message.saveFile(folder_ + fileName) != 0) return false;
    // The check is taken from the file as written, which is what get() reads back.
    MailMessage written;
    if (written.loadFile(folder_ + fileName) != 0 || written.size() == 0) return false;
    byUid_.emplace(std::string(uid), records_.size());
    records_.push_back({std::string(uid), std::move(fileName), static_cast<std::uint32_t>(written.size()),
                        crc32(written.source()), true});
    return true;
}

bool MessageCache::saveIndex() const {
    if (folder_.empty()) return false;
    std::string bytes(kIndexMark);
    for (const Record& record : records_) {
        appendLittleEndian32(bytes, static_cast<std::uint32_t>(record.uid.size()));
        bytes += record.uid;
        appendLittleEndian32(bytes, static_cast<std::uint32_t>(record.fileName.size()));
        bytes += record.fileName;
        if (!record.checked) {
            appendLittleEndian32(bytes, 0);
            continue;
        }
        appendLittleEndian32(bytes, 8);
        appendLittleEndian32(bytes, record.size);
        appendLittleEndian32(bytes, record.crc);
    }
    return replaceFileAtomically(folder_ + kIndexFileName, bytes);
}

void MessageCache::clear() {
    if (folder_.empty()) return;
    for (const Record& record : records_) ::unlink((folder_ + record.fileName).c_str());
    records_.clear();
    byUid_.clear();
    ::unlink((folder_ + kIndexFileName).c_str());
    // Message files whose index could not be written are found by their extension.
    std::error_code error;
    std::vector<std::filesystem::path> leftovers;
    for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
        std::error_code kindError;
        if (it->path().extension() == ".eml" && it->is_regular_file(kindError)) leftovers.push_back(it->path());
    }
    for (const auto& path : leftovers) std::filesystem::remove(path, error);
    ::rmdir(folder_.substr(0, folder_.size() - 1).c_str());
}

} // namespace corvanthelix
