#pragma once
#include "net/Connection.h"
#include "upstream/LogFile.h"
#include "net/TimerService.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace corvanthelix {

/// Result codes of the upstream client, shared by Pop3Client, Mailbox and their callers.
enum class UpstreamResult : int {
    Ok = 0,             ///< the server answered "+OK"
    NoAnswer = -1,      ///< no answer could be read, TLS failed, or no client
    Refused = -3,       ///< the server answered something other than "+OK"
    TimedOut = -4,      ///< a wait timed out and the time-out handler chose to abort
    ConnectFailed = -5, ///< the host name did not resolve or the TCP connect failed
    SendFailed = -6,    ///< a command could not be sent
    Untrusted = -7,     ///< the server's certificate did not verify and was not trusted; nothing was sent
    UpgradeFailed = -8, ///< the server offered STLS (or had before) and the upgrade did not happen
};

/// Events passed to the time-out handler.
namespace timeoutEvent {
constexpr int kFired = 0;    ///< the server has been silent for the whole time-out (timer thread)
constexpr int kArmed = 1;    ///< a wait for the server begins
constexpr int kDisarmed = 2; ///< the wait is over
} // namespace timeoutEvent

/// Base of the protocol client: one connection to a mail server, a server log of the
/// conversation, and a time-out guarding every wait for the server. The virtual operations are
/// declared in their fixed order; the ones a concrete protocol must supply answer -1 here.
///
/// Time-outs: every wait arms a time-out of timeout() milliseconds (a watch on the TimerService).
/// When it fires, the handler gets kFired on the timer thread: a nonzero answer means "keep
/// waiting" (no new timer for this wait); zero, or no handler, sets lastError() to -4 and closes
/// the connection, so the blocked read fails. The -4 stays for the life of the object: every
/// later wait reports -4, and every later command fails with -4.
///
/// Threads: every operation takes the object's re-entrant lock. The timer callback does not take
/// it; it only calls the handler, sets the last error and closes the connection.
class ProtocolClient {
public:
    /// Told the number of bytes received since its last call, during long multi-line answers.
    using ProgressCallback = std::function<void(std::uint32_t bytes)>;
    /// Gets a timeoutEvent; its answer matters only for kFired (nonzero: keep waiting).
    using TimeoutHandler = std::function<int(int event)>;

    static constexpr std::uint32_t kDefaultTimeoutMs = 60000;
    /// A line of an answer longer than this (16 MiB) counts as a read error. Message texts are
    /// not read as lines and know no such limit.
    static constexpr std::size_t kMaxLineLength = 16u * 1024 * 1024;

    ProtocolClient();

    /// Reads one line (up to and including "\r\n"; a bare line feed does not end it) into `out`.
    /// Returns its length; 0 when the connection was closed (out empty); -1 on a read error, a
    /// line over kMaxLineLength, or a connection closed by the time-out (out empty). A line
    /// longer than one character goes into the server log as "hh:mm:ss S: " + line without its
    /// "\r\n" (unless the log is paused).
    virtual int readLine(std::string& out);
    /// Sends one command line. The base answers -1.
    virtual int sendCommand(std::string_view text);
    /// Closes the server log and the connection.
    virtual ~ProtocolClient();
    /// Connects without TLS. The base answers -1.
    virtual UpstreamResult connect(const std::string& host, int port);
    /// Ends the connection without a word to the server. The base does nothing.
    virtual void disconnect();
    /// The base answers -1.
    virtual UpstreamResult login(const std::string& user, const std::string& password);
    /// The base answers -1.
    virtual UpstreamResult quit();
    /// The base answers -1.
    virtual UpstreamResult noop();
    /// Opens the server log at `path` with size limit `maxSize` (a null path logs to standard
    /// output). 0 on success, -1 when the file cannot be opened.
    virtual int openServerLog(const char* path, std::uint32_t maxSize);
    /// Sets the time-out of every later wait; returns the previous one.
    virtual std::uint32_t setTimeout(std::uint32_t milliseconds);
    /// 0, -5 after a failed TCP connect, -4 after a time-out (for good).
    virtual UpstreamResult lastError() const;
    /// The last response line read by a command, with its line end; nullopt before the first.
    virtual std::optional<std::string> lastResponse() const;
    /// True from a "+OK" greeting until disconnect() or quit().
    virtual bool isConnected() const;
    /// True when data from the server waits (20-microsecond poll).
    virtual bool isReadable();
    /// True when the connection can take data (20-microsecond poll).
    virtual bool isWritable();
    /// Writes `text` as one line into the server log.
    virtual void writeServerLog(std::string_view text);
    /// Writes the server log's gathered lines to its file (LogFile::flush).
    void flushServerLog();

    /// Installs the progress callback (null: none). Called on the thread that reads.
    void setProgressCallback(ProgressCallback callback);
    /// Installs the time-out handler (null: a time-out aborts at once).
    void setTimeoutHandler(TimeoutHandler handler);
    std::uint32_t timeout() const { return timeout_.load(); }

    /// Closes the connection at once, from any thread and without the lock, so that a command
    /// blocked on the server fails now (used to end a session that is being stopped). The
    /// client is disconnected afterwards; it is not marked as timed out.
    void interrupt();

    /// The connection to the mail server. Owned by the client and alive exactly as long as the
    /// client: connect() and disconnect() reopen and close this same object, so the reference
    /// stays valid across reconnections. For callers that register it with something that may
    /// close it from another thread (Connection::close() is safe there; see SessionControl) or
    /// ask how it runs (hasTls()). Reading or writing through it bypasses the client's lock,
    /// time-out and server log, so commands go through the client's own operations.
    Connection& connection() { return connection_; }
    const Connection& connection() const { return connection_; }

protected:
    /// Arms the time-out for one wait and tells the handler kArmed. Cheap enough for every line
    /// of a message. Call under the lock.
    void armTimeout();
    /// Ends the wait: stops the time-out, tells the handler kDisarmed, and, when the time-out
    /// fired during the wait (the person may be being asked), waits for its callback to finish.
    /// Returns -4 when the client has timed out (now or earlier), else 0. Call under the lock.
    UpstreamResult disarmTimeout();
    /// Reads one response line under a time-out: 0 for "+OK" (any case), -3 for anything else;
    /// the line replaces lastResponse(). -1 when no line came; -4 after a time-out.
    UpstreamResult readResponse();
    /// The server log ("hh:mm:ss C: ..." lines and the notes of the concrete client).
    LogFile& serverLog() { return serverLog_; }
    /// Records a failed TCP connect (-5) without overwriting a time-out.
    void setConnectFailed();
    void callProgress(std::uint32_t bytes);

    mutable std::recursive_mutex lock_;
    Connection connection_;
    std::atomic<bool> connected_{false};

private:
    void onTimerFired();
    int callHandler(int event);
    /// Ends the watch of an idle client (no wait in progress).
    void stopWatch();

    std::atomic<std::uint32_t> timeout_{kDefaultTimeoutMs};
    std::atomic<UpstreamResult> lastError_{UpstreamResult::Ok};
    LogFile serverLog_;
    std::optional<std::string> lastResponse_;
    ProgressCallback progress_;
    TimeoutHandler timeoutHandler_;
    // The time-out: one watch on the timer service follows waitDeadline_, which every wait sets
    // and clears; the watch lives across waits until it fires.
    std::atomic<std::int64_t> waitDeadline_{TimerService::kIdle};
    TimerService::TimerId watch_ = TimerService::kNoTimer;
    std::string responseLine_; // reused between responses
};

} // namespace corvanthelix
