#pragma once
#include "base/Shell.h"

#include <chrono>
#include <mutex>
#include <string>

namespace corvanthelix {

/// Shell for running without a desktop: logs every effect to standard error and answers without a
/// person. Optional boxes give their default answer, the time-out question answers Abort, yes/no
/// questions answer No, the Login dialog is cancelled.
class HeadlessShell : public Shell {
public:
    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int optionalMessageBox(const std::string& text, const std::string& caption, unsigned flags,
                           const std::string& settingName, int defaultAnswer) override;
    int timeoutQuestion() override;
    void closeTimeoutQuestion() override {}
    bool loginDialog(LoginRequest& request) override;
    /// Logs the question and answers No.
    bool trustCertificate(const CertificateQuestion& question) override;
    void statusShow() override {}
    void statusDestroy() override {}
    /// Logs a new status text at most once a second (a mail check changes it once per message;
    /// the last one held back is logged when the check ends) and every new detail line.
    void statusChanged(StatusField field) override;
    void traySetTooltip(const std::string& text) override;
    void traySetProgress(int) override {}
    void traySetSpamCounter(int count) override;
    void trayAnimate(bool) override {}
    void trayBalloon(const std::string& text) override;
    void trayShowAgain() override;
    void mailCheckBegin() override;
    void mailCheckEnd() override;
    void recycleBinRowChanged(RecycleRowChange, const std::string&) override {}

private:
    void log(const std::string& line);
    std::mutex logMutex_;
    std::mutex statusMutex_;
    std::chrono::steady_clock::time_point statusLoggedAt_{};
    std::string heldBackStatus_;
};

} // namespace corvanthelix
