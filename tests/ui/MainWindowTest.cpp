// The hidden main window: the tray menu, the command table behind the parental lock, toggling
// the filter, exiting, the number timer and the status window around mail checks.
#include "base/Settings.h"
#include "ui/windows/AboutDialog.h"
#include "ui/windows/BackupDialog.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/TrayIcon.h"
#include "ui/shell/TrayMenu.h"
#include "language/Vexolindra.h"
#include "ui/windows/StatusWindow.h"
#include "ui/windows/RecycleBinWindow.h"
#include "stores/RecycleBin.h"
#include "stores/TrainingArea.h"
#include "ui/windows/StatisticsWindow.h"
#include "ui/windows/TrainingAreaWindow.h"
#include <QToolButton>
#include "app/ProgramShell.h"
#include "base/TrayText.h"
#include "proxy/ProxyServer.h"
#include "tests/fakes/UiTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QtTest>

using namespace corvanthelix;

namespace {

QStringList itemNames(const QMenu* menu) {
    QStringList names;
    for (QAction* action : menu->actions()) names << (action->isSeparator() ? "-" : action->objectName());
    return names;
}

QMenu* helpMenu(const MainWindow& window) { return window.trayMenu()->findChild<QMenu*>("idHelp"); }

void openMenu(MainWindow& window) { emit window.trayMenu()->aboutToShow(); }

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        settingsFolder_ = uitest::freshSettings();
        InitLanguage(nullptr);
        Application::instance().setSpamCount(0);
    }

    void menuHasItsItemsWithLaterWindowsDisabled() {
        MainWindow window(uitest::programDir());
        QCOMPARE(itemNames(window.trayMenu()),
                 QStringList({"id40005", "id40007", "id40014", "id40004", "-", "", "-", "id40018", "id40002"}));
        QCOMPARE(itemNames(helpMenu(window)), QStringList({"id3", "id40013", "id40006", "id40003"}));
        for (int id : {command::kUpdateCheck})
            QVERIFY2(!findMenuCommand(window.trayMenu(), id)->isEnabled(), qPrintable(QString::number(id)));
        for (int id : {command::kRecycleBin, command::kStatistics, command::kTrainingArea, command::kSettings,
                       command::kDocumentation, command::kFaq, command::kAbout, command::kToggleFilter, command::kExit})
            QVERIFY2(findMenuCommand(window.trayMenu(), id)->isEnabled(), qPrintable(QString::number(id)));
        QVERIFY(!findMenuCommand(window.trayMenu(), command::kRecycleBin)->icon().isNull());
        QVERIFY(findMenuCommand(window.trayMenu(), command::kFaq)->icon().isNull());

        // A window that arrives registers its command; the next rebuild enables the item.
        int opened = 0;
        window.setCommand(command::kUpdateCheck, [&] { ++opened; });
        window.rebuildTrayMenu();
        QVERIFY(findMenuCommand(window.trayMenu(), command::kUpdateCheck)->isEnabled());
        window.runCommand(command::kUpdateCheck);
        QCOMPARE(opened, 1);
    }

    void command2000OpensOneBackupDialogForExport() {
        MainWindow window(uitest::programDir());
        window.runCommand(command::kBackup);
        QPointer<BackupDialog> dialog = window.showBackup(BackupDialog::Mode::Import);
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QString("Export..."));
        int dialogs = 0;
        for (QWidget* top : QApplication::topLevelWidgets()) dialogs += qobject_cast<BackupDialog*>(top) ? 1 : 0;
        QCOMPARE(dialogs, 1);
        dialog->reject();
        QTRY_VERIFY(dialog.isNull());
    }

    void doubleClickOpensTheRecycleBinOnceAndResetsTheSpamCount() {
        MainWindow window(uitest::programDir());
        Application::instance().setSpamCount(4);
        window.showStateIcon(4);
        window.setTrayTooltip("4 spam messages");
        emit window.tray().doubleClicked(); // TrayDblClk defaults to 40005
        RecycleBinWindow* bin = RecycleBinWindow::current();
        QVERIFY(bin && bin->isVisible());
        QCOMPARE(Application::instance().spamCount(), 0);
        QCOMPARE(window.tray().currentSource(), QString("icons/mini.ico"));
        QCOMPARE(QString::fromStdString(window.tray().tooltip()), QString::fromStdString(tray::restingTooltip(ProxyServer::instance().closedPort())));
        window.runCommand(command::kRecycleBin);
        QCOMPARE(RecycleBinWindow::current(), bin);
        delete bin;
        RecycleBin::destroyInstance();
    }

    void trainingAreaAndRecycleBinSwitchToEachOtherAndStatisticsOpenOnce() {
        MainWindow window(uitest::programDir());
        window.runCommand(command::kTrainingArea);
        TrainingAreaWindow* training = TrainingAreaWindow::current();
        QVERIFY(training && training->isVisible());
        uitest::control<QToolButton>(training, command::kSwitchWindow)->click();
        RecycleBinWindow* bin = RecycleBinWindow::current();
        QVERIFY(bin && bin->isVisible());
        uitest::control<QToolButton>(bin, command::kSwitchWindow)->click();
        QCOMPARE(TrainingAreaWindow::current(), training);
        window.runCommand(command::kStatistics);
        StatisticsWindow* statistics = StatisticsWindow::current();
        QVERIFY(statistics && statistics->isVisible());
        window.runCommand(command::kStatistics);
        QCOMPARE(StatisticsWindow::current(), statistics);
        delete statistics;
        delete training;
        delete bin;
        TrainingArea::destroyInstance();
        RecycleBin::destroyInstance();
    }

    void germanAddsTheForumAsThirdHelpItem() {
        testing::TempFolder languages;
        InitLanguage(languages.write("deutsch.corvanthelix.language",
                                     "NAME: Deutsch\nLANGUAGEID: 407\n&Help\n=&Hilfe\n&Exit\n=&Beenden\n").c_str());
        MainWindow window(uitest::programDir());
        QCOMPARE(itemNames(helpMenu(window)), QStringList({"id3", "id40013", "id4369", "id40006", "id40003"}));
        QCOMPARE(findMenuCommand(window.trayMenu(), command::kForum)->text(), QString("&Online-Forum..."));
        QCOMPARE(helpMenu(window)->title(), QString("&Hilfe"));
        QCOMPARE(findMenuCommand(window.trayMenu(), command::kExit)->text(), QString("&Beenden"));
    }

    void menuFollowsTheLanguageLoadedDuringStartUp() {
        MainWindow window(uitest::programDir());
        window.beginStartUp({});
        // Start-up loads the language only after the tray icon is up.
        InitLanguage((uitest::programDir() + "/deutsch.corvanthelix.language").c_str());
        window.finishStartUp();
        QVERIFY(findMenuCommand(window.trayMenu(), command::kForum));
        QCOMPARE(findMenuCommand(window.trayMenu(), command::kExit)->text(), QString("&Beenden"));
        QCOMPARE(helpMenu(window)->title(), QString("&Hilfe"));
        const QString shots = QString(CORVANTHELIX_TEST_BINARY_DIR) + "/../screenshots";
        QDir().mkpath(shots);
        window.trayMenu()->adjustSize();
        window.trayMenu()->grab().save(shots + "/tray-menu-de.png");
        InitLanguage(nullptr);
    }

    void wizardRunsOnlyForTheWholeSwitch() {
        testing::TempFolder folder;
        const std::string ran = folder.file("wizard.ran");
        folder.write("wizard", "#!/bin/sh\ntouch '" + ran + "'\n");
        QFile::setPermissions(QString::fromStdString(folder.file("wizard")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        {
            MainWindow window(folder.path());
            window.beginStartUp({"--home", folder.path() + "/wizard/home"});
        }
        QVERIFY(!QFileInfo::exists(QString::fromStdString(ran)));
        {
            MainWindow window(folder.path());
            window.beginStartUp({"/wizard"});
        }
        QVERIFY(QFileInfo::exists(QString::fromStdString(ran)));
    }

    void doubleClickCommandIsTheBoldDefaultAndDisabledFilterIsChecked() {
        settings::setTrayDblClk(command::kAbout);
        settings::setEnable(0);
        MainWindow window(uitest::programDir());
        openMenu(window);
        QCOMPARE(helpMenu(window)->defaultAction(), findMenuCommand(window.trayMenu(), command::kAbout));
        QCOMPARE(window.trayMenu()->defaultAction(), nullptr);
        QVERIFY(findMenuCommand(window.trayMenu(), command::kToggleFilter)->isChecked());
        settings::setEnable(1);
        openMenu(window);
        QVERIFY(!findMenuCommand(window.trayMenu(), command::kToggleFilter)->isChecked());
    }

    void commandsPassTheParentalLockFirst() {
        MainWindow window(uitest::programDir());
        settings::setParentalControlEnabled(1);
        // The password dialog asks; Cancel drops the command.
        bool asked = false;
        uitest::answerNextModal(control::kCancel, false, &asked);
        window.runCommand(command::kAbout);
        QVERIFY(asked);
        QVERIFY(!window.aboutDialog());
        settings::setParentalControlEnabled(0);
        window.runCommand(command::kAbout);
        QVERIFY(window.aboutDialog() && window.aboutDialog()->isVisible());
        // A second open brings the same dialog back.
        AboutDialog* first = window.aboutDialog();
        window.runCommand(command::kAbout);
        QCOMPARE(window.aboutDialog(), first);
        QVERIFY(uitest::control<QLabel>(first, control::kAboutVersion)->text().contains(Application::kVersion));
        // An id without a command does nothing.
        window.runCommand(12345);
    }

    void togglingTwiceResetsTheCounterAndTheIcon() {
        MainWindow window(uitest::programDir());
        Application::instance().setSpamCount(5);
        window.showStateIcon(5);
        QCOMPARE(window.tray().currentSource(), QString("icons/numbers/50.ico+icons/mini.ico"));

        bool asked = false;
        uitest::answerNextModal(control::kYes, false, &asked);
        window.runCommand(command::kToggleFilter);
        QVERIFY(asked);
        QCOMPARE(settings::enable(), 0);
        QCOMPARE(Application::instance().spamCount(), 0);
        QCOMPARE(window.tray().currentSource(), QString("icons/mini_grey.ico"));

        Application::instance().setSpamCount(2);
        window.showStateIcon(2);
        bool told = false;
        uitest::answerNextModal(control::kOk, false, &told);
        window.runCommand(command::kToggleFilter);
        QVERIFY(told);
        QCOMPARE(settings::enable(), 1);
        QCOMPARE(Application::instance().spamCount(), 0);
        QCOMPARE(window.tray().currentSource(), QString("icons/mini.ico"));
    }

    void disablingAnsweredNoKeepsTheFilterOn() {
        MainWindow window(uitest::programDir());
        uitest::answerNextModal(control::kNo);
        window.runCommand(command::kToggleFilter);
        QCOMPARE(settings::enable(), 1);
    }

    void suppressedExitBoxExitsAtOnce() {
        settings::setOptionalMessageBox(settings::optionalBox::kExitMainProgram, 1);
        MainWindow window(uitest::programDir());
        window.tray().show();
        QSignalSpy ended(&window, &MainWindow::ended);
        window.runCommand(command::kExit);
        QCOMPARE(ended.count(), 1);
        QVERIFY(!window.tray().systemTrayIcon()->isVisible());
    }

    void exitAnsweredNoKeepsRunning() {
        MainWindow window(uitest::programDir());
        QSignalSpy ended(&window, &MainWindow::ended);
        uitest::answerNextModal(control::kNo);
        window.runCommand(command::kExit);
        QCOMPARE(ended.count(), 0);
    }

    void numberIconTimerFollowsTrayNumSeconds() {
        MainWindow window(uitest::programDir());
        settings::setTrayNumSeconds(-1);
        window.showStateIcon(3);
        QVERIFY(!window.trayNumberTimerActive());
        window.showStateIcon(0);
        QVERIFY(!window.trayNumberTimerActive());

        settings::setTrayNumSeconds(0);
        Application::instance().setSpamCount(3);
        window.showStateIcon(3);
        QVERIFY(window.trayNumberTimerActive());
        // Expired: the counter starts again and the plain icon and tooltip come back.
        QTRY_COMPARE(window.tray().currentSource(), QString("icons/mini.ico"));
        QCOMPARE(Application::instance().spamCount(), 0);
        QCOMPARE(window.tray().tooltip(), std::string("Corvanthelix 0.9.8.1"));
    }

    void statusWindowLivesFromBeginToEndOfACheck() {
        MainWindow window(uitest::programDir());
        window.onMailCheckBegin();
        QVERIFY(window.statusWindow() && window.statusWindow()->isVisible());
        window.onMailCheckEnd();
        QVERIFY(!window.statusWindow());
        QVERIFY(!window.statusHold());
        QCOMPARE(settings::windowPlacement(settings::section::kBubbleWindow, settings::key::kLeft, -1) >= 0, true);
    }

    void openedWindowWithoutShowBubbleIsHeldForTheNextCheck() {
        settings::setShowBubble(0);
        MainWindow window(uitest::programDir());
        window.onMailCheckBegin();
        QVERIFY(window.statusWindow() && !window.statusWindow()->isVisible());
        // The person clicks the tray icon during the check.
        emit window.tray().leftClicked();
        QVERIFY(window.statusWindow()->isVisible());
        window.onMailCheckEnd();
        QVERIFY(window.statusHold());
        window.onMailCheckBegin();
        QVERIFY(window.statusWindow()->isVisible());
        window.onMailCheckEnd();
        QTRY_VERIFY_WITH_TIMEOUT(!window.statusHold(), 5000);
    }

private:
    std::unique_ptr<testing::TempFolder> settingsFolder_;
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
