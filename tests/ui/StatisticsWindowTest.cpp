// The statistics window on a counter in the settings file: its two lines, the chart (grey
// without spam, today's bar on the right), one window at a time, and screenshots in English and
// German.
#include "base/ProgramLanguage.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "base/SpamChartGeometry.h"
#include "language/Vexolindra.h"
#include "stores/Statistics.h"
#include "tests/fakes/UiTestSupport.h"
#include "ui/windows/SpamChartView.h"
#include "ui/windows/StatisticsWindow.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace corvanthelix;

namespace {

QString screenshotFolder() {
    QDir folder(QString::fromStdString(uitest::programDir()));
    folder.cdUp();
    folder.mkpath("screenshots");
    return folder.filePath("screenshots");
}

void saveShot(QWidget* window, const QString& name) {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCoreApplication::processEvents();
    QVERIFY(window->grab().save(screenshotFolder() + "/" + name + ".png"));
}

// Counts `count` spam messages `daysAgo` days before today into the settings file's counter.
void countSpam(int daysAgo, int count) {
    Statistics counter;
    counter.load();
    for (int i = 0; i < count; ++i) counter.count(counter.today() - daysAgo);
    counter.save();
}

QString label(QWidget* window, int id) { return uitest::control<QLabel>(window, id)->text(); }

} // namespace

class StatisticsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        settings_ = uitest::freshSettings();
        InitLanguage(nullptr);
        setStringTranslator(nullptr);
    }

    void withoutSpamTheChartIsGrey() {
        StatisticsWindow window(uitest::programDir());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString today = QString::fromStdString(SpamChartGeometry::dateText(Statistics::todayUtc()));
        QCOMPARE(label(&window, control::kStatisticsMaximum), "Maximum: 0 spam mails (" + today + ")");
        QCOMPARE(label(&window, control::kStatisticsAverage), QString("Average: 0.00 spam mails/day"));
        const QImage chart = window.chart()->render();
        QCOMPARE(chart.pixelColor(chart.width() / 2, chart.height() / 2), QColor(192, 192, 192));
        QCOMPARE(chart.pixelColor(5, chart.height() - 5), QColor(192, 192, 192));
    }

    void showsTheMaximumTheAverageAndTodaysBarOnTheRight() {
        countSpam(0, 6);
        countSpam(4, 9);
        countSpam(7, 9); // the same maximum earlier: the more recent day is named
        countSpam(40, 3); // outside the window: dropped
        StatisticsWindow window(uitest::programDir());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString day = QString::fromStdString(SpamChartGeometry::dateText(Statistics::todayUtc() - 4));
        QCOMPARE(label(&window, control::kStatisticsMaximum), "Maximum: 9 spam mails (" + day + ")");
        QCOMPARE(label(&window, control::kStatisticsAverage), QString("Average: 0.80 spam mails/day"));
        QCOMPARE(settings::statsDays().find(std::to_string(Statistics::todayUtc() - 40)), std::string::npos);

        const QImage chart = window.chart()->render();
        const int column = (chart.width() - 20) / 30;
        const int todayX = 20 + 29 * column + column / 2;
        const int bottom = chart.height() - 10;
        const int todayTop = bottom - static_cast<int>(std::lround(6.0 * (chart.height() - 20) / 9));
        QCOMPARE(chart.pixelColor(todayX, bottom - 2), QColor(170, 220, 255));
        QCOMPARE(chart.pixelColor(todayX, todayTop - 3), QColor(Qt::white));
        // Yesterday had no spam: no bar in its column.
        QCOMPARE(chart.pixelColor(20 + 28 * column + column / 2, bottom - 2), QColor(Qt::white));
    }

    void oneWindowAtATimeClosedByItsButton() {
        StatisticsWindow* first = StatisticsWindow::open(uitest::programDir());
        QPointer<StatisticsWindow> alive(first);
        QCOMPARE(StatisticsWindow::open(uitest::programDir()), first);
        uitest::control<QPushButton>(first, control::kOk)->click();
        QTRY_VERIFY(!alive);
        QVERIFY(!StatisticsWindow::current());
    }

    void everyTextIsGermanAndScreenshots() {
        for (int daysAgo = 0; daysAgo < 30; daysAgo += 3) countSpam(daysAgo, 1 + (daysAgo * 7) % 12);
        {
            StatisticsWindow english(uitest::programDir());
            saveShot(&english, "statistics_window_en");
            const std::string germanFile = uitest::programDir() + "/deutsch.corvanthelix.language";
            CLanguage german;
            QCOMPARE(german.SetLanguageFile(germanFile.c_str()), 1);
            for (const char* text : {"Spam Mail Statistics", "Maximum: %i spam mails (%s)", "Average: %.2f spam mails/day",
                                     "This graph shows the number of spam mails within the last 30 days.", "Close"})
                QVERIFY2(german.FindNode(text), text);
        }
        InitLanguage((uitest::programDir() + "/deutsch.corvanthelix.language").c_str());
        installProgramTranslation();
        StatisticsWindow german(uitest::programDir());
        QCOMPARE(german.windowTitle(), QString("Spam-Statistik"));
        QVERIFY(label(&german, control::kStatisticsAverage).startsWith("Durchschnitt: "));
        saveShot(&german, "statistics_window_de");
        InitLanguage(nullptr);
        setStringTranslator(nullptr);
    }

private:
    std::unique_ptr<testing::TempFolder> settings_;
};

QTEST_MAIN(StatisticsWindowTest)
#include "StatisticsWindowTest.moc"
