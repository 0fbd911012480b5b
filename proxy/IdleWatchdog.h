#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace corvanthelix {

class Connection;

/// Closes a connection that has been waited on for too long: a mail client that sends no command,
/// or stalls in the TLS handshake, must not keep its session (and the session lock) for ever.
/// arm() starts a deadline, disarm() ends it; when the deadline passes first, the watched
/// connection is closed from the watchdog's own thread, which makes the blocked read fail.
///
/// The connection is not owned and must outlive the watchdog. arm() and disarm() are called from
/// the thread that uses the connection.
class IdleWatchdog {
public:
    /// A watchdog for `connection`, disarmed. Starts its thread.
    explicit IdleWatchdog(Connection& connection);
    /// Stops the thread; the connection stays as it is.
    ~IdleWatchdog();
    IdleWatchdog(const IdleWatchdog&) = delete;
    IdleWatchdog& operator=(const IdleWatchdog&) = delete;

    /// Closes the connection once `limit` has passed unless disarm() or another arm() comes
    /// first. A limit of zero or less arms nothing.
    void arm(std::chrono::milliseconds limit);
    /// Ends the current deadline.
    void disarm();
    /// True once the watchdog has closed the connection.
    bool fired() const;

private:
    void watch();

    Connection& connection_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::chrono::steady_clock::time_point deadline_{};
    bool armed_ = false;
    bool fired_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace corvanthelix
