#pragma once
// Starts the update checks of the desktop: the manual one of the tray menu ("Check for
// updates..."), the silent one of the main window's update poll, and the language pack check.
// Each check gets a download window; its outcome goes to MainWindow::onUpdateCheckDone, which
// destroys the window, and the finished check is released.
#include "update/UpdateCheck.h"

#include <QObject>
#include <QPointer>

#include <string>

namespace corvanthelix {

class DownloadWindow;
class MainWindow;

class UpdateController : public QObject {
    Q_OBJECT
public:
    /// Registers command 40006 and the silent check with `window` (not owned; outlives this).
    UpdateController(MainWindow& window, std::string programFolder);
    /// Cancels a running check, waits for its worker and destroys the process-wide UpdateCheck.
    ~UpdateController() override;

    /// 0 started, 1 refused (a check runs). The window is shown unless `silent`.
    int startUpdateCheck(bool silent);
    /// As startUpdateCheck(false), for the language pack.
    int startLanguagePackCheck();

    /// What a check is started with: "UpdateHost", the program folder, the installed version and
    /// language pack; the CA file CORVANTHELIX_TEST_CA_FILE names replaces the system's store
    /// (tests only).
    UpdateCheckOptions checkOptions() const;
    /// The window of the running check; null when none runs.
    DownloadWindow* downloadWindow() const;

private:
    int start(UpdateKind kind, bool silent);

    MainWindow& window_;
    std::string programFolder_;
    QPointer<DownloadWindow> current_;
};

} // namespace corvanthelix
