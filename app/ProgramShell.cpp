#include "app/ProgramShell.h"
#include "app/StoreRepair.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "base/TrayText.h"
#include "proxy/ProxyServer.h"
#include "stores/RecycleBin.h"
#include "stores/TrainingArea.h"

#include <cstdio>

namespace corvanthelix {

namespace {
constexpr int kStringAgeingBin = 143;
constexpr int kStringAgeingTraining = 179;

} // namespace

ProgramShell::ProgramShell(Shell& inner) : inner_(inner) {}


void ProgramShell::mailCheckBegin() {
    // The status window of a new check starts empty, not with the last check's counts.
    Application::instance().status().reset();
    inner_.trayAnimate(true);
    inner_.mailCheckBegin();
    StatusState& status = Application::instance().status();
    status.setStatusText(loadString(kStringAgeingBin));
    // An index damaged while the program ran is mended before the check relies on it.
    StoreRepair::repairDamagedStores();
    RecycleBin::instance().expireOld(settings::recycleBinMaxDays());
    status.setStatusText("");
    status.setStatusText(loadString(kStringAgeingTraining));
    TrainingArea::instance().expireOld(settings::trainingAreaMaxDays());
    status.setStatusText("");
}

void ProgramShell::mailCheckEnd() {
    inner_.trayAnimate(false);
    inner_.mailCheckEnd();
    Application& app = Application::instance();
    inner_.traySetSpamCounter(app.spamCount());
    inner_.traySetTooltip(tray::tooltipAfterCheck(app.spamCount(), ProxyServer::instance().closedPort()));
    app.trimWorkingSet();
}

int ProgramShell::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return inner_.messageBox(text, caption, flags);
}
int ProgramShell::optionalMessageBox(const std::string& text, const std::string& caption, unsigned flags,
                                     const std::string& settingName, int defaultAnswer) {
    return inner_.optionalMessageBox(text, caption, flags, settingName, defaultAnswer);
}
int ProgramShell::timeoutQuestion() { return inner_.timeoutQuestion(); }
void ProgramShell::closeTimeoutQuestion() { inner_.closeTimeoutQuestion(); }
bool ProgramShell::loginDialog(LoginRequest& request) { return inner_.loginDialog(request); }
bool ProgramShell::trustCertificate(const CertificateQuestion& question) { return inner_.trustCertificate(question); }
void ProgramShell::statusShow() { inner_.statusShow(); }
void ProgramShell::statusDestroy() { inner_.statusDestroy(); }
void ProgramShell::statusChanged(StatusField field) { inner_.statusChanged(field); }
void ProgramShell::traySetTooltip(const std::string& text) { inner_.traySetTooltip(text); }
void ProgramShell::traySetProgress(int percentTenths) { inner_.traySetProgress(percentTenths); }
void ProgramShell::traySetSpamCounter(int count) { inner_.traySetSpamCounter(count); }
void ProgramShell::trayAnimate(bool on) { inner_.trayAnimate(on); }
void ProgramShell::trayBalloon(const std::string& text) { inner_.trayBalloon(text); }
void ProgramShell::trayShowAgain() { inner_.trayShowAgain(); }
void ProgramShell::recycleBinRowChanged(RecycleRowChange change, const std::string& fileName) {
    inner_.recycleBinRowChanged(change, fileName);
}

} // namespace corvanthelix
