#include "stores/BackupArchiveWriter.h"

#include "base/AtomicFile.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvanthelix {

namespace {
constexpr size_t kBlockSize = 64 * 1024;

void putLittleEndian32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

std::string_view baseName(std::string_view path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}
} // namespace

const char* describeArchiveWriteOutcome(ArchiveWriteOutcome outcome) {
    switch (outcome) {
    case ArchiveWriteOutcome::Ok: return "ok";
    case ArchiveWriteOutcome::CannotCreate: return "the backup file cannot be created";
    case ArchiveWriteOutcome::CannotRead: return "a file to back up cannot be read";
    case ArchiveWriteOutcome::WriteError: return "the backup file cannot be written";
    case ArchiveWriteOutcome::TooLarge: return "the backup would be larger than 4 GiB";
    case ArchiveWriteOutcome::BadName: return "a file name cannot be stored in a backup";
    }
    return "unknown fault";
}

BackupArchiveWriter::~BackupArchiveWriter() {
    if (!committed_ && !tempPath_.empty()) ::unlink(tempPath_.c_str());
}

ArchiveWriteOutcome BackupArchiveWriter::begin(const std::string& path) {
    path_ = path;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string temp = folder + "." + std::string(baseName(path)) + ".XXXXXX";
    fd_.reset(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd_.valid()) return ArchiveWriteOutcome::CannotCreate;
    tempPath_ = temp;
    return ArchiveWriteOutcome::Ok;
}

ArchiveWriteOutcome BackupArchiveWriter::append(std::string_view data) {
    if (position_ + data.size() > UINT32_MAX) return ArchiveWriteOutcome::TooLarge;
    if (!writeAll(fd_.get(), data)) return ArchiveWriteOutcome::WriteError;
    position_ += data.size();
    return ArchiveWriteOutcome::Ok;
}

ArchiveWriteOutcome BackupArchiveWriter::checkName(std::string_view name) const {
    if (!fd_.valid()) return ArchiveWriteOutcome::WriteError;
    return BackupArchive::isSafeName(name) ? ArchiveWriteOutcome::Ok : ArchiveWriteOutcome::BadName;
}

ArchiveWriteOutcome BackupArchiveWriter::addFile(const std::string& sourcePath) {
    return addFile(sourcePath, baseName(sourcePath));
}

ArchiveWriteOutcome BackupArchiveWriter::addFile(const std::string& sourcePath, std::string_view name) {
    if (ArchiveWriteOutcome check = checkName(name); check != ArchiveWriteOutcome::Ok) return check;
    ArchiveEntry entry{std::string(name), static_cast<uint32_t>(position_), 0};
    UniqueFd source(::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source.valid()) {
        if (errno != ENOENT) return ArchiveWriteOutcome::CannotRead;
        entries_.push_back(std::move(entry));
        return ArchiveWriteOutcome::Ok;
    }
    std::string block(kBlockSize, '\0');
    for (;;) {
        ssize_t n = ::read(source.get(), block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ArchiveWriteOutcome::CannotRead;
        if (n == 0) break;
        if (ArchiveWriteOutcome written = append(std::string_view(block.data(), static_cast<size_t>(n)));
            written != ArchiveWriteOutcome::Ok)
            return written;
    }
    entry.size = static_cast<uint32_t>(position_ - entry.offset);
    entries_.push_back(std::move(entry));
    return ArchiveWriteOutcome::Ok;
}

ArchiveWriteOutcome BackupArchiveWriter::addData(std::string_view name, std::string_view data) {
    if (ArchiveWriteOutcome check = checkName(name); check != ArchiveWriteOutcome::Ok) return check;
    ArchiveEntry entry{std::string(name), static_cast<uint32_t>(position_), static_cast<uint32_t>(data.size())};
    if (ArchiveWriteOutcome written = append(data); written != ArchiveWriteOutcome::Ok) return written;
    entries_.push_back(std::move(entry));
    return ArchiveWriteOutcome::Ok;
}

ArchiveWriteOutcome BackupArchiveWriter::commit() {
    if (!fd_.valid()) return ArchiveWriteOutcome::WriteError;
    const uint64_t directoryOffset = position_;
    std::string directory;
    putLittleEndian32(directory, 1);
    putLittleEndian32(directory, static_cast<uint32_t>(entries_.size()));
    for (const ArchiveEntry& entry : entries_) {
        putLittleEndian32(directory, static_cast<uint32_t>(entry.name.size()));
        directory += entry.name;
        putLittleEndian32(directory, entry.offset);
        putLittleEndian32(directory, entry.size);
    }
    if (ArchiveWriteOutcome written = append(directory); written != ArchiveWriteOutcome::Ok) return written;
    std::string trailer;
    putLittleEndian32(trailer, static_cast<uint32_t>(directoryOffset));
    if (ArchiveWriteOutcome written = append(trailer); written != ArchiveWriteOutcome::Ok) return written;
    bool ok = ::fsync(fd_.get()) == 0;
    ok = fd_.reset() && ok;
    if (!ok || ::rename(tempPath_.c_str(), path_.c_str()) != 0) return ArchiveWriteOutcome::WriteError;
    committed_ = true;
    return ArchiveWriteOutcome::Ok;
}

} // namespace corvanthelix
