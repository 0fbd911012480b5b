#include "proxy/IdleWatchdog.h"

#include "net/Connection.h"

namespace corvanthelix {

IdleWatchdog::IdleWatchdog(Connection& connection) : connection_(connection), thread_(&IdleWatchdog::watch, this) {}

IdleWatchdog::~IdleWatchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void IdleWatchdog::arm(std::chrono::milliseconds limit) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = limit.count() > 0;
        deadline_ = std::chrono::steady_clock::now() + limit;
    }
    changed_.notify_all();
}

void IdleWatchdog::disarm() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = false;
    }
    changed_.notify_all();
}

bool IdleWatchdog::fired() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fired_;
}

void IdleWatchdog::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        if (!armed_) {
            changed_.wait(lock);
            continue;
        }
        if (changed_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ && !stopping_ &&
            std::chrono::steady_clock::now() >= deadline_) {
            armed_ = false;
            fired_ = true;
            // close() may be called from any thread; it wakes the read blocked on the connection.
            connection_.close();
        }
    }
}

} // namespace corvanthelix
