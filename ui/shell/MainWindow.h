#pragma once
// The program's hidden main window: the hub through which the tray icon, the mail checks, the
// update check and a second start reach the desktop. It owns the tray icon and menu, the status
// window and the about dialog, runs the four timers, and carries the tray's command table.
// Everything here runs on the GUI thread; QtShell brings the calls of other threads over.
#include "base/Shell.h"
#include "ui/windows/BackupDialog.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QMenu;
class QWidget;

namespace corvanthelix {

class AboutDialog;
class OptionsDialog;
class StatusWindow;
class TrayIcon;

class MainWindow : public QObject {
    Q_OBJECT
public:
    // The timers' periods.
    static constexpr int kUpdatePollMilliseconds = 60000;
    static constexpr int kStatusHoldMilliseconds = 3000;
    // String-table texts it shows.
    static constexpr int kStringCheckFailed = 126;
    static constexpr int kStringExitQuestion = 160;
    static constexpr int kStringDisableQuestion = 161;
    static constexpr int kStringReEnabled = 162;
    static constexpr int kStringWelcome = 219;
    static constexpr int kStringNoBrowser = 283;

    /// Icons, bitmaps and help pages come from `programFolder`. The tray icon is not shown yet.
    explicit MainWindow(std::string programFolder, QObject* parent = nullptr);
    ~MainWindow() override;

    /// The start-up steps that need the desktop, before the core starts: with "/wizard" among
    /// `arguments`, runs the program folder's `wizard` and waits for it; builds the tray menu,
    /// shows the tray icon with the wait picture; with "/firstrun" shows the welcome balloon;
    /// sets up the automatic update timer.
    void beginStartUp(const std::vector<std::string>& arguments);
    /// The last start-up step, after the language is loaded: builds the tray menu again in that
    /// language and the tray shows the number icon for the spam counter.
    void finishStartUp();

    // --- messages from the mail check, the update check and a second start -------------------
    /// A mail check begins: the status window is made if there is none and shown when
    /// "ShowBubble" is set or the status hold runs.
    void onMailCheckBegin();
    /// A mail check ends: when "ShowBubble" is 0 and the person had opened the status window, the
    /// status hold starts (3 s); the status window is destroyed.
    void onMailCheckEnd();
    /// Puts the tray icon into the notification area again.
    void onShowTrayIcon();
    /// The update check ended with `code` (0 done, 1 no connection, 2 cancelled, 3 refused and
    /// already explained); `progress` is its window, which is destroyed here.
    /// Does nothing unless a check was registered with setUpdateCheckRunning().
    void onUpdateCheckDone(int code, QWidget* progress);
    void setUpdateCheckRunning(bool running) { updateCheckRunning_ = running; }

    /// Rebuilds the tray menu and (re)starts the update poll from "AutoCheckForUpdates",
    /// "AutoCheckForUpdatesDays" and "AutoCheckForUpdatesLastUpdate".
    void setUpUpdateTimer();
    /// The update poll's tick: starts the silent check when "AutoCheckForUpdatesDays" have passed
    /// since the last successful one and no check runs.
    void onUpdatePoll();
    /// True when the update poll is running.
    bool updatePollActive() const { return updatePoll_.isActive(); }

    // --- status window --------------------------------------------------------------------------
    /// Makes the status window if there is none and shows it.
    void showStatusWindow();
    /// Saves its placement and destroys it; nothing without one.
    void destroyStatusWindow();
    /// The window shows the new value of `field`; nothing without a window.
    void statusChanged(StatusField field);
    StatusWindow* statusWindow() const;
    bool statusHold() const { return statusHold_; }

    // --- tray -------------------------------------------------------------------------------------
    /// The number icon for `count`; restarts the number timer ("TrayNumSeconds") when count > 0.
    void showStateIcon(int count);
    void setTrayTooltip(const std::string& text);
    void setTrayProgress(int percentTenths);
    void setTrayAnimating(bool on);
    /// A balloon titled with the tooltip.
    void showTrayBalloon(const std::string& text);
    TrayIcon& tray() { return *tray_; }
    QMenu* trayMenu() const { return menu_.get(); }
    void rebuildTrayMenu();
    bool trayNumberTimerActive() const { return trayNumber_.isActive(); }

    // --- commands --------------------------------------------------------------------------------
    /// Installs the handler of command `id` (a window that arrives later registers itself here);
    /// the menu item is enabled at the next rebuild.
    void setCommand(int id, std::function<void()> handler);
    bool commandAvailable(int id) const;
    /// Runs command `id` when the parental lock lets it through; unknown ids do nothing. The heap
    /// is trimmed afterwards.
    void runCommand(int id);
    /// The parental lock: asked before every command, true lets it run. The default lets
    /// everything through while "Enabled" in PARENTALCONTROL is 0 and otherwise asks for the
    /// password (PasswordDialog::checkParentalLock).
    void setParentalLock(std::function<bool()> allowed) { parentalLock_ = std::move(allowed); }
    /// Opens help and web addresses instead of the desktop's browser (tests); true when opened.
    /// Empty restores the desktop's.
    void setUrlOpener(std::function<bool(const std::string&)> opener) { opener_ = std::move(opener); }
    /// Starts a silent update check; called by the update poll when one is due.
    void setSilentUpdateCheck(std::function<void()> start) { silentUpdateCheck_ = std::move(start); }

    /// Command 40018: asks (optional box "FilterDisableWarning") before disabling, tells
    /// ("FilterReEnable") after enabling, rebuilds the menu and starts the spam counter from 0.
    void toggleFilter();
    /// Command 40002: asks (optional box "ExitMainProgram", Yes when silenced); on Yes ends.
    void exitProgram();
    /// Opens the about dialog, or brings the open one to the front.
    void showAbout();
    AboutDialog* aboutDialog() const;
    /// Command 2000: opens the backup dialog in `mode` (an open one comes to the front). After a
    /// successful import its closing restarts the program. Returns the dialog.
    BackupDialog* showBackup(BackupDialog::Mode mode);
    /// Command 40004: opens the options dialog on `pageId` (0: its first page), or brings the open
    /// one to the front. Returns the dialog.
    OptionsDialog* showOptions(int pageId);
    /// Command 40005: resets the tray's spam count and tooltip and opens the recycle bin window
    /// (or brings the open one to the front).
    void showRecycleBin();
    /// Command 40014: opens the training area window (or brings the open one to the front).
    void showTrainingArea();
    /// Command 40007: opens the statistics window (or brings the open one to the front).
    void showStatistics();
    /// Hands a row change of the recycle bin store to the open window; nothing without one.
    void recycleBinRowChanged(RecycleRowChange change, const std::string& fileName);

    /// Ends the desktop: closes every other window, stops the timers, removes the tray icon,
    /// emits ended() and leaves the event loop.
    void destroyWindow();

signals:
    void ended();

private:
    void registerBuiltInCommands();
    void installOptionsHooks();
    void prepareMenu();
    void onTrayNumberTimer();
    void runWizard();
    void openUrl(const std::string& url);

    std::string programFolder_;
    std::unique_ptr<TrayIcon> tray_;
    std::unique_ptr<QMenu> menu_;
    QPointer<StatusWindow> statusWindow_;
    QPointer<AboutDialog> about_;
    QPointer<BackupDialog> backup_;
    QTimer updatePoll_;
    QTimer trayNumber_;
    QTimer statusHoldTimer_;
    bool statusHold_ = false;
    bool updateCheckRunning_ = false;
    int lastUpdateDay_ = 0;
    int updateIntervalDays_ = 0;
    std::map<int, std::function<void()>> commands_;
    std::function<bool()> parentalLock_;
    std::function<void()> silentUpdateCheck_;
    std::function<bool(const std::string&)> opener_;
};

} // namespace corvanthelix
