// The status window: what it shows of the status state, its size on a denser screen, its
// opacity, Cancel, the lock and the saved placement.
#include "base/Settings.h"
#include "ui/widgets/WindowEffects.h"
#include "base/StatusState.h"
#include "ui/windows/StatusWindow.h"
#include "tests/fakes/UiTestSupport.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using namespace corvanthelix;

namespace {

// The state tells no shell; the test refreshes the window the way the shell would.
struct Fixture {
    StatusState state;
    StatusWindow window;
    explicit Fixture(int dpi = 96) : window(state, uitest::programDir(), nullptr, dpi) {}
    QString text(int id) { return uitest::control<QLabel>(&window, id)->text(); }
    int bar() { return uitest::control<QProgressBar>(&window, control::kStatusProgressBar)->value(); }
};

} // namespace

class StatusWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { settingsFolder_ = uitest::freshSettings(); }

    void percentModeWithTotalZeroShowsHundredPercent() {
        Fixture f;
        f.state.setPercentMode(true);
        f.window.refreshAll();
        QCOMPARE(f.text(control::kStatusProgressText), QString("100% done."));
        f.state.setTotal(400);
        f.state.setReceived(100);
        f.window.refresh(StatusField::Received);
        QCOMPARE(f.text(control::kStatusProgressText), QString("25% done."));
        QCOMPARE(f.bar(), 25);
    }

    void receivedBeyondTheTotalIsIgnored() {
        Fixture f;
        f.state.setTotal(2048);
        f.state.setReceived(1024);
        f.window.refresh(StatusField::Received);
        const QString before = f.text(control::kStatusProgressText);
        QVERIFY2(before.startsWith("1.0 kb of 2.0 kb ("), qPrintable(before));
        QCOMPARE(f.bar(), 50);
        f.state.setReceived(4096);
        f.state.addReceived(2000);
        f.window.refresh(StatusField::Received);
        QCOMPARE(f.state.received(), 1024);
        QCOMPARE(f.bar(), 50);
        QVERIFY(f.text(control::kStatusProgressText).startsWith("1.0 kb of 2.0 kb ("));
    }

    void texts() {
        Fixture f;
        f.state.setStatusText("Connecting to \"pop.example.org\"...");
        f.state.setDetailText("Deleting old messages from Recycle Bin...");
        f.state.setSpamCount(3);
        f.window.refreshAll();
        QCOMPARE(f.text(control::kStatusText), QString("Connecting to \"pop.example.org\"..."));
        QCOMPARE(f.text(control::kStatusDetailText), QString("Deleting old messages from Recycle Bin..."));
        QCOMPARE(f.text(control::kStatusSpamCount), QString("Spam messages: 3"));
    }

    void longStatusTextIsElidedWithTheWholeTextAsTooltip() {
        Fixture f;
        const QString german = "Empfange 10 (154 kb) von 12 Nachrichten...";
        f.state.setStatusText(german.toStdString());
        f.window.refresh(StatusField::Text);
        auto* label = uitest::control<QLabel>(&f.window, control::kStatusText);
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), qPrintable(label->text()));
        if (label->text() != german) QCOMPARE(label->toolTip(), german);
        f.state.setStatusText("Connecting...");
        f.window.refresh(StatusField::Text);
        QCOMPARE(label->text(), QString("Connecting..."));
        QCOMPARE(label->toolTip(), QString());
    }

    void screenWith120DpiGivesALargerWindowWithWidenedControls() {
        QCOMPARE(StatusWindow::scaledSize(96), QSize(250, 200));
        QCOMPARE(StatusWindow::scaledSize(120), QSize(312, 250));
        Fixture normal(96);
        Fixture dense(120);
        QCOMPARE(normal.window.size(), QSize(250, 200));
        QCOMPARE(dense.window.size(), QSize(312, 250));
        for (int id : {control::kStatusText, control::kStatusProgressBar, control::kStatusProgressText,
                       control::kStatusSpamCount, control::kStatusDetailText}) {
            const QRect r = uitest::control(&dense.window, id)->geometry();
            QCOMPARE(r.width(), 312 - 2 * r.x());
        }
        // The buttons stay inside the window.
        for (int id : {control::kStatusHide, control::kStatusCancel})
            QVERIFY(dense.window.rect().contains(uitest::control(&dense.window, id)->geometry()));
    }

    void opacityFiftyGivesAlpha127() {
        QCOMPARE(alphaForOpacity(50), 127);
        QCOMPARE(alphaForOpacity(100), 255);
        QCOMPARE(alphaForOpacity(0), 0);
        settings::setBubbleOpacity(50);
        Fixture f;
        f.window.showStatus();
        QCOMPARE(qRound(f.window.windowOpacity() * 255), 127);
        settings::setBubbleOpacity(100);
        f.window.showStatus();
        QCOMPARE(f.window.windowOpacity(), 1.0);
    }

    void showsInTheBottomRightCornerAndKeepsASavedPlace() {
        Fixture f;
        f.window.showStatus();
        const QRect work = f.window.screen()->availableGeometry();
        QCOMPARE(f.window.geometry().bottomRight(), work.bottomRight());
        f.window.move(40, 50);
        f.window.savePlacement();
        QCOMPARE(settings::windowPlacement(settings::section::kBubbleWindow, settings::key::kLeft, -1), 40);

        Fixture placed;
        placed.window.showStatus();
        QCOMPARE(placed.window.geometry().bottomRight(), work.bottomRight()); // not asked to keep it
        settings::setBubbleSavePosition(1);
        placed.window.showStatus();
        QCOMPARE(placed.window.pos(), QPoint(40, 50));
    }

    void cancelSetsTheFlagDisablesItselfAndAbortsTheCheck() {
        Fixture f;
        int aborted = 0;
        f.state.setAbortAction([&] { ++aborted; });
        auto* cancel = uitest::control<QPushButton>(&f.window, control::kStatusCancel);
        QVERIFY(cancel->isEnabled());
        cancel->click();
        QVERIFY(f.state.cancelRequested());
        QVERIFY(!cancel->isEnabled());
        QCOMPARE(aborted, 1);
        // The next check clears the flag and the button comes back.
        f.state.setCancelRequested(false);
        f.window.refresh(StatusField::Cancel);
        QVERIFY(cancel->isEnabled());
    }

    void hideHidesUntilTheNextShow() {
        Fixture f;
        f.window.showStatus();
        QVERIFY(f.window.isVisible());
        uitest::control<QPushButton>(&f.window, control::kStatusHide)->click();
        QVERIFY(!f.window.isVisible());
        f.window.showStatus();
        QVERIFY(f.window.isVisible());
    }

    void lockBlinksWhileOn() {
        Fixture f;
        f.state.setLock(true);
        f.window.refresh(StatusField::Lock);
        QVERIFY(f.window.lockPhase());
        QTRY_VERIFY_WITH_TIMEOUT(!f.window.lockPhase(), 1500);
        QTRY_VERIFY_WITH_TIMEOUT(f.window.lockPhase(), 1500);
        f.state.setLock(false);
        f.window.refresh(StatusField::Lock);
        QVERIFY(!f.window.lockPhase());
        QTest::qWait(600);
        QVERIFY(!f.window.lockPhase());
    }

private:
    std::unique_ptr<testing::TempFolder> settingsFolder_;
};

QTEST_MAIN(StatusWindowTest)
#include "StatusWindowTest.moc"
