#include "base/IniFile.h"

#include "base/AtomicFile.h"
#include "base/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace corvanthelix {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// Parsed files kept in memory at once; besides the settings file the program reads only a few
// others (the two spam-word files, an update description).
constexpr size_t kMaxCachedFiles = 16;

char foldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (foldCase(a[i]) != foldCase(b[i])) return false;
    return true;
}

struct NoCaseHash {
    using is_transparent = void;
    // Deliberately not noexcept: the standard tables then keep each node's hash, so lookups and
    // rehashing never hash a stored name again.
    size_t operator()(std::string_view text) const {
        uint64_t hash = 1469598103934665603ull; // FNV-1a
        for (char c : text) {
            hash ^= static_cast<unsigned char>(foldCase(c));
            hash *= 1099511628211ull;
        }
        return static_cast<size_t>(hash);
    }
};

struct NoCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return equalNoCase(a, b); }
};

std::string_view trimmed(std::string_view text, std::string_view set) {
    size_t first = text.find_first_not_of(set);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(set);
    return text.substr(first, last - first + 1);
}

bool isSectionHeader(std::string_view trimmedLine) {
    return trimmedLine.size() >= 2 && trimmedLine.front() == '[' && trimmedLine.back() == ']' &&
           trimmedLine.find('=') == std::string_view::npos;
}

// Names and values are views into the lines of the ParsedFile that holds the index.
struct KeyEntry {
    size_t line;
    std::string_view value;
};

struct SectionIndex {
    size_t header = 0;  // line of "[name]"
    size_t end = 0;     // first line after the section: the next header or the end of the file
    size_t lastKey = 0; // line of the section's last key, or the header when it has none
    std::unordered_map<std::string_view, KeyEntry, NoCaseHash, NoCaseEqual> keys;
};

// One file as read: its lines as they are on disk and an index of the first copy of every
// section and key.
struct ParsedFile {
    ParsedFile() = default;
    ParsedFile(const ParsedFile&) = delete; // the index points into `lines`
    ParsedFile& operator=(const ParsedFile&) = delete;

    std::vector<std::string> lines; // without "\n"; the CR of a CR LF ending stays in the line
    bool crlf = false;              // lines the program adds end like the file's first line
    std::unordered_map<std::string_view, SectionIndex, NoCaseHash, NoCaseEqual> sections;

    // The text of line i without its CR, and without a byte order mark on the first line.
    std::string_view content(size_t i) const {
        std::string_view text = lines[i];
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (i == 0 && text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
        return text;
    }

    const SectionIndex* findSection(std::string_view name) const {
        auto it = sections.find(trimmed(name, kBlanks));
        return it == sections.end() ? nullptr : &it->second;
    }

    const KeyEntry* find(std::string_view section, std::string_view key) const {
        const SectionIndex* index = findSection(section);
        if (!index) return nullptr;
        auto it = index->keys.find(trimmed(key, kBlanks));
        return it == index->keys.end() ? nullptr : &it->second;
    }

    size_t linesBeforeNextHeader(size_t first) const {
        size_t i = first;
        while (i < lines.size() && !isSectionHeader(trimmed(content(i), kBlanks))) ++i;
        return i - first;
    }

    void buildIndex() {
        sections.clear();
        SectionIndex* open = nullptr; // null inside a repeated section: only the first copy counts
        bool inSection = false;
        for (size_t i = 0; i < lines.size(); ++i) {
            std::string_view line = trimmed(content(i), kBlanks);
            if (line.empty() || line.front() == ';') continue;
            if (isSectionHeader(line)) {
                if (open) open->end = i;
                inSection = true;
                auto [it, added] = sections.try_emplace(trimmed(line.substr(1, line.size() - 2), kBlanks));
                open = added ? &it->second : nullptr;
                if (open) {
                    open->header = open->lastKey = i;
                    open->end = lines.size();
                    // Sized once: growing a table of thousands of senders step by step rehashes
                    // it over and over.
                    open->keys.reserve(linesBeforeNextHeader(i + 1));
                }
                continue;
            }
            if (!inSection || !open) continue;
            size_t equals = line.find('=');
            if (equals == std::string_view::npos) continue;
            std::string_view key = trimmed(line.substr(0, equals), kBlanks);
            if (key.empty()) continue;
            open->keys.try_emplace(key, KeyEntry{i, trimmed(line.substr(equals + 1), kBlanks)});
            open->lastKey = i;
        }
    }

    static std::shared_ptr<ParsedFile> fromText(const std::string& text) {
        auto file = std::make_shared<ParsedFile>();
        size_t start = 0;
        while (start < text.size()) {
            size_t newline = text.find('\n', start);
            if (newline == std::string::npos) {
                file->lines.emplace_back(text, start);
                break;
            }
            file->lines.emplace_back(text, start, newline - start);
            start = newline + 1;
        }
        file->crlf = !file->lines.empty() && file->lines[0].ends_with('\r');
        // A rewrite ends every line; an unfinished last line then ends like the others.
        if (file->crlf && !text.ends_with('\n') && !file->lines.back().ends_with('\r')) file->lines.back() += '\r';
        file->buildIndex();
        return file;
    }
};

// What identifies one state of a file on disk. A rewrite by rename gives a new inode; an edit in
// place changes the size or the nanosecond modification time. The one change this misses is an
// edit in place from outside that keeps the size and lands within the same tick of the file
// system's clock (a few milliseconds) as the state read before: practically impossible for an edit
// by hand or by another program. The program's own writes never rely on it: the writer knows the
// new text and puts it into the cache itself.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    time_t seconds = 0;
    long nanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;

    static FileIdentity of(const struct stat& st) {
        return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    }
};

struct CacheEntry {
    FileIdentity identity;
    std::shared_ptr<const ParsedFile> file;
    uint64_t lastUse = 0;
};

enum class FileState { Missing, Loaded, Unreadable };

// The parsed files and the process-wide lock under which every read and write runs.
class Cache {
public:
    std::mutex lock;

    // The file as it is now on disk (reparsed when it changed). Caller holds `lock`.
    FileState current(const std::string& path, std::shared_ptr<const ParsedFile>& file) {
        file.reset();
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            entries_.erase(path);
            return errno == ENOENT || errno == ENOTDIR ? FileState::Missing : FileState::Unreadable;
        }
        auto it = entries_.find(path);
        if (it != entries_.end() && it->second.identity == FileIdentity::of(st)) {
            it->second.lastUse = ++clock_;
            file = it->second.file;
            return FileState::Loaded;
        }
        if (!S_ISREG(st.st_mode)) {
            entries_.erase(path);
            return FileState::Unreadable;
        }
        // O_NONBLOCK: a FIFO put in the file's place between stat and open must not hang the reader.
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (!fd.valid()) {
            entries_.erase(path);
            return errno == ENOENT ? FileState::Missing : FileState::Unreadable;
        }
        // The identity comes from the descriptor the text is read from, so the pair always matches.
        std::string text;
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || !readAll(fd.get(), text)) {
            entries_.erase(path);
            return FileState::Unreadable;
        }
        file = ParsedFile::fromText(text);
        remember(path, FileIdentity::of(st), file);
        return FileState::Loaded;
    }

    void remember(const std::string& path, const FileIdentity& identity, std::shared_ptr<const ParsedFile> file) {
        if (entries_.size() >= kMaxCachedFiles && !entries_.contains(path)) {
            auto oldest = std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
                return a.second.lastUse < b.second.lastUse;
            });
            entries_.erase(oldest);
        }
        entries_[path] = CacheEntry{identity, std::move(file), ++clock_};
    }

    void clear() { entries_.clear(); }

private:
    static bool readAll(int fd, std::string& text) {
        char chunk[65536];
        for (;;) {
            ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n == 0) return true;
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            text.append(chunk, static_cast<size_t>(n));
        }
    }

    std::unordered_map<std::string, CacheEntry> entries_;
    uint64_t clock_ = 0;
};

Cache& cache() {
    // Never destroyed: a worker thread may still read a setting while the process exits.
    static Cache* instance = new Cache;
    return *instance;
}

// Replaces the file at `path` by `lines` and puts the new text into the cache. Caller holds the
// lock. Unlike replaceFileAtomically this takes the new file's identity from its own descriptor
// before the rename, so the cache can never pair our text with a file someone else put there just
// after. There is no fsync: settings are written on every change of an option, and a rename over
// the old file already gives readers and a crashed program either the old or the new file.
bool commit(Cache& files, const std::string& path, std::vector<std::string> lines, bool crlf) {
    std::string text;
    size_t total = 0;
    for (const std::string& line : lines) total += line.size() + 1;
    text.reserve(total);
    for (const std::string& line : lines) {
        text += line;
        text += '\n';
    }

    // Named like the other stores' temporaries: hidden, beside the file.
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string temporary = path.substr(0, nameStart) + "." + path.substr(nameStart) + ".XXXXXX";
    UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid()) return false;
    struct stat st {};
    bool written = ::fchmod(fd.get(), 0600) == 0 && writeAll(fd.get(), text) && ::fstat(fd.get(), &st) == 0;
    if (!fd.reset() || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    auto file = std::make_shared<ParsedFile>();
    file->lines = std::move(lines);
    file->crlf = crlf;
    file->buildIndex();
    files.remember(path, FileIdentity::of(st), std::move(file));
    return true;
}

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n", 0) != std::string_view::npos || text.find('\0') != std::string_view::npos; }

bool validSectionName(std::string_view section) {
    section = trimmed(section, kBlanks);
    return !section.empty() && !hasLineBreak(section) && section.find_first_of("[]=") == std::string_view::npos;
}

bool validKeyName(std::string_view key) {
    key = trimmed(key, kBlanks);
    return !key.empty() && !hasLineBreak(key) && key.find('=') == std::string_view::npos &&
           key.front() != ';' && key.front() != '[';
}

// The key a raw line defines, or "" for comments, headers and lines without "=".
std::string_view keyOfLine(const ParsedFile& file, size_t i) {
    std::string_view line = trimmed(file.content(i), kBlanks);
    if (line.empty() || line.front() == ';' || isSectionHeader(line)) return {};
    size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string_view{} : trimmed(line.substr(0, equals), kBlanks);
}

// The line that sets an existing key to `value`: the old text up to "=" and the blanks after it
// stay, and so does a CR line end.
std::string replacedValue(const std::string& line, std::string_view value) {
    size_t equals = line.find('=');
    size_t valueStart = line.find_first_not_of(kBlanks, equals + 1);
    if (valueStart == std::string::npos || line[valueStart] == '\r') valueStart = equals + 1;
    std::string result = line.substr(0, valueStart);
    result += value;
    if (line.ends_with('\r')) result += '\r';
    return result;
}

// The files a snapshot on this thread has read, as they were when it first read each of them.
struct SnapshotFiles {
    int depth = 0;
    std::unordered_map<std::string, std::shared_ptr<const ParsedFile>> files;
};
thread_local SnapshotFiles snapshotFiles;

// Runs `use` on the file as it is now (null when missing or unreadable) under the lock; inside a
// snapshot, on the file as the snapshot first saw it, without asking the disk again.
template <class Use>
auto withFile(const std::string& path, Use&& use) {
    Cache& files = cache();
    std::lock_guard<std::mutex> guard(files.lock);
    std::shared_ptr<const ParsedFile> file;
    if (snapshotFiles.depth > 0) {
        auto held = snapshotFiles.files.find(path);
        if (held != snapshotFiles.files.end()) return use(held->second.get());
        files.current(path, file);
        snapshotFiles.files.emplace(path, file);
        return use(file.get());
    }
    files.current(path, file);
    return use(file.get());
}

// Runs `edit` on the file as it is now (null when missing) under the lock; `edit` gives the new
// lines, or nothing when the file stays as it is. False when the file could not be read or written.
template <class Edit>
bool editFile(const std::string& path, Edit&& edit) {
    Cache& files = cache();
    std::lock_guard<std::mutex> guard(files.lock);
    std::shared_ptr<const ParsedFile> file;
    // Never replace a file that exists but could not be read: that would lose every other setting.
    if (files.current(path, file) == FileState::Unreadable) return false;
    // This thread's own change is seen by its next read, snapshot or not.
    snapshotFiles.files.erase(path);
    std::optional<std::vector<std::string>> lines = edit(file.get());
    return !lines || commit(files, path, std::move(*lines), file && file->crlf);
}

bool writeValue(std::string_view section, std::string_view key, const char* value, const std::string& path) {
    if (!validSectionName(section) || !validKeyName(key)) return false;
    if (value && hasLineBreak(value)) return false;
    section = trimmed(section, kBlanks);
    key = trimmed(key, kBlanks);

    return editFile(path, [&](const ParsedFile* file) -> std::optional<std::vector<std::string>> {
        const SectionIndex* index = file ? file->findSection(section) : nullptr;
        std::vector<std::string> lines = file ? file->lines : std::vector<std::string>{};
        std::string_view lineEnd = file && file->crlf ? "\r" : "";

        if (!value) {
            if (!index || !index->keys.contains(key)) return std::nullopt;
            for (size_t i = index->end; i-- > index->header + 1;)
                if (equalNoCase(keyOfLine(*file, i), key)) lines.erase(lines.begin() + static_cast<long>(i));
            return lines;
        }

        std::string keyLine;
        keyLine.append(key).append("=").append(value).append(lineEnd);
        if (!index) {
            std::string header;
            header.append("[").append(section).append("]").append(lineEnd);
            lines.push_back(std::move(header));
            lines.push_back(std::move(keyLine));
        } else if (auto it = index->keys.find(key); it != index->keys.end()) {
            if (it->second.value == value) return std::nullopt;
            lines[it->second.line] = replacedValue(lines[it->second.line], value);
        } else {
            lines.insert(lines.begin() + static_cast<long>(index->lastKey + 1), std::move(keyLine));
        }
        return lines;
    });
}

int leadingInt(std::string_view value) {
    size_t i = 0;
    bool negative = i < value.size() && value[i] == '-';
    if (negative) ++i;
    long long number = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        number = number * 10 + (value[i] - '0');
        if (number > static_cast<long long>(INT_MAX) + 1) number = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) number = -number;
    return static_cast<int>(std::clamp<long long>(number, INT_MIN, INT_MAX));
}

// Calls `keep` with each line of the section as the section reader defines it. False when the
// section is not in the file.
template <class Keep>
bool forEachSectionLine(const ParsedFile& file, std::string_view section, Keep&& keep) {
    size_t i = 0;
    for (; i < file.lines.size(); ++i) {
        std::string_view line = file.content(i);
        if (line.size() < section.size() + 2 || line.front() != '[' || line[section.size() + 1] != ']') continue;
        if (!equalNoCase(line.substr(1, section.size()), section)) continue;
        if (line.find_first_not_of(' ', section.size() + 2) == std::string_view::npos) break;
    }
    if (i == file.lines.size()) return false;
    for (++i; i < file.lines.size(); ++i) {
        // A line ends at a NUL byte: the section's lines are passed on as NUL-separated text, where
        // one inside a line would end the list there and hide every later line.
        std::string_view content = file.content(i);
        content = content.substr(0, content.find('\0'));
        std::string_view line = trimmed(trimmed(content, " "), "\t");
        bool hasEquals = line.find('=') != std::string_view::npos;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']' && !hasEquals) break;
        if (line.empty() || line.front() == ';' || !hasEquals) continue;
        if (!keep(line)) break;
    }
    return true;
}

} // namespace

int IniFile::readInt(std::string_view section, std::string_view key, int defaultValue, const std::string& path) {
    return withFile(path, [&](const ParsedFile* file) {
        const KeyEntry* entry = file ? file->find(section, key) : nullptr;
        // An empty value counts as missing, as with the classic profile functions.
        return !entry || entry->value.empty() ? defaultValue : leadingInt(entry->value);
    });
}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view defaultValue,
                                const std::string& path) {
    return withFile(path, [&](const ParsedFile* file) {
        const KeyEntry* entry = file ? file->find(section, key) : nullptr;
        return std::string(entry ? entry->value : defaultValue);
    });
}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view defaultValue,
                                const std::string& path, size_t size) {
    std::string value = readString(section, key, defaultValue, path);
    value.resize(std::min(value.size(), size == 0 ? 0 : size - 1));
    return value;
}

size_t IniFile::readString(std::string_view section, std::string_view key, std::string_view defaultValue,
                           char* buffer, size_t size, const std::string& path) {
    if (size == 0 || !buffer) return 0;
    std::string value = readString(section, key, defaultValue, path, size);
    std::memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = '\0';
    return value.size();
}

bool IniFile::hasKey(std::string_view section, std::string_view key, const std::string& path) {
    return withFile(path, [&](const ParsedFile* file) { return file && file->find(section, key); });
}

bool IniFile::hasSection(std::string_view section, const std::string& path) {
    return withFile(path, [&](const ParsedFile* file) { return file && file->findSection(section); });
}

bool IniFile::writeString(std::string_view section, std::string_view key, const char* value, const std::string& path) {
    return writeValue(section, key, value, path);
}

bool IniFile::writeString(std::string_view section, std::string_view key, const std::string& value,
                          const std::string& path) {
    return writeValue(section, key, value.c_str(), path);
}

bool IniFile::writeSettingInt(std::string_view section, std::string_view key, int value, const std::string& path) {
    char text[16];
    std::snprintf(text, sizeof text, "%i", value);
    return writeValue(section, key, text, path);
}

bool IniFile::deleteSection(std::string_view section, const std::string& path) {
    section = trimmed(section, kBlanks);
    return editFile(path, [&](const ParsedFile* file) -> std::optional<std::vector<std::string>> {
        if (!file || !file->findSection(section)) return std::nullopt;
        // Every copy of the section goes, or a later copy would come to light.
        std::vector<std::string> lines;
        bool inside = false;
        for (size_t i = 0; i < file->lines.size(); ++i) {
            std::string_view line = trimmed(file->content(i), kBlanks);
            if (isSectionHeader(line)) inside = equalNoCase(trimmed(line.substr(1, line.size() - 2), kBlanks), section);
            if (!inside) lines.push_back(file->lines[i]);
        }
        return lines;
    });
}

size_t IniFile::readSection(std::string_view section, char* buffer, size_t bufferSize, const std::string& path) {
    if (!buffer || bufferSize == 0) return 0;
    buffer[0] = '\0';
    if (bufferSize >= 2) buffer[1] = '\0';
    if (bufferSize < 2) return 0;

    return withFile(path, [&](const ParsedFile* file) -> size_t {
        size_t used = 0;
        bool found = file && forEachSectionLine(*file, section, [&](std::string_view line) {
            // One byte stays for the line's NUL and one for the list's closing NUL.
            if (used + 2 >= bufferSize) return false;
            size_t length = std::min(line.size(), bufferSize - 2 - used);
            std::memcpy(buffer + used, line.data(), length);
            used += length;
            buffer[used++] = '\0';
            return length == line.size();
        });
        if (!found) return 0;
        if (used == 0) return 2; // an empty list: both NULs are already there
        buffer[used] = '\0';
        return used + 1;
    });
}

std::vector<std::string> IniFile::readSectionLines(std::string_view section, const std::string& path) {
    return withFile(path, [&](const ParsedFile* file) {
        std::vector<std::string> lines;
        if (file) forEachSectionLine(*file, section, [&](std::string_view line) {
            lines.emplace_back(line);
            return true;
        });
        return lines;
    });
}

IniFile::Snapshot::Snapshot() { ++snapshotFiles.depth; }

IniFile::Snapshot::~Snapshot() {
    if (--snapshotFiles.depth == 0) snapshotFiles.files.clear();
}

void IniFile::clearCache() {
    Cache& files = cache();
    std::lock_guard<std::mutex> guard(files.lock);
    files.clear();
}

} // namespace corvanthelix
