#include "upstream/LogFile.h"

#include "base/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

namespace corvanthelix {

namespace {

constexpr std::size_t kCopyChunk = 64 * 1024;

// Offset of the first byte after the first line feed at or after `from`; `size` when none.
off_t nextLineStart(int fd, off_t from, off_t size) {
    std::vector<char> chunk(kCopyChunk);
    for (off_t at = from; at < size;) {
        ssize_t n = ::pread(fd, chunk.data(), chunk.size(), at);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return size;
        }
        if (const void* lineFeed = std::memchr(chunk.data(), '\n', static_cast<std::size_t>(n)))
            return at + (static_cast<const char*>(lineFeed) - chunk.data()) + 1;
        at += n;
    }
    return size;
}

// Copies bytes [from, size) of `source` to `target` from the target's current position.
bool copyRange(int source, off_t from, off_t size, int target) {
    std::vector<char> chunk(kCopyChunk);
    for (off_t at = from; at < size;) {
        ssize_t n = ::pread(source, chunk.data(), chunk.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || !writeAll(target, std::string_view(chunk.data(), static_cast<std::size_t>(n)))) return false;
        at += n;
    }
    return true;
}

// Writes the kept end of the log into a fresh file beside it and renames that over the log, so
// that a crash leaves either the old or the trimmed log, never a half-moved one.
bool replaceWithTail(const std::string& path, int fd, off_t keepFrom, off_t size) {
    std::string temporary = path + ".XXXXXX";
    UniqueFd out(::mkstemp(temporary.data()));
    if (!out.valid()) return false;
    bool ok = ::fchmod(out.get(), 0600) == 0 && copyRange(fd, keepFrom, size, out.get()) && ::fsync(out.get()) == 0;
    ok = out.reset() && ok;
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

// Moves the kept end to the front of the open file and cuts it there; used when no file can be
// made beside the log (a folder that is not writable).
void moveTailInPlace(int fd, off_t keepFrom, off_t size) {
    std::vector<char> chunk(kCopyChunk);
    off_t written = 0;
    for (off_t at = keepFrom; at < size;) {
        ssize_t n = ::pread(fd, chunk.data(), chunk.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (::pwrite(fd, chunk.data(), static_cast<std::size_t>(n), written) != n) return;
        at += n;
        written += n;
    }
    if (::ftruncate(fd, written) != 0) return;
}

} // namespace

LogFile::LogFile() = default;

LogFile::~LogFile() { close(); }

bool LogFile::open(const char* path, std::uint32_t maxSize) {
    close();
    if (!path) {
        toStandardOutput_ = true;
        maxSize_ = maxSize;
        enabled_ = true;
        return true;
    }
    UniqueFd fd(::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.valid()) return false;
    // The log belongs to one owner while it is open; a second opener is turned away instead of
    // interleaving its lines and trimming the file under the first.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ::lseek(fd.get(), 0, SEEK_END) < 0) return false;
    fd_ = std::move(fd);
    path_ = path;
    maxSize_ = maxSize;
    enabled_ = true;
    return true;
}

void LogFile::writeRaw(std::string_view bytes) {
    if (toStandardOutput_) {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return;
    }
    if (!fd_.valid()) return;
    pending_.append(bytes);
    if (pending_.size() >= kBatchSize) flush();
}

void LogFile::flush() {
    if (pending_.empty()) return;
    if (fd_.valid()) writeAll(fd_.get(), pending_);
    pending_.clear();
}

void LogFile::writeLine(std::string_view text) {
    if (!enabled_) return;
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text).append("\r\n");
    writeRaw(line);
}

void LogFile::writeFormatted(const char* format, ...) {
    if (!enabled_ || !format) return;
    char buffer[kFormatBufferSize];
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    std::size_t kept = std::min(static_cast<std::size_t>(length), sizeof buffer - 1);
    writeLine(std::string_view(buffer, kept));
}

void LogFile::writeTimed(const char* side, std::string_view text) {
    if (!enabled_) return;
    std::string line = clockText();
    line += ' ';
    line += side;
    line += ": ";
    line += text;
    line += "\r\n";
    writeRaw(line);
}

std::string LogFile::clockText() {
    // Log lines come in bursts (a list answer is a thousand lines within a millisecond): the
    // clock is formatted once a second, not once a line.
    thread_local std::time_t formattedSecond = -1;
    thread_local char text[16] = {};
    const std::time_t now = std::time(nullptr);
    if (now != formattedSecond) {
        std::tm local{};
        localtime_r(&now, &local);
        std::snprintf(text, sizeof text, "%02i:%02i:%02i", local.tm_hour, local.tm_min, local.tm_sec);
        formattedSecond = now;
    }
    return text;
}

void LogFile::pause() { enabled_ = false; }

void LogFile::resume() {
    if (isOpen()) enabled_ = true;
}

void LogFile::trimOpenFile() {
    struct stat info {};
    if (::fstat(fd_.get(), &info) != 0 || info.st_size <= static_cast<off_t>(maxSize_)) return;
    off_t keepFrom = nextLineStart(fd_.get(), info.st_size - static_cast<off_t>(maxSize_), info.st_size);
    if (!replaceWithTail(path_, fd_.get(), keepFrom, info.st_size))
        moveTailInPlace(fd_.get(), keepFrom, info.st_size);
}

void LogFile::close() {
    if (toStandardOutput_) std::fflush(stdout);
    toStandardOutput_ = false;
    enabled_ = false;
    if (!fd_.valid()) return;
    flush();
    trimOpenFile();
    fd_.reset();
    path_.clear();
}

} // namespace corvanthelix
