#pragma once
// Makes sure one program runs per program folder: a lock file held for the program's life, and a
// local socket on which the running program accepts "show the tray icon again" from a second
// start.
#include "base/UniqueFd.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace corvanthelix {

class SingleInstance {
public:
    static constexpr const char* kLockFileName = "corvanthelix.lock";
    static constexpr const char* kSocketFileName = "corvanthelix.socket";
    /// The one request a second start sends, and the running program's answer.
    static constexpr const char* kShowTrayIconRequest = "SHOW-TRAY-ICON\n";
    static constexpr const char* kAcknowledge = "+OK\n";

    enum class Claim {
        First,    ///< this process holds the lock: it is the running program
        Second,   ///< another process holds it
        Failed,   ///< the lock file cannot be opened
    };

    /// Nothing is taken yet. `programFolder` without a trailing separator.
    explicit SingleInstance(std::string programFolder);
    /// release().
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    /// Takes the lock file (created 0600) without waiting. The lock is the kernel's: a program that
    /// died leaves nothing that blocks the next start.
    Claim claim();

    /// After claim() gave First: listens on the local socket and calls `onShowTrayIcon` (on the
    /// listener's thread) for every request. False when the socket cannot be opened.
    bool listen(std::function<void()> onShowTrayIcon);

    /// Stops the listener, removes the socket file and releases the lock. Any number of times.
    void release();

    /// For a second start: asks the running program to show its tray icon again, trying for up to
    /// `patienceMs` while the running one may still be starting. True when it acknowledged.
    static bool askToShowTrayIcon(const std::string& programFolder, int patienceMs = 2000);

private:
    void acceptLoop();
    void serve(int client);

    std::string programFolder_;
    UniqueFd lock_;
    UniqueFd listener_;
    UniqueFd wakeRead_;
    UniqueFd wakeWrite_;
    std::thread thread_;
    std::function<void()> onShow_;
    std::string socketPath_;
    bool socketFile_ = false;
};

} // namespace corvanthelix
