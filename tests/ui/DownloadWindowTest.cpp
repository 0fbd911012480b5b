// The update check's download window and the main window's handling of a check's outcome, with
// the real check against a local HTTPS server.
#include "base/TranslatedFormat.h"
#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/ProgramLanguage.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "base/TextUtils.h"
#include "language/Vexolindra.h"
#include "tests/fakes/HttpsUpdateServer.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/UiTestSupport.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/TrayMenu.h"
#include "ui/shell/UpdateController.h"
#include "ui/windows/DownloadWindow.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <cstdio>
#include <cstdlib>

using namespace corvanthelix;

namespace {

std::string formatted(int id, const char* a, const char* b) { return TranslatedFormat::byId(id, a, b); }

std::string progressText(double received, double total, double speed) {
    return TranslatedFormat::byId(127, received, total, speed);
}

void saveShot(QWidget& window, const QString& name) {
    const QString folder = QString::fromStdString(uitest::programDir()) + "/../screenshots";
    QDir().mkpath(folder);
    QVERIFY(window.grab().save(folder + "/" + name));
}

int countCalls(const testing::ScriptedShell& shell, const std::string& text) {
    int found = 0;
    for (const std::string& call : shell.calls())
        if (call.find(text) != std::string::npos) ++found;
    return found;
}

} // namespace

class DownloadWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        settingsFolder_ = uitest::freshSettings();
        Application::instance().setShell(&shell_);
    }
    void cleanup() {
        Application::instance().setShell(nullptr);
        setStringTranslator(nullptr);
        InitLanguage(nullptr);
    }

    void showsItsLinesAndProgressAndCancels() {
        DownloadWindow window;
        QCOMPARE(window.objectName(), QString("id127"));
        QVERIFY(!window.isVisible());
        QCOMPARE(window.progress(), 0);
        window.setProgress(150);
        QCOMPARE(window.progress(), 100);
        window.setProgress(-4);
        QCOMPARE(window.progress(), 0);
        QVERIFY(!window.cancelRequested());
        uitest::control<QPushButton>(&window, control::kCancel)->click();
        QVERIFY(window.cancelRequested());

        // Closing the window cancels too.
        DownloadWindow closed;
        closed.show();
        QVERIFY(closed.shownNow());
        closed.close();
        QVERIFY(closed.cancelRequested());
        QVERIFY(!closed.shownNow());
    }

    void screenshotsInEnglishAndGerman() {
        for (bool german : {false, true}) {
            if (german) {
                InitLanguage((uitest::programDir() + "/deutsch.corvanthelix.language").c_str());
                installProgramTranslation();
            }
            DownloadWindow window;
            const QString firstText = QString::fromStdString(
                formatted(128, "/updates/corvanthelix-0.9.9.tar.gz", "www.corvanthelix.org"));
            QCOMPARE(firstText.startsWith("Lade "), german);
            window.setLines(firstText,
                            QString::fromStdString(progressText(1234.5, 3051.0, 412.3)));
            window.setProgress(40);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            const QString cancel = uitest::control<QPushButton>(&window, control::kCancel)->text();
            QCOMPARE(cancel, german ? QString("Abbrechen") : QString("Cancel"));
            QCOMPARE(window.windowTitle(), german ? QString("Herunterladen...") : QString("Downloading..."));
            auto* first = uitest::control<QLabel>(&window, control::kDownloadFirstLine);
            QCOMPARE(first->text(), firstText);
            saveShot(window, german ? "download_window_de.png" : "download_window_en.png");
        }
    }

    void menuItemStartsTheCheckAndTheOutcomeIsHandled() {
        testing::HttpsUpdateServer server;
        QVERIFY(server.ready());
        qputenv("CORVANTHELIX_TEST_CA_FILE", QByteArray::fromStdString(server.caFile()));
        settings::setUpdateHost("localhost:" + std::to_string(server.goodPort()));
        settings::setAutoCheckForUpdatesLastUpdate(100);
        MainWindow window(uitest::programDir());
        UpdateController updates(window, settingsFolder_->path());
        QVERIFY(findMenuCommand(window.trayMenu(), command::kUpdateCheck)->isEnabled());

        // Nothing newer: the manual check says so, and the day of this check is stored.
        server.serve("updates/updates.ini", "[UPDATES]\nVersion=0.9.8\n[PATCHES]\nVersion=1\n");
        window.runCommand(command::kUpdateCheck);
        QVERIFY(updates.downloadWindow() && updates.downloadWindow()->isVisible());
        QCOMPARE(updates.startUpdateCheck(false), 1); // one at a time
        QTRY_VERIFY_WITH_TIMEOUT(!updates.downloadWindow(), 20000);
        QCOMPARE(countCalls(shell_, loadString(131)), 1);
        QCOMPARE(settings::autoCheckForUpdatesLastUpdate(), todayDayNumber());

        // No description anywhere: the shown window reports the failed connection, the silent
        // check says nothing, and neither stores a day.
        ::unlink(server.root().file("updates/updates.ini").c_str());
        settings::setAutoCheckForUpdatesLastUpdate(100);
        for (bool silent : {false, true}) {
            QCOMPARE(updates.startUpdateCheck(silent), 0);
            QTRY_VERIFY_WITH_TIMEOUT(!updates.downloadWindow(), 20000);
        }
        QCOMPARE(countCalls(shell_, loadString(126)), 1);
        QCOMPARE(settings::autoCheckForUpdatesLastUpdate(), 100);
        qunsetenv("CORVANTHELIX_TEST_CA_FILE");
    }

    void defaultsCheckOneMinuteAfterTheFirstStart() {
        // A fresh installation: the last check counts as eleven days ago, the interval is ten, so
        // the first tick of the one-minute poll starts a silent check.
        MainWindow window(uitest::programDir());
        int silentChecks = 0;
        window.setSilentUpdateCheck([&] { ++silentChecks; });
        window.setUpUpdateTimer();
        QVERIFY(window.updatePollActive());
        window.onUpdatePoll();
        QCOMPARE(silentChecks, 1);
        // Checked today, or a check still running: nothing is due.
        settings::setAutoCheckForUpdatesLastUpdate(todayDayNumber());
        window.setUpUpdateTimer();
        window.onUpdatePoll();
        settings::setAutoCheckForUpdatesLastUpdate(todayDayNumber() - 30);
        window.setUpUpdateTimer();
        window.setUpdateCheckRunning(true);
        window.onUpdatePoll();
        QCOMPARE(silentChecks, 1);
        window.setUpdateCheckRunning(false);
        settings::setAutoCheckForUpdates(0);
        window.setUpUpdateTimer();
        QVERIFY(!window.updatePollActive());
    }

    void missingBrowserTellsWhereThePageIs() {
        MainWindow window(uitest::programDir());
        std::string opened;
        window.setUrlOpener([&](const std::string& url) {
            opened = url;
            return false;
        });
        window.runCommand(command::kDocumentation);
        QVERIFY(opened.rfind("file:///", 0) == 0);
        QVERIFY(opened.find("/help/en/index.htm") != std::string::npos);
        QCOMPARE(countCalls(shell_, opened), 1);
    }

private:
    testing::ScriptedShell shell_;
    std::unique_ptr<testing::TempFolder> settingsFolder_;
};

QTEST_MAIN(DownloadWindowTest)
#include "DownloadWindowTest.moc"
