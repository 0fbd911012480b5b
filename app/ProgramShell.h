#pragma once
// The shell the program installs: forwards every call to the desktop's or the headless shell and
// adds what the program itself does when a mail check begins and ends (the ageing of the recycle
// bin and the training area, the tray's spam counter and tooltip, the trimming of the heap).
#include "base/Shell.h"

namespace corvanthelix {

class ProgramShell : public Shell {
public:
    /// Forwards to `inner`, which must outlive this object.
    explicit ProgramShell(Shell& inner);

    /// Resets the status state (texts, totals, spam count), starts the tray animation, tells the
    /// inner shell (which shows the status window), then
    /// ages the recycle bin ("RecycleBinMaxDays") and the training area ("TrainingAreaMaxDays"),
    /// each with its status text.
    void mailCheckBegin() override;
    /// Stops the animation, tells the inner shell (which closes the status window), shows the spam
    /// counter and its tooltip, and gives unused heap memory back.
    void mailCheckEnd() override;

    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int optionalMessageBox(const std::string& text, const std::string& caption, unsigned flags,
                           const std::string& settingName, int defaultAnswer) override;
    int timeoutQuestion() override;
    void closeTimeoutQuestion() override;
    bool loginDialog(LoginRequest& request) override;
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
    void recycleBinRowChanged(RecycleRowChange change, const std::string& fileName) override;

private:
    Shell& inner_;
};

} // namespace corvanthelix
