#include "net/TimerService.h"

#include <algorithm>

namespace corvanthelix {

TimerService& TimerService::instance() {
    static TimerService service;
    return service;
}

TimerService::TimerService() = default;

TimerService::~TimerService() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::int64_t TimerService::now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

TimerService::TimerId TimerService::start(std::chrono::milliseconds delay,
                                          std::function<void()> callback) {
    Entry entry;
    entry.due = Clock::now() + std::max(delay, std::chrono::milliseconds(0));
    entry.callback = std::move(callback);
    return add(std::move(entry));
}

TimerService::TimerId TimerService::watch(std::atomic<std::int64_t>& deadline,
                                          std::chrono::milliseconds idleRecheck,
                                          std::function<void()> callback) {
    Entry entry;
    entry.deadline = &deadline;
    entry.idleRecheck = std::max(idleRecheck, std::chrono::milliseconds(1));
    std::int64_t at = deadline.load();
    entry.due = at > 0 ? Clock::time_point(std::chrono::nanoseconds(at)) : Clock::now() + entry.idleRecheck;
    entry.callback = std::move(callback);
    return add(std::move(entry));
}

TimerService::TimerId TimerService::add(Entry entry) {
    bool earlier = false;
    TimerId id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id = nextId_++;
        entry.id = id;
        earlier = entry.due < plannedWake_;
        pending_.push_back(std::move(entry));
        if (!thread_.joinable() && !stopping_) thread_ = std::thread([this] { run(); });
    }
    // The thread sleeps until its earliest timer; only a timer due before that needs to wake it.
    if (earlier) wake_.notify_one();
    return id;
}

bool TimerService::claimWatch(Entry& entry, Clock::time_point now) {
    std::int64_t nowNs = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
    std::int64_t at = entry.deadline->load();
    for (;;) {
        if (at == kIdle || at == kFired) {
            entry.due = now + entry.idleRecheck;
            return false;
        }
        if (at > nowNs) {
            entry.due = Clock::time_point(std::chrono::nanoseconds(at));
            return false;
        }
        // The owner may end its wait at this very moment; whoever swaps first decides.
        if (entry.deadline->compare_exchange_weak(at, kFired)) return true;
    }
}

TimerService::Cancel TimerService::cancel(TimerId id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find_if(pending_.begin(), pending_.end(),
                              [id](const Entry& entry) { return entry.id == id; });
    if (found != pending_.end()) {
        // Order does not matter: the thread searches for the earliest timer each time.
        if (found != pending_.end() - 1) *found = std::move(pending_.back());
        pending_.pop_back();
        return Cancel::Cancelled;
    }
    return running_ == id && id != kNoTimer ? Cancel::Running : Cancel::Finished;
}

bool TimerService::waitWhileRunning(TimerId id, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return finished_.wait_for(lock, limit, [&] { return running_ != id || id == kNoTimer; });
}

void TimerService::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        if (pending_.empty()) {
            plannedWake_ = Clock::time_point::max();
            wake_.wait(lock);
            continue;
        }
        auto earliest = std::min_element(pending_.begin(), pending_.end(),
                                         [](const Entry& a, const Entry& b) { return a.due < b.due; });
        Clock::time_point now = Clock::now();
        if (earliest->due > now) {
            plannedWake_ = earliest->due;
            wake_.wait_until(lock, plannedWake_);
            continue;
        }
        if (earliest->deadline && !claimWatch(*earliest, now)) continue;
        std::function<void()> callback = std::move(earliest->callback);
        running_ = earliest->id;
        if (earliest != pending_.end() - 1) *earliest = std::move(pending_.back());
        pending_.pop_back();
        lock.unlock();
        try {
            callback();
        } catch (...) {
            // A callback failing must not take the timer thread (and every later time-out) down.
        }
        callback = nullptr;
        lock.lock();
        running_ = kNoTimer;
        finished_.notify_all();
    }
}

} // namespace corvanthelix
