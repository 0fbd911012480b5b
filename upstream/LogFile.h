#pragma once
#include "base/UniqueFd.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace corvanthelix {

/// A plain-text protocol or filter log: append-only while open, trimmed from the front to a whole
/// line when closed so that it stays within its size limit. Used for the client log, the server
/// log and the filter log. Every line goes to the file as text + "\r\n".
///
/// A log that cannot be opened is silently absent: writing to it does nothing. Log files are
/// created with mode 0600 (they hold mail addresses and protocol dialogue).
///
/// Threads: one owner at a time (the client session, the upstream client under its lock, the
/// commit); the object itself takes no lock.
class LogFile {
public:
    static constexpr std::uint32_t kDefaultMaxSize = 102400;
    /// Longest line writeFormatted() produces (the rest of a longer one is cut off).
    static constexpr std::size_t kFormatBufferSize = 2048;

    /// A closed, disabled log with the default size limit.
    LogFile();
    /// close().
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    /// Closes an open file first (trimming it). A null `path` switches the log to standard output
    /// (enabled, no file). Otherwise opens the file for reading and writing, creating it (0600)
    /// when missing, and takes an exclusive lock on it: a file that another owner holds open as a
    /// log is refused. Moves to the end and stores `maxSize`. Returns true when the log is open
    /// and enabled; false leaves it closed.
    bool open(const char* path, std::uint32_t maxSize = kDefaultMaxSize);
    bool open(const std::string& path, std::uint32_t maxSize = kDefaultMaxSize) {
        return open(path.c_str(), maxSize);
    }

    /// Writes `text` + "\r\n" in one piece. Nothing while paused or closed; to standard output
    /// when opened with a null path. Lines are gathered in memory and reach the file together:
    /// at flush(), at close(), and whenever kBatchSize bytes have gathered.
    void writeLine(std::string_view text);

    /// Writes the gathered lines to the file now (one write). Owners call it at the end of each
    /// command, so a log read while the program runs is at most one command behind.
    void flush();

    /// Gathered bytes beyond which a line is written at once.
    static constexpr std::size_t kBatchSize = 16384;

    /// Formats like printf into a buffer of 2048 bytes and writes the result as one line; the part
    /// of the output that does not fit the buffer is dropped.
    void writeFormatted(const char* format, ...) __attribute__((format(printf, 2, 3)));

    /// Writes "hh:mm:ss <side>: " (local time) followed by `text` as one line; `side` is "C" or
    /// "S". The prefix of every protocol line of the client and server logs.
    void writeTimed(const char* side, std::string_view text);

    /// Pause clears the enabled flag (used while message texts pass through); resume sets it
    /// again. Resume on a closed log has no effect.
    void pause();
    void resume();

    /// When the file has grown beyond the size limit, keeps only its end: everything after the
    /// first line feed at or after (size - limit), so the log begins with a whole line. The
    /// trimmed log replaces the file atomically (gathered lines are written first). Then closes
    /// the file and clears enabled.
    /// Harmless on a closed log.
    void close();

    /// True while a file or standard output is open.
    bool isOpen() const { return fd_.valid() || toStandardOutput_; }
    /// True while open and not paused.
    bool isEnabled() const { return enabled_; }
    std::uint32_t maxSize() const { return maxSize_; }

    /// "hh:mm:ss" of the local time now.
    static std::string clockText();

private:
    void writeRaw(std::string_view bytes);
    void trimOpenFile();

    std::uint32_t maxSize_ = kDefaultMaxSize;
    UniqueFd fd_;
    bool enabled_ = false;
    bool toStandardOutput_ = false;
    std::string path_;
    std::string pending_; // lines gathered for the next write
};

} // namespace corvanthelix
