#include "ui/shell/UpdateController.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/Settings.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/QtUpdateView.h"
#include "ui/options/OptionsDialog.h"
#include "ui/windows/DownloadWindow.h"

#include <cstdlib>

namespace corvanthelix {

UpdateController::UpdateController(MainWindow& window, std::string programFolder)
    : window_(window), programFolder_(std::move(programFolder)) {
    window_.setCommand(command::kUpdateCheck, [this] { startUpdateCheck(false); });
    window_.setSilentUpdateCheck([this] { startUpdateCheck(true); });
    OptionsDialog::hooks().checkLanguagePack = [this] { startLanguagePackCheck(); };
    window_.rebuildTrayMenu();
}

UpdateController::~UpdateController() {
    OptionsDialog::hooks().checkLanguagePack = {};
    window_.setSilentUpdateCheck({});
    window_.setCommand(command::kUpdateCheck, {});
    if (current_) {
        // Stop the transfer at its next chunk; questions are answered without a person by now.
        current_->close();
        UpdateCheck::instance().release();
        delete current_.data();
    }
    UpdateCheck::destroyInstance();
}

UpdateCheckOptions UpdateController::checkOptions() const {
    UpdateCheckOptions options;
    options.hostSetting = settings::updateHost();
    options.programFolder = programFolder_;
    options.installedVersion = Application::kVersion;
    options.languagePackVersion = settings::languagePackVersion();
    if (const char* ca = std::getenv("CORVANTHELIX_TEST_CA_FILE"); ca && *ca) options.transfer.caFile = ca;
    return options;
}

DownloadWindow* UpdateController::downloadWindow() const { return current_.data(); }

int UpdateController::startUpdateCheck(bool silent) { return start(UpdateKind::program, silent); }

int UpdateController::startLanguagePackCheck() { return start(UpdateKind::languagePack, false); }

int UpdateController::start(UpdateKind kind, bool silent) {
    if (UpdateCheck::instance().running()) return 1;
    auto* progress = new DownloadWindow;
    QPointer<DownloadWindow> guard(progress);
    auto view = std::make_shared<QtUpdateView>(progress, [this, guard](UpdateOutcome outcome) {
        window_.onUpdateCheckDone(static_cast<int>(outcome), guard.data());
        UpdateCheck::instance().release();
    });
    // Shown before the worker starts, so that its first look at the window sees it.
    if (!silent) progress->show();
    if (!UpdateCheck::instance().start(kind, checkOptions(), view)) {
        delete progress;
        return 1;
    }
    current_ = progress;
    window_.setUpdateCheckRunning(true);
    return 0;
}

} // namespace corvanthelix
