// The desktop shell seen from the core's threads: synchronous calls run on the GUI thread and
// wait for it, posted changes arrive in order and coalesced, and once the event loop has ended no
// call waits any more (stopping the proxy joins threads that may be calling in).
#include "base/Application.h"
#include "base/Settings.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/QtShell.h"
#include "ui/shell/TrayIcon.h"
#include "base/StatusState.h"
#include "ui/windows/StatusWindow.h"
#include "tests/fakes/UiTestSupport.h"
#include "language/Vexolindra.h"

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>

using namespace corvanthelix;

class QtShellTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        settingsFolder_ = uitest::freshSettings();
        window_ = std::make_unique<MainWindow>(uitest::programDir());
        shell_ = std::make_unique<QtShell>(*window_);
        Application::instance().setShell(shell_.get());
        Application::instance().status().reset();
    }

    void cleanup() {
        Application::instance().setShell(nullptr);
        shell_.reset();
        window_.reset();
    }

    void mailCheckBeginFromAWorkerWaitsForTheGuiThread() {
        std::atomic<bool> returned{false};
        QThread* guiThread = QThread::currentThread();
        QThread* createdOn = nullptr;
        std::thread worker([&] {
            shell_->mailCheckBegin();
            createdOn = window_->statusWindow() ? window_->statusWindow()->thread() : nullptr;
            returned = true;
        });
        // Nothing can have happened yet: the GUI thread has not looked at its events.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        QVERIFY(!returned);
        QTRY_VERIFY(returned.load());
        worker.join();
        QCOMPARE(createdOn, guiThread);
        QVERIFY(window_->statusWindow()->isVisible());

        std::thread ender([&] { shell_->mailCheckEnd(); });
        QTRY_VERIFY(!window_->statusWindow());
        ender.join();
    }

    void statusChangesFromAWorkerAreCoalescedAndEndAtTheLastValue() {
        window_->showStatusWindow();
        StatusState& status = Application::instance().status();
        std::thread worker([&] {
            status.setTotal(100000);
            for (int i = 1; i <= 1000; ++i) {
                status.setStatusText("step " + std::to_string(i));
                status.setReceived(i * 100);
            }
        });
        worker.join();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        auto* text = uitest::control<QLabel>(window_->statusWindow(), control::kStatusText);
        QCOMPARE(text->text(), QString("step 1000"));
        QCOMPARE(window_->tray().tooltip().substr(window_->tray().tooltip().rfind(" | ")), std::string(" | 100.0%"));
    }

    void callsFromTheGuiThreadRunDirectly() {
        shell_->mailCheckBegin();
        QVERIFY(window_->statusWindow());
        Application::instance().status().setStatusText("direct");
        QCOMPARE(uitest::control<QLabel>(window_->statusWindow(), control::kStatusText)->text(), QString("direct"));
        shell_->mailCheckEnd();
        QVERIFY(!window_->statusWindow());
    }

    void aQuestionWaitingWhenTheLoopEndsGetsTheUnattendedAnswer() {
        std::atomic<int> answer{-1};
        std::atomic<int> optional{-1};
        std::thread worker([&] {
            answer = shell_->messageBox("Really?", "Corvanthelix", mb::kYesNo | mb::kIconQuestion);
            optional = shell_->optionalMessageBox("Quit?", "Corvanthelix", mb::kYesNo | mb::kIconQuestion,
                                                  settings::optionalBox::kExitMainProgram, answer::kYes);
        });
        // The event loop has ended without looking at the question; the GUI thread now stops
        // the core, which joins the worker.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        QCOMPARE(answer.load(), -1);
        shell_->stop();
        worker.join();
        QCOMPARE(answer.load(), answer::kNo);
        QCOMPARE(optional.load(), answer::kYes);

        // The question given up on is not shown later, and nothing waits any more.
        bool shown = false;
        uitest::answerNextModal(control::kNo, false, &shown);
        QTest::qWait(100);
        QVERIFY(!shown);
        std::thread late([&] { shell_->mailCheckBegin(); });
        late.join();
        QVERIFY(!window_->statusWindow());
    }

    void boxesShowGermanButtonsAndTheTimeoutQuestionInGerman() {
        InitLanguage((uitest::programDir() + "/deutsch.corvanthelix.language").c_str());
        QStringList buttons;
        auto clickButton = [&buttons](const QString& wanted) {
            // Clicks `wanted`, or else any button, so that an untranslated box fails the test
            // instead of waiting for ever.
            return [&buttons, wanted](QWidget* modal) {
                QAbstractButton* target = nullptr;
                for (QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
                    buttons << button->text();
                    if (!target || button->text() == wanted) target = button;
                }
                if (target) QMetaObject::invokeMethod(target, &QAbstractButton::click, Qt::QueuedConnection);
            };
        };
        uitest::answerNextModal(-1, false, nullptr, clickButton("&Nein"));
        QCOMPARE(shell_->messageBox("Wirklich?", "Corvanthelix", mb::kYesNo | mb::kIconQuestion), answer::kNo);
        QVERIFY2(buttons.contains("&Ja") && buttons.contains("&Nein"), qPrintable(buttons.join(',')));

        buttons.clear();
        QString title;
        uitest::answerNextModal(-1, false, nullptr, [&](QWidget* modal) {
            title = modal->windowTitle();
            QDir().mkpath(kScreenshots);
            modal->grab().save(kScreenshots + "/timeout-question-de.png");
            clickButton("Abbrechen")(modal);
        });
        QCOMPARE(shell_->timeoutQuestion(), 0);
        QCOMPARE(title, QString("Zeitüberschreitung"));
        QVERIFY2(buttons.contains("Warten...") && buttons.contains("Abbrechen"), qPrintable(buttons.join(',')));
        InitLanguage(nullptr);
    }

private:
    const QString kScreenshots = QString(CORVANTHELIX_TEST_BINARY_DIR) + "/../screenshots";
    std::unique_ptr<testing::TempFolder> settingsFolder_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<QtShell> shell_;
};

QTEST_MAIN(QtShellTest)
#include "QtShellTest.moc"
