#include "stores/BackupArchive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvanthelix {

namespace {
constexpr size_t kBlockSize = 64 * 1024;
// The smallest directory entry: length, a one-byte name, offset, size.
constexpr uint64_t kMinEntryBytes = 4 + 1 + 4 + 4;

uint32_t littleEndian32(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerName(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(), lowerAscii);
    return lower;
}
} // namespace

const char* describeArchiveOutcome(ArchiveOutcome outcome) {
    switch (outcome) {
    case ArchiveOutcome::Ok: return "ok";
    case ArchiveOutcome::CannotOpen: return "the file cannot be opened";
    case ArchiveOutcome::ReadError: return "the file cannot be read";
    case ArchiveOutcome::TooShort: return "the file is too short or too long to be a backup";
    case ArchiveOutcome::BadDirectoryOffset: return "the directory offset lies outside the file";
    case ArchiveOutcome::BadVersion: return "the backup version is not 1";
    case ArchiveOutcome::BadCount: return "the entry count does not fit the directory";
    case ArchiveOutcome::BadName: return "an entry name is empty, too long or leaves its folder";
    case ArchiveOutcome::DuplicateName: return "two entries have the same name";
    case ArchiveOutcome::BadEntryRange: return "an entry lies outside the data area";
    case ArchiveOutcome::TrailingBytes: return "the directory does not end at the trailer";
    case ArchiveOutcome::NotAnArchive: return "an inner archive is damaged";
    }
    return "unknown fault";
}

bool BackupArchive::isSafeName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameLength) return false;
    if (name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos) return false;
    return name.find("..") == std::string_view::npos;
}

void BackupArchive::clear() {
    file_.reset();
    memory_ = {};
    base_ = 0;
    size_ = 0;
    entries_.clear();
}

ArchiveOutcome BackupArchive::open(const std::string& path) {
    clear();
    auto fd = std::make_shared<UniqueFd>(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd->valid() || ::fstat(fd->get(), &st) != 0 || !S_ISREG(st.st_mode)) return ArchiveOutcome::CannotOpen;
    file_ = std::move(fd);
    size_ = static_cast<uint64_t>(st.st_size);
    ArchiveOutcome outcome = readDirectory();
    if (outcome != ArchiveOutcome::Ok) clear();
    return outcome;
}

ArchiveOutcome BackupArchive::openMemory(std::string_view data) {
    clear();
    memory_ = data;
    size_ = data.size();
    ArchiveOutcome outcome = readDirectory();
    if (outcome != ArchiveOutcome::Ok) clear();
    return outcome;
}

ArchiveOutcome BackupArchive::openEntry(const BackupArchive& outer, size_t index) {
    clear();
    if (index >= outer.entries_.size()) return ArchiveOutcome::CannotOpen;
    file_ = outer.file_;
    memory_ = outer.memory_;
    base_ = outer.base_ + outer.entries_[index].offset;
    size_ = outer.entries_[index].size;
    ArchiveOutcome outcome = readDirectory();
    if (outcome != ArchiveOutcome::Ok) clear();
    return outcome;
}

bool BackupArchive::readAt(uint64_t offset, size_t length, char* out) const {
    if (offset > size_ || length > size_ - offset) return false;
    if (!file_) {
        std::memcpy(out, memory_.data() + base_ + offset, length);
        return true;
    }
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(file_->get(), out + done, length - done,
                            static_cast<off_t>(base_ + offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

ArchiveOutcome BackupArchive::readDirectory() {
    // Offsets are 32 bits wide, so a larger file cannot be an archive of this kind.
    if (size_ < kEmptyArchiveSize || size_ > UINT32_MAX) return ArchiveOutcome::TooShort;
    char word[4];
    if (!readAt(size_ - 4, 4, word)) return ArchiveOutcome::ReadError;
    const uint64_t directoryOffset = littleEndian32(word);
    const uint64_t trailerOffset = size_ - 4;
    if (directoryOffset + 8 > trailerOffset) return ArchiveOutcome::BadDirectoryOffset;

    // The directory lies between its offset and the trailer; read it once, its size is bounded
    // by the file.
    std::string directory(static_cast<size_t>(trailerOffset - directoryOffset), '\0');
    if (!readAt(directoryOffset, directory.size(), directory.data())) return ArchiveOutcome::ReadError;
    if (littleEndian32(directory.data()) != 1) return ArchiveOutcome::BadVersion;
    const uint64_t count = littleEndian32(directory.data() + 4);
    if (count > (directory.size() - 8) / kMinEntryBytes) return ArchiveOutcome::BadCount;

    std::vector<ArchiveEntry> entries;
    entries.reserve(static_cast<size_t>(count));
    std::vector<std::string> lowerNames;
    size_t position = 8;
    for (uint64_t i = 0; i < count; ++i) {
        if (directory.size() - position < 4) return ArchiveOutcome::BadCount;
        const uint32_t nameLength = littleEndian32(directory.data() + position);
        position += 4;
        if (nameLength == 0 || nameLength > kMaxNameLength) return ArchiveOutcome::BadName;
        if (directory.size() - position < uint64_t{nameLength} + 8) return ArchiveOutcome::BadCount;
        ArchiveEntry entry;
        entry.name.assign(directory.data() + position, nameLength);
        position += nameLength;
        entry.offset = littleEndian32(directory.data() + position);
        entry.size = littleEndian32(directory.data() + position + 4);
        position += 8;
        if (!isSafeName(entry.name)) return ArchiveOutcome::BadName;
        if (uint64_t{entry.offset} + entry.size > directoryOffset) return ArchiveOutcome::BadEntryRange;
        lowerNames.push_back(lowerName(entry.name));
        entries.push_back(std::move(entry));
    }
    if (position != directory.size()) return ArchiveOutcome::TrailingBytes;
    std::sort(lowerNames.begin(), lowerNames.end());
    if (std::adjacent_find(lowerNames.begin(), lowerNames.end()) != lowerNames.end())
        return ArchiveOutcome::DuplicateName;
    entries_ = std::move(entries);
    return ArchiveOutcome::Ok;
}

std::optional<size_t> BackupArchive::find(std::string_view name) const {
    const std::string wanted = lowerName(name);
    for (size_t i = 0; i < entries_.size(); ++i)
        if (lowerName(entries_[i].name) == wanted) return i;
    return std::nullopt;
}

bool BackupArchive::readEntry(size_t index, std::string& out) const {
    out.clear();
    if (index >= entries_.size()) return false;
    out.resize(entries_[index].size);
    if (!readAt(entries_[index].offset, out.size(), out.data())) {
        out.clear();
        return false;
    }
    return true;
}

bool BackupArchive::extractTo(size_t index, const std::string& path) const {
    if (index >= entries_.size()) return false;
    UniqueFd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) return false;
    const ArchiveEntry& entry = entries_[index];
    std::string block(kBlockSize, '\0');
    bool ok = true;
    for (uint64_t done = 0; ok && done < entry.size;) {
        const size_t length = static_cast<size_t>(std::min<uint64_t>(kBlockSize, entry.size - done));
        ok = readAt(entry.offset + done, length, block.data());
        for (size_t written = 0; ok && written < length;) {
            ssize_t n = ::write(out.get(), block.data() + written, length - written);
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) written += static_cast<size_t>(n);
        }
        done += length;
    }
    ok = ok && ::fsync(out.get()) == 0;
    ok = out.reset() && ok;
    if (!ok) ::unlink(path.c_str());
    return ok;
}

} // namespace corvanthelix
