#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace corvanthelix {

class Shell;

/// The status window's state. It lives as long as the program, so a window created later shows
/// the current values; each setter stores the value and tells the shell which field changed.
/// All operations are thread-safe.
class StatusState {
public:
    static constexpr size_t kStatusTextMax = 99;
    static constexpr size_t kDetailTextMax = 254;

    /// `shell` may be null (nothing is told); it is not owned.
    void setShell(Shell* shell);

    /// Stores the text (cut to 99 characters).
    void setStatusText(const std::string& text);
    /// Stores the text (cut to 254 characters).
    void setDetailText(const std::string& text);
    void setSpamCount(int count);
    /// A new total resets the received amount to 0 and restarts the speed clock.
    void setTotal(int64_t bytes);
    /// Ignored when larger than the total.
    void setReceived(int64_t bytes);
    void addReceived(int64_t bytes);
    void setPercentMode(bool on);
    void setLock(bool on);
    /// Cancel asked for by the person; the mail check reads and clears it.
    void setCancelRequested(bool on);
    /// What Cancel does besides setting the flag: the running mail check installs the abort of
    /// its upstream connection here for its duration, so a long download stops at once rather than
    /// at the next message. Empty: nothing. Waits while requestCancel() is running the action.
    void setAbortAction(std::function<void()> action);
    /// The person pressed Cancel: sets the cancel flag, then runs the abort action on the
    /// calling thread.
    void requestCancel();

    std::string statusText() const;
    std::string detailText() const;
    int spamCount() const;
    int64_t total() const;
    int64_t received() const;
    bool percentMode() const;
    bool lock() const;
    bool cancelRequested() const;

    /// Bar position 0..100 (received × 100 / total; 0 while the total is 0).
    int barPosition() const;
    /// The progress text: string 225 in percent mode, otherwise string 127 with amounts and speed.
    std::string progressText() const;
    /// Returns everything to the start values (no window notification).
    void reset();

private:
    void notify(int field);
    mutable std::mutex mutex_;
    // Separate from mutex_: the action runs outside the state's lock but must not outlive the
    // check that installed it.
    std::mutex abortMutex_;
    std::function<void()> abortAction_;
    Shell* shell_ = nullptr;
    std::string statusText_;
    std::string detailText_;
    int spamCount_ = 0;
    int64_t total_ = 0;
    int64_t received_ = 0;
    std::chrono::steady_clock::time_point totalSetAt_ = std::chrono::steady_clock::now();
    bool percentMode_ = false;
    bool lock_ = false;
    bool cancelRequested_ = false;
};

} // namespace corvanthelix
