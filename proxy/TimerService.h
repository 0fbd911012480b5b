#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace corvanthelix {

/// One-shot timers for every wait on a mail server, served by one thread. A timer's callback runs
/// on that thread when the timer is due and has not been cancelled; one callback runs at a time,
/// so a callback that blocks (a question to the person) delays the others.
///
/// Starting and cancelling are cheap (no allocation for small callbacks, the thread is woken only
/// when a new timer is due before the one it sleeps for), because the upstream client arms a
/// timer for every line it reads.
class TimerService {
public:
    using TimerId = std::uint64_t;
    static constexpr TimerId kNoTimer = 0;

    /// What cancel() found.
    enum class Cancel {
        Cancelled, ///< the timer had not fired; its callback will never run
        Running,   ///< its callback is running right now on the timer thread
        Finished,  ///< its callback has run already (or the id is unknown)
    };

    /// The process-wide service; its thread starts with the first timer.
    static TimerService& instance();

    TimerService();
    /// Ends the thread. Timers still pending never fire; a running callback is waited for.
    ~TimerService();
    TimerService(const TimerService&) = delete;
    TimerService& operator=(const TimerService&) = delete;

    /// Starts a timer that calls `callback` once after `delay` (0 or negative: as soon as the
    /// thread gets to it). Returns its id, never kNoTimer. An exception leaving the callback is
    /// swallowed.
    TimerId start(std::chrono::milliseconds delay, std::function<void()> callback);

    /// Cancels timer `id`; see Cancel for the answers. Never waits.
    Cancel cancel(TimerId id);

    /// Waits at most `limit` while the callback of `id` is running. True when it is not running
    /// (anymore).
    bool waitWhileRunning(TimerId id, std::chrono::milliseconds limit);

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        TimerId id;
        Clock::time_point due;
        std::function<void()> callback;
    };

    void run();

    std::mutex mutex_;
    std::condition_variable wake_;     // tells the thread about an earlier timer or the end
    std::condition_variable finished_; // a callback has returned
    std::vector<Entry> pending_;       // few at a time: a linear search beats a tree here
    TimerId running_ = kNoTimer;
    TimerId nextId_ = 1;
    Clock::time_point plannedWake_ = Clock::time_point::max();
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace corvanthelix
