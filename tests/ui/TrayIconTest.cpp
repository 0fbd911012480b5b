// The tray icon: number icons composed from the digit pictures, the tooltip with its progress
// piece, and which picture wins while starting up and during a mail check.
#include "base/Settings.h"
#include "base/TrayText.h"
#include "ui/shell/TrayIcon.h"
#include "tests/fakes/UiTestSupport.h"

#include <QtTest>

using namespace corvanthelix;

namespace {

QImage picture(const std::string& relative) {
    QImage image(QString::fromStdString(uitest::programDir() + "/" + relative));
    return image.convertToFormat(QImage::Format_ARGB32);
}

// True when columns [from, to) of `a` and `b` hold the same pixels.
bool sameColumns(const QImage& a, const QImage& b, int from, int to) {
    for (int y = 0; y < 16; ++y)
        for (int x = from; x < to; ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) return false;
    return true;
}

} // namespace

class TrayIconTest : public QObject {
    Q_OBJECT

private slots:
    void init() { settingsFolder_ = uitest::freshSettings(); }

    void numberIconIsComposedFromTheDigitPictures_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("left");   // empty: the state icon alone
        QTest::addColumn<QString>("right");
        QTest::newRow("0 is the state icon") << 0 << "" << "icons/mini.ico";
        QTest::newRow("7 beside the state icon") << 7 << "icons/numbers/70.ico" << "icons/mini.ico";
        QTest::newRow("42 from tens and units") << 42 << "icons/numbers/40.ico" << "icons/numbers/2.ico";
        QTest::newRow("250 shows 99") << 250 << "icons/numbers/90.ico" << "icons/numbers/9.ico";
    }

    void numberIconIsComposedFromTheDigitPictures() {
        QFETCH(int, count);
        QFETCH(QString, left);
        QFETCH(QString, right);
        TrayIcon tray(uitest::programDir());
        const QImage icon = tray.numberImage(count).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(icon.size(), QSize(16, 16));
        const QImage rightPicture = picture(right.toStdString());
        QVERIFY(!rightPicture.isNull());
        if (left.isEmpty()) {
            QVERIFY(sameColumns(icon, rightPicture, 0, 16));
        } else {
            const QImage leftPicture = picture(left.toStdString());
            QVERIFY(sameColumns(icon, leftPicture, 0, TrayIcon::kLeftColumns));
            QVERIFY(sameColumns(icon, rightPicture, TrayIcon::kLeftColumns, 16));
            // The pictures really differ there, so the comparison above chose the right halves.
            QVERIFY(!sameColumns(icon, rightPicture, 0, TrayIcon::kLeftColumns));
        }
        tray.setCount(count);
        QCOMPARE(tray.currentImage().convertToFormat(QImage::Format_ARGB32), icon);
    }

    void disabledFilterUsesTheGreyStateIcon() {
        settings::setEnable(0);
        TrayIcon tray(uitest::programDir());
        const QImage grey = picture("icons/mini_grey.ico");
        QVERIFY(sameColumns(tray.numberImage(0).convertToFormat(QImage::Format_ARGB32), grey, 0, 16));
        QVERIFY(sameColumns(tray.numberImage(3).convertToFormat(QImage::Format_ARGB32), grey, 7, 16));
        QVERIFY(!sameColumns(grey, picture("icons/mini.ico"), 0, 16));
    }

    void tooltipIsCutAndCarriesTheProgress() {
        TrayIcon tray(uitest::programDir());
        const std::string longText(70, 'x');
        tray.setTooltip(longText);
        QCOMPARE(tray.tooltip(), std::string(63, 'x'));

        tray.setTooltip("Corvanthelix 0.9.8.1");
        tray.setProgress(455);
        QCOMPARE(tray.tooltip(), std::string("Corvanthelix 0.9.8.1 | 45.5%"));
        tray.setProgress(1000); // replaced, not appended again
        QCOMPARE(tray.tooltip(), std::string("Corvanthelix 0.9.8.1 | 100.0%"));
        tray.setProgress(-1);
        QCOMPARE(tray.tooltip(), std::string("Corvanthelix 0.9.8.1"));

        // Only the last separator starts the progress piece; the whole stays within 63.
        QCOMPARE(tray::withProgress("a | b | 3.0%", 125), std::string("a | b | 12.5%"));
        QCOMPARE(tray::withProgress(std::string(62, 'y'), 10), std::string(62, 'y') + " ");
        // A character is never split by the cut.
        const std::string umlauts = std::string(62, 'a') + "\xC3\xA4\xC3\xB6";
        QCOMPARE(tray::cutTooltip(umlauts), std::string(62, 'a') + "\xC3\xA4");
    }

    void waitPictureWinsOverAnimationWhichWinsOverTheCount() {
        TrayIcon tray(uitest::programDir());
        tray.setCount(5);
        tray.setStartingUp(true);
        tray.setAnimating(true);
        QCOMPARE(tray.currentSource(), QString("icons/wait.ico"));
        tray.setStartingUp(false);
        QCOMPARE(tray.currentSource(), QString("icons/mailmini.ico"));
        // Frames follow every 100 ms: 0, 1, 2, 3, 0, ...
        QTRY_COMPARE_WITH_TIMEOUT(tray.currentSource(), QString("icons/mailani1.ico"), 1000);
        QTRY_COMPARE_WITH_TIMEOUT(tray.currentSource(), QString("icons/mailani2.ico"), 1000);
        tray.setAnimating(false);
        QCOMPARE(tray.currentSource(), QString("icons/numbers/50.ico+icons/mini.ico"));
    }

private:
    std::unique_ptr<testing::TempFolder> settingsFolder_;
};

QTEST_MAIN(TrayIconTest)
#include "TrayIconTest.moc"
