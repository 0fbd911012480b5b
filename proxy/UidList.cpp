#include "proxy/UidList.h"

#include "base/AtomicFile.h"
#include "base/Crc32.h"
#include "stores/XmlDocument.h"

#include <cstdint>
#include <cstdio>
#include <sys/stat.h>

namespace corvanthelix {

namespace {

void putLittleEndian32(std::string& out, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t getLittleEndian32(std::string_view bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
    return value;
}

bool holdsLineBreak(std::string_view uid) { return uid.find_first_of("\r\n") != std::string_view::npos; }

// The file layout: count and longest length up front, then one UID per line.
std::string fileBytes(const std::vector<std::string_view>& uids) {
    std::string out(8, '\0');
    std::uint32_t count = 0;
    std::uint32_t longest = 0;
    for (std::string_view uid : uids) {
        // A line break inside would split the UID into two on reading.
        if (uid.empty() || holdsLineBreak(uid)) continue;
        out.append(uid);
        out.push_back('\n');
        ++count;
        if (uid.size() > longest) longest = static_cast<std::uint32_t>(uid.size());
    }
    putLittleEndian32(out, 0, count);
    putLittleEndian32(out, 4, longest);
    return out;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

std::string accountFileKey(std::string_view user, std::string_view server) {
    char key[32];
    std::snprintf(key, sizeof key, "%x@%x", static_cast<unsigned>(crc32(user)), static_cast<unsigned>(crc32(server)));
    return key;
}

std::string UidList::filePath(const std::string& programFolder, std::string_view server, std::string_view user) {
    return programFolder + "/" + kFolder + "/" + accountFileKey(user, server) + kExtension;
}

bool UidList::load(const std::string& programFolder, std::string_view server, std::string_view user) {
    clear();
    ensureFolder(programFolder + "/" + kFolder);
    const std::string path = filePath(programFolder, server, user);
    if (!fileExists(path)) writeFromOldGlobalFile(programFolder, path);
    std::string bytes;
    if (!readWholeFile(path, bytes)) return false;
    parse(bytes);
    return true;
}

bool UidList::writeFromOldGlobalFile(const std::string& programFolder, const std::string& path) {
    XmlDocument old;
    if (!old.load(programFolder + "/" + kOldGlobalFile)) return false;
    const XmlElement* root = old.root();
    if (root == nullptr || root->name() != "uniqueid") return false;
    std::vector<std::string> uids;
    for (const XmlElement* mail = root->firstChild(); mail != nullptr; mail = mail->Next()) {
        if (mail->name() != "mail") continue;
        std::optional<std::string> uid = mail->copyAttributeValue("uid");
        if (uid && !uid->empty()) uids.push_back(std::move(*uid));
    }
    std::vector<std::string_view> views(uids.begin(), uids.end());
    return replaceFileAtomically(path, fileBytes(views));
}

bool UidList::parse(std::string_view bytes) {
    clear();
    if (bytes.size() < 8) return false;
    const std::uint32_t count = getLittleEndian32(bytes, 0);
    const std::uint32_t longest = getLittleEndian32(bytes, 4);
    if (count == 0 || longest == 0) return false;
    std::size_t position = 8;
    std::uint32_t read = 0;
    while (read < count && position < bytes.size()) {
        std::size_t end = bytes.find('\n', position);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(position, end - position);
        position = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        // Empty lines are skipped without counting.
        if (line.empty()) continue;
        add(line, false);
        ++read;
    }
    return true;
}

std::string UidList::serialize() const {
    std::vector<std::string_view> present;
    present.reserve(entries_.size());
    for (const Entry& entry : entries_)
        if (entry.present) present.push_back(entry.uid);
    return fileBytes(present);
}

bool UidList::save(const std::string& programFolder, std::string_view server, std::string_view user) const {
    if (!ensureFolder(programFolder + "/" + kFolder)) return false;
    return replaceFileAtomically(filePath(programFolder, server, user), serialize());
}

bool UidList::contains(const char* uid) const { return uid != nullptr && contains(std::string_view(uid)); }

bool UidList::contains(std::string_view uid) const { return index_.find(std::string(uid)) != index_.end(); }

void UidList::markPresent(const char* uid) {
    if (uid != nullptr) markPresent(std::string_view(uid));
}

void UidList::markPresent(std::string_view uid) { add(uid, true); }

void UidList::add(std::string_view uid, bool present) {
    auto [it, inserted] = index_.try_emplace(std::string(uid), entries_.size());
    if (inserted)
        entries_.push_back({std::string(uid), present});
    else if (present)
        entries_[it->second].present = true;
}

void UidList::clear() {
    entries_.clear();
    index_.clear();
}

std::size_t UidList::presentCount() const {
    std::size_t count = 0;
    for (const Entry& entry : entries_) count += entry.present ? 1 : 0;
    return count;
}

} // namespace corvanthelix
