#include "proxy/TimerService.h"

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

TimerService::TimerId TimerService::start(std::chrono::milliseconds delay,
                                          std::function<void()> callback) {
    Clock::time_point due = Clock::now() + std::max(delay, std::chrono::milliseconds(0));
    bool earlier = false;
    TimerId id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id = nextId_++;
        pending_.push_back(Entry{id, due, std::move(callback)});
        earlier = due < plannedWake_;
        if (!thread_.joinable() && !stopping_) thread_ = std::thread([this] { run(); });
    }
    // The thread sleeps until its earliest timer; only a timer due before that needs to wake it.
    if (earlier) wake_.notify_one();
    return id;
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
        if (earliest->due > Clock::now()) {
            plannedWake_ = earliest->due;
            wake_.wait_until(lock, plannedWake_);
            continue;
        }
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
