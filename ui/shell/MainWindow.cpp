#include "ui/shell/MainWindow.h"

#include "base/Application.h"
#include "base/HelpPages.h"
#include "base/TrayText.h"
#include "base/TranslatedFormat.h"
#include "base/Settings.h"
#include "ui/windows/AboutDialog.h"
#include "ui/options/OptionsDialog.h"
#include "ui/widgets/PasswordDialog.h"
#include "ui/windows/BackupDialog.h"
#include "proxy/ProxyServer.h"
#include "stores/RecycleBin.h"
#include "stores/TrainingArea.h"
#include "ui/widgets/OptionalMessageBox.h"
#include "ui/shell/TrayIcon.h"
#include "ui/shell/TrayMenu.h"
#include "base/TextUtils.h"
#include "base/ControlIds.h"
#include "base/StringTable.h"
#include "ui/windows/StatusWindow.h"
#include "ui/windows/RecycleBinWindow.h"
#include "ui/windows/StatisticsWindow.h"
#include "ui/windows/TrainingAreaWindow.h"
#include "stores/RecycleBin.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace corvanthelix {

namespace {
constexpr const char* kWizardSwitch = "/wizard";
constexpr const char* kFirstRunSwitch = "/firstrun";
constexpr int kWizardPollMilliseconds = 100;
constexpr int kBalloonDelayMilliseconds = 1000;

bool hasSwitch(const std::vector<std::string>& arguments, const char* name) {
    // A whole argument only: a folder named "wizard" in a path given to --home is no switch.
    return std::find(arguments.begin(), arguments.end(), name) != arguments.end();
}

QString text(int id) { return QString::fromStdString(loadString(id)); }
} // namespace

MainWindow::MainWindow(std::string programFolder, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder)), tray_(std::make_unique<TrayIcon>(programFolder_)) {
    parentalLock_ = [] { return PasswordDialog::checkParentalLock(); };
    updatePoll_.setInterval(kUpdatePollMilliseconds);
    connect(&updatePoll_, &QTimer::timeout, this, &MainWindow::onUpdatePoll);
    trayNumber_.setSingleShot(true);
    connect(&trayNumber_, &QTimer::timeout, this, &MainWindow::onTrayNumberTimer);
    statusHoldTimer_.setSingleShot(true);
    statusHoldTimer_.setInterval(kStatusHoldMilliseconds);
    connect(&statusHoldTimer_, &QTimer::timeout, this, [this] { statusHold_ = false; });

    connect(tray_.get(), &TrayIcon::leftClicked, this, [this] {
        // During a check the person can bring back a hidden status window.
        if (statusWindow_) statusWindow_->showStatus();
    });
    connect(tray_.get(), &TrayIcon::doubleClicked, this, [this] { runCommand(settings::trayDblClk()); });
    registerBuiltInCommands();
    installOptionsHooks();
    rebuildTrayMenu();
}

MainWindow::~MainWindow() {
    delete OptionsDialog::current();
    OptionsDialog::Hooks& hooks = OptionsDialog::hooks();
    hooks.checkForUpdates = {};
    hooks.openBackup = {};
    hooks.restart = {};
    hooks.afterStore = {};
    hooks.openUrl = {};
    delete statusWindow_.data();
    delete about_.data();
    delete backup_.data();
}

StatusWindow* MainWindow::statusWindow() const { return statusWindow_.data(); }

AboutDialog* MainWindow::aboutDialog() const { return about_.data(); }

void MainWindow::registerBuiltInCommands() {
    commands_[command::kDocumentation] = [this] { openUrl(help::documentationUrl(programFolder_, help::germanLanguage())); };
    commands_[command::kFaq] = [this] { openUrl(help::faqUrl(help::germanLanguage())); };
    commands_[command::kForum] = [this] { openUrl(help::forumUrl()); };
    commands_[command::kAbout] = [this] { showAbout(); };
    commands_[command::kRecycleBin] = [this] { showRecycleBin(); };
    commands_[command::kTrainingArea] = [this] { showTrainingArea(); };
    commands_[command::kStatistics] = [this] { showStatistics(); };
    commands_[command::kToggleFilter] = [this] { toggleFilter(); };
    commands_[command::kExit] = [this] { exitProgram(); };
    commands_[command::kBackup] = [this] { showBackup(BackupDialog::Mode::Export); };
    commands_[command::kSettings] = [this] { showOptions(0); };
}

void MainWindow::installOptionsHooks() {
    OptionsDialog::Hooks& hooks = OptionsDialog::hooks();
    // The dialog was opened through the parental lock already: its buttons do not ask again.
    hooks.checkForUpdates = [this] {
        auto handler = commands_.find(command::kUpdateCheck);
        if (handler != commands_.end()) handler->second();
    };
    hooks.openBackup = [this](bool import) {
        showBackup(import ? BackupDialog::Mode::Import : BackupDialog::Mode::Export);
    };
    // The dialog asks from inside its own OK handler: it ends (and is deleted) once that returns.
    hooks.restart = [this] {
        Application::instance().requestRestart();
        QMetaObject::invokeMethod(this, [this] { destroyWindow(); }, Qt::QueuedConnection);
    };
    hooks.afterStore = [this] { setUpUpdateTimer(); };
    hooks.openUrl = [this](const std::string& url) { openUrl(url); };
}

OptionsDialog* MainWindow::showOptions(int pageId) { return OptionsDialog::open(pageId); }

void MainWindow::beginStartUp(const std::vector<std::string>& arguments) {
    if (hasSwitch(arguments, kWizardSwitch)) runWizard();
    tray_->setStartingUp(true);
    tray_->setTooltip(tray::versionTooltip());
    tray_->show();
    if (hasSwitch(arguments, kFirstRunSwitch)) {
        // The balloon points at the icon: give the panel a moment to take the icon in first.
        QTimer::singleShot(kBalloonDelayMilliseconds, this, [this] { showTrayBalloon(loadString(kStringWelcome)); });
    }
    setUpUpdateTimer();
}

void MainWindow::finishStartUp() {
    // The menu made at construction predates the language chosen during start-up.
    rebuildTrayMenu();
    tray_->setStartingUp(false);
    showStateIcon(Application::instance().spamCount());
}

void MainWindow::runWizard() {
    const QString wizard = QString::fromStdString(programFolder_ + "/wizard");
    if (!QFileInfo(wizard).isExecutable()) return;
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(programFolder_));
    process.start(wizard, {});
    if (!process.waitForStarted()) return;
    // Wait for it, keeping the desktop painted but taking no input meant for the program.
    while (!process.waitForFinished(kWizardPollMilliseconds))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// --- messages ---------------------------------------------------------------------------------------

void MainWindow::onMailCheckBegin() {
    if (settings::showBubble() != 0 || statusHold_) {
        showStatusWindow();
    } else if (!statusWindow_) {
        statusWindow_ = new StatusWindow(Application::instance().status(), programFolder_);
    }
}

void MainWindow::onMailCheckEnd() {
    if (!statusWindow_) return;
    statusHoldTimer_.stop();
    // The person opened the window during a check although it is not wanted: the next check soon
    // after shows it again.
    if (settings::showBubble() == 0 && statusWindow_->isVisible()) {
        statusHold_ = true;
        statusHoldTimer_.start();
    }
    destroyStatusWindow();
}

void MainWindow::onShowTrayIcon() {
    tray_->hide();
    tray_->show();
}

void MainWindow::onUpdateCheckDone(int code, QWidget* progress) {
    if (!updateCheckRunning_) return;
    if (progress && progress->isVisible() && code == 1)
        Application::instance().showMessage(kStringCheckFailed, mb::kOk | mb::kIconExclamation);
    updateCheckRunning_ = false;
    delete progress;
    if (code == 0) {
        lastUpdateDay_ = todayDayNumber();
        settings::setAutoCheckForUpdatesLastUpdate(lastUpdateDay_);
        setUpUpdateTimer();
    }
}

void MainWindow::setUpUpdateTimer() {
    rebuildTrayMenu();
    updatePoll_.stop();
    if (settings::autoCheckForUpdates() <= 0) return;
    lastUpdateDay_ = settings::autoCheckForUpdatesLastUpdate();
    updateIntervalDays_ = settings::autoCheckForUpdatesDays();
    updatePoll_.start();
}

void MainWindow::onUpdatePoll() {
    if (updateIntervalDays_ <= 0 || todayDayNumber() - lastUpdateDay_ < updateIntervalDays_) return;
    if (silentUpdateCheck_ && !updateCheckRunning_) silentUpdateCheck_();
}

// --- status window ----------------------------------------------------------------------------------

void MainWindow::showStatusWindow() {
    if (!statusWindow_) {
        statusWindow_ = new StatusWindow(Application::instance().status(), programFolder_);
    }
    statusWindow_->showStatus();
}

void MainWindow::destroyStatusWindow() {
    if (!statusWindow_) return;
    statusWindow_->savePlacement();
    delete statusWindow_.data();
}

void MainWindow::statusChanged(StatusField field) {
    if (statusWindow_) statusWindow_->refresh(field);
}

// --- tray ---------------------------------------------------------------------------------------------

void MainWindow::showStateIcon(int count) {
    tray_->setCount(count);
    trayNumber_.stop();
    if (count <= 0) return;
    // A negative time keeps the number until the next change.
    const int seconds = settings::trayNumSeconds();
    if (seconds >= 0) trayNumber_.start(seconds * 1000);
}

void MainWindow::onTrayNumberTimer() {
    Application::instance().setSpamCount(0);
    showStateIcon(0);
    setTrayTooltip(tray::restingTooltip(ProxyServer::instance().closedPort()));
}

void MainWindow::setTrayTooltip(const std::string& text) {
    tray_->setTooltip(text);
    if (statusWindow_) statusWindow_->setToolTip(QString::fromStdString(tray_->tooltip()));
}

void MainWindow::setTrayProgress(int percentTenths) { tray_->setProgress(percentTenths); }

void MainWindow::setTrayAnimating(bool on) { tray_->setAnimating(on); }

void MainWindow::showTrayBalloon(const std::string& text) {
    tray_->showBalloon(QString::fromStdString(tray_->tooltip()), QString::fromStdString(text));
}

void MainWindow::rebuildTrayMenu() {
    std::unique_ptr<QMenu> menu = buildTrayMenu(programFolder_, help::germanLanguage(),
                                                [this](int id) { return commandAvailable(id); });
    // A command chosen in the menu runs after the menu has closed, so that a box it shows is not
    // nested in the menu's own event handling (and a rebuild may replace the menu).
    connect(menu.get(), &QMenu::triggered, this, [this](QAction* action) {
        const int id = action->data().toInt();
        QMetaObject::invokeMethod(this, [this, id] { runCommand(id); }, Qt::QueuedConnection);
    });
    connect(menu.get(), &QMenu::aboutToShow, this, &MainWindow::prepareMenu);
    connect(menu.get(), &QMenu::aboutToHide, this, [] { Application::instance().trimWorkingSet(); });
    tray_->setContextMenu(menu.get());
    // The old menu may be the one whose item is being handled right now.
    if (menu_) menu_.release()->deleteLater();
    menu_ = std::move(menu);
}

void MainWindow::prepareMenu() {
    if (QAction* toggle = findMenuCommand(menu_.get(), command::kToggleFilter)) {
        toggle->setCheckable(settings::enable() == 0);
        toggle->setChecked(settings::enable() == 0);
    }
    // The double-click command is the menu's default item, drawn bold.
    QAction* preferred = findMenuCommand(menu_.get(), settings::trayDblClk());
    for (QMenu* menu : menu_->findChildren<QMenu*>()) menu->setDefaultAction(nullptr);
    menu_->setDefaultAction(nullptr);
    if (preferred) {
        if (auto* owner = qobject_cast<QMenu*>(preferred->parent())) owner->setDefaultAction(preferred);
    }
}

// --- commands -----------------------------------------------------------------------------------------

void MainWindow::setCommand(int id, std::function<void()> handler) {
    if (handler) commands_[id] = std::move(handler);
    else commands_.erase(id);
}

bool MainWindow::commandAvailable(int id) const { return commands_.count(id) != 0; }

void MainWindow::runCommand(int id) {
    auto handler = commands_.find(id);
    if (handler == commands_.end()) return;
    if (parentalLock_ && !parentalLock_()) return;
    // A copy: the command may replace its own entry.
    std::function<void()> run = handler->second;
    run();
    Application::instance().trimWorkingSet();
}

void MainWindow::toggleFilter() {
    const std::string& file = settings::settingsFile();
    if (settings::enable() != 0) {
        const int answer = OptionalMessageBox::ask(nullptr, text(kStringDisableQuestion), Application::kName,
                                                   mb::kYesNo | mb::kIconQuestion,
                                                   settings::optionalBox::kFilterDisableWarning, answer::kYes, file);
        if (answer == answer::kYes) settings::setEnable(0);
    } else {
        settings::setEnable(1);
        OptionalMessageBox::ask(nullptr, text(kStringReEnabled), Application::kName, mb::kOk | mb::kIconInformation,
                                settings::optionalBox::kFilterReEnable, answer::kOk, file);
    }
    rebuildTrayMenu();
    // The counter starts again from 0 and the icon shows the new state.
    Application::instance().setSpamCount(0);
    showStateIcon(0);
}

void MainWindow::exitProgram() {
    const int answer = OptionalMessageBox::ask(nullptr, text(kStringExitQuestion), Application::kName,
                                               mb::kYesNo | mb::kIconQuestion, settings::optionalBox::kExitMainProgram,
                                               answer::kYes, settings::settingsFile());
    if (answer == answer::kYes) destroyWindow();
}

void MainWindow::showAbout() {
    if (!about_) about_ = new AboutDialog(programFolder_);
    about_->show();
    about_->raise();
    about_->activateWindow();
}

BackupDialog* MainWindow::showBackup(BackupDialog::Mode mode) {
    if (backup_) {
        backup_->raise();
        backup_->activateWindow();
        return backup_.data();
    }
    BackupDialog::Hooks hooks;
    hooks.beforeRecycleRead = [] { RecycleBin::instance().checkpoint(); };
    // The stores would write their in-memory indexes over the imported files: the sessions end
    // and the stores go before anything is replaced; the restart brings them back.
    hooks.beforeReplace = [] {
        ProxyServer::instance().stop();
        TrainingArea::destroyInstance();
        RecycleBin::destroyInstance();
    };
    hooks.replaceFailed = [] { ProxyServer::instance().start(); };
    hooks.restart = [this] {
        Application::instance().requestRestart();
        destroyWindow();
    };
    // A backup holds what the program wrote: the data folder, not the one its pictures come from.
    backup_ = new BackupDialog(mode, Application::instance().programFolder(), std::move(hooks));
    backup_->show();
    backup_->raise();
    backup_->activateWindow();
    return backup_.data();
}

void MainWindow::showRecycleBin() {
    // Whoever looks into the bin has seen the spam the tray was counting.
    Application::instance().setSpamCount(0);
    showStateIcon(0);
    setTrayTooltip(tray::restingTooltip(ProxyServer::instance().closedPort()));
    RecycleBinWindow* window = RecycleBinWindow::open(RecycleBin::instance(), programFolder_);
    window->setTrainingAreaOpener([this] { showTrainingArea(); });
}

void MainWindow::showTrainingArea() {
    TrainingAreaWindow* window = TrainingAreaWindow::open(TrainingArea::instance(), &RecycleBin::instance(), programFolder_);
    window->setRecycleBinOpener([this] { showRecycleBin(); });
}

void MainWindow::showStatistics() { StatisticsWindow::open(programFolder_); }

void MainWindow::recycleBinRowChanged(RecycleRowChange change, const std::string& fileName) {
    if (RecycleBinWindow* window = RecycleBinWindow::current()) window->rowChanged(change, fileName);
}

void MainWindow::openUrl(const std::string& url) {
    if (opener_ ? opener_(url) : QDesktopServices::openUrl(QUrl(QString::fromStdString(url)))) return;
    // Without a browser the person still learns where the page is.
    Application::instance().showMessageText(TranslatedFormat::byId(kStringNoBrowser, url.c_str()),
                                            mb::kOk | mb::kIconInformation);
}

void MainWindow::destroyWindow() {
    // The program is ending: the training area window goes without asking to learn its marks.
    delete TrainingAreaWindow::current();
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != menu_.get() && !qobject_cast<QMenu*>(window)) window->close();
    // Its store goes with the program: the window must not outlive it waiting for a deferred delete.
    delete RecycleBinWindow::current();
    // Plug-in pages must be gone before the plug-ins are unloaded.
    delete OptionsDialog::current();
    updatePoll_.stop();
    trayNumber_.stop();
    statusHoldTimer_.stop();
    tray_->setAnimating(false);
    destroyStatusWindow();
    tray_->hide();
    emit ended();
    QCoreApplication::quit();
}

} // namespace corvanthelix
