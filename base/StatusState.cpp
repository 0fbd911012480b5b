#include "base/StatusState.h"

#include "base/Shell.h"
#include "base/StringTable.h"
#include "base/TranslatedFormat.h"

#include <cstdio>

namespace corvanthelix {

void StatusState::setShell(Shell* shell) {
    std::lock_guard<std::mutex> lock(mutex_);
    shell_ = shell;
}

void StatusState::notify(int field) {
    Shell* shell;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shell = shell_;
    }
    // Told outside the lock: the window reads the state back through the getters.
    if (shell) shell->statusChanged(static_cast<StatusField>(field));
}

void StatusState::setStatusText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        statusText_ = text.substr(0, kStatusTextMax);
    }
    notify(static_cast<int>(StatusField::Text));
}

void StatusState::setDetailText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        detailText_ = text.substr(0, kDetailTextMax);
    }
    notify(static_cast<int>(StatusField::Detail));
}

void StatusState::setSpamCount(int count) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        spamCount_ = count;
    }
    notify(static_cast<int>(StatusField::SpamCount));
}

void StatusState::setTotal(int64_t bytes) {
    Shell* shell;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (bytes == total_) return;
        total_ = bytes;
        received_ = 0;
        totalSetAt_ = std::chrono::steady_clock::now();
        shell = shell_;
    }
    if (shell) shell->traySetProgress(-1);
    notify(static_cast<int>(StatusField::Total));
}

void StatusState::setReceived(int64_t bytes) {
    Shell* shell;
    int64_t total;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (bytes > total_) return;
        received_ = bytes;
        total = total_;
        shell = shell_;
    }
    if (shell && total > 0) shell->traySetProgress(static_cast<int>(bytes * 1000 / total));
    notify(static_cast<int>(StatusField::Received));
}

void StatusState::addReceived(int64_t bytes) {
    int64_t now;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        now = received_;
    }
    setReceived(now + bytes);
}

void StatusState::setPercentMode(bool on) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        percentMode_ = on;
    }
    notify(static_cast<int>(StatusField::PercentMode));
}

void StatusState::setLock(bool on) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lock_ = on;
    }
    notify(static_cast<int>(StatusField::Lock));
}

void StatusState::setCancelRequested(bool on) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelRequested_ = on;
    }
    notify(static_cast<int>(StatusField::Cancel));
}

void StatusState::setAbortAction(std::function<void()> action) {
    std::lock_guard<std::mutex> lock(abortMutex_);
    abortAction_ = std::move(action);
}

void StatusState::requestCancel() {
    setCancelRequested(true);
    std::lock_guard<std::mutex> lock(abortMutex_);
    if (abortAction_) abortAction_();
}

std::string StatusState::statusText() const { std::lock_guard<std::mutex> l(mutex_); return statusText_; }
std::string StatusState::detailText() const { std::lock_guard<std::mutex> l(mutex_); return detailText_; }
int StatusState::spamCount() const { std::lock_guard<std::mutex> l(mutex_); return spamCount_; }
int64_t StatusState::total() const { std::lock_guard<std::mutex> l(mutex_); return total_; }
int64_t StatusState::received() const { std::lock_guard<std::mutex> l(mutex_); return received_; }
bool StatusState::percentMode() const { std::lock_guard<std::mutex> l(mutex_); return percentMode_; }
bool StatusState::lock() const { std::lock_guard<std::mutex> l(mutex_); return lock_; }
bool StatusState::cancelRequested() const { std::lock_guard<std::mutex> l(mutex_); return cancelRequested_; }

int StatusState::barPosition() const {
    std::lock_guard<std::mutex> l(mutex_);
    return total_ > 0 ? static_cast<int>(received_ * 100 / total_) : 0;
}

std::string StatusState::progressText() const {
    std::lock_guard<std::mutex> l(mutex_);
    if (percentMode_) {
        int percent = total_ > 0 ? static_cast<int>(received_ * 100 / total_) : 100;
        return TranslatedFormat::byId(225, percent);
    }
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - totalSetAt_).count();
    double speed = static_cast<double>(received_) * 1000.0 / 1024.0 / static_cast<double>(elapsed + 1);
    return TranslatedFormat::byId(127, received_ / 1024.0, total_ / 1024.0, speed);
}

void StatusState::reset() {
    std::lock_guard<std::mutex> l(mutex_);
    statusText_.clear();
    detailText_.clear();
    spamCount_ = 0;
    total_ = received_ = 0;
    totalSetAt_ = std::chrono::steady_clock::now();
    percentMode_ = lock_ = cancelRequested_ = false;
}

} // namespace corvanthelix
