#pragma once
#include <atomic>
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
/// Besides plain one-shot timers there are watches: a watch follows a deadline that its owner moves
/// with a plain atomic store, so a client that arms a time-out for every line it reads pays no
/// call into the service per line. The thread is woken only when a new timer is due before the
/// one it sleeps for.
class TimerService {
public:
    using TimerId = std::uint64_t;
    static constexpr TimerId kNoTimer = 0;

    /// Value of a watched deadline while its owner does not wait.
    static constexpr std::int64_t kIdle = 0;
    /// Value the service swaps into a watched deadline when the watch fires.
    static constexpr std::int64_t kFired = -1;

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

    /// Now on the clock that watched deadlines are measured by, in nanoseconds (never kIdle or
    /// kFired).
    static std::int64_t now();

    /// Starts a watch on `deadline` (not owned; must stay valid until the watch has fired or been
    /// cancelled). While `deadline` holds a time (a value of now()), the watch fires once that time
    /// has passed: the service swaps kFired into `deadline` (so its owner can tell, atomically,
    /// whether it stopped waiting first) and then calls `callback` on the timer thread. While it
    /// holds kIdle nothing fires; the service looks again after `idleRecheck`, so a later deadline
    /// must not lie closer than that after being set from kIdle. One-shot: after firing, the
    /// watch is gone. Returns its id for cancel() and waitWhileRunning().
    TimerId watch(std::atomic<std::int64_t>& deadline, std::chrono::milliseconds idleRecheck,
                  std::function<void()> callback);

    /// Cancels timer or watch `id`; see Cancel for the answers. Never waits.
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
        std::atomic<std::int64_t>* deadline = nullptr; // for a watch
        Clock::duration idleRecheck{};
    };

    TimerId add(Entry entry);
    /// For a watch that is due: moves it to its current deadline and returns false, or claims it
    /// (kFired) and returns true.
    static bool claimWatch(Entry& entry, Clock::time_point now);
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
