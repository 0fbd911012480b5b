#pragma once
// The desktop's Shell: every call the core makes from any thread is carried out on the GUI thread.
// Calls the design makes synchronous (boxes, questions, dialogs, mail check begin and end) wait
// for their answer when they come from another thread and run directly on the GUI thread. All
// other calls are posted and never wait; status changes and tray progress are coalesced, so a
// fast download does not flood the event queue. Once stop() has run (the event loop has ended),
// no call waits any more: questions get their answer without a person, like the headless shell.
#include "base/Shell.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

class QMessageBox;

namespace corvanthelix {

class MainWindow;

class QtShell : public QObject, public Shell {
    Q_OBJECT
public:
    /// Works on `window` (not owned; must outlive every call). Construct on the GUI thread.
    explicit QtShell(MainWindow& window);
    ~QtShell() override;

    /// The event loop has ended: every call waiting for the GUI thread returns its answer without
    /// a person now, and later calls from other threads do not wait. Call on the GUI thread after
    /// the loop returned and before the core is stopped (stopping joins threads that may be
    /// waiting here).
    void stop();

    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int optionalMessageBox(const std::string& text, const std::string& caption, unsigned flags,
                           const std::string& settingName, int defaultAnswer) override;
    int timeoutQuestion() override;
    void closeTimeoutQuestion() override;
    bool loginDialog(LoginRequest& request) override;
    /// A yes/no box with the question's text; No without a person (after stop()).
    bool trustCertificate(const CertificateQuestion& question) override;
    void statusShow() override;
    void statusDestroy() override;
    void statusChanged(StatusField field) override;
    void traySetTooltip(const std::string& text) override;
    void traySetProgress(int percentTenths) override;
    void traySetSpamCounter(int count) override;
    void trayAnimate(bool on) override;
    void trayBalloon(const std::string& text) override;
    void trayShowAgain() override;
    void mailCheckBegin() override;
    void mailCheckEnd() override;
    void recycleBinRowChanged(RecycleRowChange change, const std::string& fileName) override;

    /// Receives the recycle bin's row changes on the GUI thread (the recycle bin window installs
    /// it). Empty: they are dropped.
    void setRecycleRowHandler(std::function<void(RecycleRowChange, const std::string&)> handler);

private:
    struct PendingCall;
    bool onGuiThread() const;
    /// Runs `call` on the GUI thread and waits for it; `fallback` when that cannot be.
    void runAndWait(const std::function<void()>& call, const std::function<void()>& fallback);
    /// Runs `call` on the GUI thread without waiting (dropped after stop()).
    void post(std::function<void()> call);
    void flushStatus();
    void flushProgress();

    // GUI-thread work of the synchronous calls.
    int showMessageBox(const std::string& text, const std::string& caption, unsigned flags);
    int askTimeout();
    bool askLogin(LoginRequest& request);

    MainWindow& window_;
    std::atomic<bool> stopped_{false};
    std::mutex pendingMutex_;
    std::set<std::shared_ptr<PendingCall>> pending_;
    std::atomic<unsigned> dirtyFields_{0};
    std::atomic<int> progressTenths_{-1};
    std::atomic<bool> progressPosted_{false};
    QPointer<QMessageBox> timeoutBox_;
    std::function<void(RecycleRowChange, const std::string&)> recycleRowHandler_;
};

} // namespace corvanthelix
