#include "stores/IndexJournal.h"

#include "base/AtomicFile.h"
#include "base/Crc32.h"
#include "base/TextUtils.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace corvanthelix {

namespace {

constexpr size_t npos = std::string_view::npos;
constexpr size_t kCrcDigits = 8;

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

void appendToken(std::string& out, std::string_view text) {
    out += " :";
    out += QEncode(text);
}

std::string crcText(std::string_view payload) {
    char digits[kCrcDigits + 1];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(crc32(payload)));
    return digits;
}

/// One change read back from a line.
struct ParsedChange {
    bool put = false;
    std::string key;
    std::vector<std::pair<std::string, std::string>> attributes; // list order
};

/// Splits a payload into changes; nothing when any part of it does not follow the format, so a
/// line is applied whole or not at all.
std::optional<std::vector<ParsedChange>> parsePayload(std::string_view payload, std::string_view keyAttribute) {
    std::vector<std::string_view> tokens;
    size_t pos = 0;
    while (pos < payload.size()) {
        size_t space = payload.find(' ', pos);
        if (space == npos) space = payload.size();
        if (space == pos) return std::nullopt; // two spaces in a row: not written by us
        tokens.push_back(payload.substr(pos, space - pos));
        pos = space + 1;
    }
    std::vector<ParsedChange> changes;
    for (size_t i = 0; i < tokens.size();) {
        std::string_view op = tokens[i++];
        auto isValue = [&](size_t k) { return k < tokens.size() && !tokens[k].empty() && tokens[k][0] == ':'; };
        auto decoded = [&](size_t k) { return QuotedPrintableDecode(tokens[k].substr(1)); };
        ParsedChange change;
        if (op == "D") {
            if (!isValue(i)) return std::nullopt;
            change.key = decoded(i++);
        } else if (op == "P") {
            bool hasKey = false;
            while (isValue(i)) {
                if (!isValue(i + 1)) return std::nullopt;
                std::string name = decoded(i), value = decoded(i + 1);
                i += 2;
                if (name == keyAttribute && !hasKey) {
                    change.key = value;
                    hasKey = true;
                }
                change.attributes.emplace_back(std::move(name), std::move(value));
            }
            if (!hasKey) return std::nullopt;
            change.put = true;
        } else {
            return std::nullopt;
        }
        changes.push_back(std::move(change));
    }
    if (changes.empty()) return std::nullopt;
    return changes;
}

/// The entries of the root by key, first in list order (which is the one every lookup by key
/// finds), so a long log replays in time proportional to its length.
class KeyIndex {
public:
    KeyIndex(XmlElement& root, std::string_view childName, std::string_view keyAttribute)
        : root_(root), childName_(childName), keyAttribute_(keyAttribute) {
        for (XmlElement* child = root.firstChild(); child; child = child->Next()) {
            const std::string* key = keyOf(*child);
            if (key && !entries_.emplace(*key, child).second) duplicates_ = true;
        }
    }

    XmlElement* find(const std::string& key) const {
        auto it = entries_.find(key);
        return it == entries_.end() ? nullptr : it->second;
    }

    XmlElement* add() {
        return root_.addChild(childName_);
    }
    /// Records that `entry` (new, or just given its key) is the first entry with `key`.
    void remember(const std::string& key, XmlElement* entry) { entries_[key] = entry; }

    void remove(const std::string& key) {
        auto it = entries_.find(key);
        if (it == entries_.end()) return;
        root_.removeChild(it->second);
        entries_.erase(it);
        if (!duplicates_) return;
        // An index edited by hand may hold a key twice; the next one now comes first.
        for (XmlElement* child = root_.firstChild(); child; child = child->Next()) {
            const std::string* other = keyOf(*child);
            if (other && *other == key) {
                entries_.emplace(key, child);
                break;
            }
        }
    }

private:
    const std::string* keyOf(const XmlElement& child) const {
        if (child.name() != childName_) return nullptr;
        const XmlAttribute* a = child.findAttribute(keyAttribute_);
        return a ? &a->value() : nullptr;
    }

    XmlElement& root_;
    std::string_view childName_;
    std::string_view keyAttribute_;
    std::unordered_map<std::string, XmlElement*> entries_;
    bool duplicates_ = false;
};

/// Applies one line; false (nothing applied) when it is damaged.
bool applyLine(std::string_view line, std::string_view keyAttribute, KeyIndex& index) {
    if (line.size() < kCrcDigits + 2 || line[kCrcDigits] != ' ') return false;
    std::string_view payload = line.substr(kCrcDigits + 1);
    if (line.substr(0, kCrcDigits) != crcText(payload)) return false;
    std::optional<std::vector<ParsedChange>> changes = parsePayload(payload, keyAttribute);
    if (!changes) return false;
    for (ParsedChange& change : *changes) {
        if (!change.put) {
            index.remove(change.key);
            continue;
        }
        XmlElement* entry = index.find(change.key);
        if (entry) {
            while (XmlAttribute* a = entry->firstAttribute()) entry->removeAttribute(a);
        } else {
            entry = index.add();
            index.remember(change.key, entry);
        }
        // Set last to first: each new attribute goes to the front, so the list order comes back.
        for (auto it = change.attributes.rbegin(); it != change.attributes.rend(); ++it)
            entry->setAttribute(it->first, it->second);
    }
    return true;
}

} // namespace

bool syncFolder(const std::string& folder) {
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.valid() && ::fsync(fd.get()) == 0;
}

IndexJournal::IndexJournal(std::string path, std::string childName, std::string keyAttribute)
    : path_(std::move(path)), childName_(std::move(childName)), keyAttribute_(std::move(keyAttribute)) {}

IndexJournal::~IndexJournal() = default;

std::string IndexJournal::encodeTransaction(const std::vector<const XmlElement*>& put,
                                            const std::vector<std::string>& removedKeys) const {
    std::string payload;
    for (const XmlElement* entry : put) {
        payload += payload.empty() ? "P" : " P";
        for (const XmlAttribute* a = entry->firstAttribute(); a; a = a->Next()) {
            appendToken(payload, a->name());
            appendToken(payload, a->value());
        }
    }
    for (const std::string& key : removedKeys) {
        payload += payload.empty() ? "D" : " D";
        appendToken(payload, key);
    }
    std::string line = crcText(payload);
    line += ' ';
    line += payload;
    line += '\n';
    return line;
}

IndexJournal::ReplayResult IndexJournal::replay(XmlElement& root) const {
    ReplayResult result;
    UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return result;
    std::string text;
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            result.damagedTail = true; // what could not be read cannot be applied
            break;
        }
        text.append(chunk, static_cast<size_t>(n));
    }
    KeyIndex index(root, childName_, keyAttribute_);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == npos || !applyLine(std::string_view(text).substr(pos, end - pos), keyAttribute_, index)) {
            result.damagedTail = true;
            break;
        }
        ++result.transactions;
        pos = end + 1;
    }
    return result;
}

bool IndexJournal::openForAppend() {
    if (fd_.valid()) return true;
    bool created = true;
    UniqueFd fd(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600));
    if (!fd.valid() && errno == EEXIST) {
        created = false;
        fd.reset(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    }
    if (!fd.valid()) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || (created && !syncFolder(folderOf(path_)))) {
        fd.reset();
        if (created) ::unlink(path_.c_str());
        return false;
    }
    fd_ = std::move(fd);
    size_ = static_cast<uint64_t>(st.st_size);
    return true;
}

bool IndexJournal::append(std::string_view line) {
    if (!openForAppend()) return false;
    if (writeAll(fd_.get(), line) && ::fdatasync(fd_.get()) == 0) {
        size_ += line.size();
        return true;
    }
    // Half a line must not stay: a replay stops there and would never reach later lines.
    if (::ftruncate(fd_.get(), static_cast<off_t>(size_)) == 0) ::fdatasync(fd_.get());
    return false;
}

bool IndexJournal::discard() {
    fd_.reset();
    size_ = 0;
    return ::unlink(path_.c_str()) == 0 || errno == ENOENT;
}

} // namespace corvanthelix
