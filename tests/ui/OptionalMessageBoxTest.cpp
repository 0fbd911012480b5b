// The optional message box: silenced boxes give their default answer without showing, the
// "Don't show this message again" box stores the setting, only the buttons end the box.
#include "base/Settings.h"
#include "base/Shell.h"
#include "ui/widgets/OptionalMessageBox.h"
#include "tests/fakes/UiTestSupport.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace corvanthelix;

namespace {
const char* kBox = settings::optionalBox::kExitMainProgram;

int ask(unsigned flags, int defaultAnswer) {
    return OptionalMessageBox::ask(nullptr, "Do you really want to quit?", "Corvanthelix", flags, kBox, defaultAnswer,
                                   settings::settingsFile());
}
} // namespace

class OptionalMessageBoxTest : public QObject {
    Q_OBJECT

private slots:
    void init() { settingsFolder_ = uitest::freshSettings(); }

    void silencedBoxGivesItsDefaultAtOnce() {
        settings::setOptionalMessageBox(kBox, 1);
        // No one answers: a box shown here would never return.
        QCOMPARE(ask(mb::kYesNo | mb::kIconQuestion, answer::kYes), answer::kYes);
        QCOMPARE(ask(mb::kYesNo | mb::kIconQuestion, answer::kNo), answer::kNo);
    }

    void noWithTheBoxTickedIsStoredAndLaterCallsGiveTheDefault() {
        bool seen = false;
        uitest::answerNextModal(control::kNo, true, &seen);
        QCOMPARE(ask(mb::kYesNo | mb::kIconQuestion, answer::kYes), answer::kNo);
        QVERIFY(seen);
        QCOMPARE(settings::optionalMessageBoxSilenced(kBox), 1);
        // From now on the call's default answer comes back, not the No that was clicked.
        QCOMPARE(ask(mb::kYesNo | mb::kIconQuestion, answer::kYes), answer::kYes);
    }

    void anAnswerWithoutTheTickStoresNothing() {
        uitest::answerNextModal(control::kYes, false);
        QCOMPARE(ask(mb::kYesNo | mb::kIconQuestion, answer::kNo), answer::kYes);
        QCOMPARE(settings::optionalMessageBoxSilenced(kBox), 0);
    }

    void buttonsFollowTheTypeAndOnlyButtonsEndTheBox() {
        QStringList yesNoButtons, okButtons;
        bool escapeIgnored = false;
        uitest::answerNextModal(control::kYes, false, nullptr, [&](QWidget* box) {
            for (auto* button : box->findChildren<QPushButton*>()) yesNoButtons << button->objectName();
            // Escape and the close command leave it open.
            QTest::keyClick(box, Qt::Key_Escape);
            box->close();
            escapeIgnored = box->isVisible();
        });
        QCOMPARE(ask(mb::kYesNo | mb::kIconQuestion, answer::kNo), answer::kYes);
        QVERIFY(escapeIgnored);
        yesNoButtons.sort();
        QCOMPARE(yesNoButtons, QStringList({"id6", "id7"}));

        uitest::answerNextModal(control::kOk, false, nullptr, [&](QWidget* box) {
            for (auto* button : box->findChildren<QPushButton*>()) okButtons << button->objectName();
            QCOMPARE(uitest::control<QLabel>(box, control::kOptionalText)->text(), QString("Do you really want to quit?"));
            QCOMPARE(box->windowTitle(), QString("Corvanthelix"));
        });
        QCOMPARE(ask(mb::kOk | mb::kIconInformation, answer::kOk), answer::kOk);
        QCOMPARE(okButtons, QStringList({"id1"}));
    }

    void textIsWrappedAtTheGivenWidth() {
        QFont font;
        QFontMetrics metrics(font);
        const QString text = "one two three four five six seven eight nine ten\nshort";
        const int width = metrics.horizontalAdvance("one two three");
        const QStringList lines = OptionalMessageBox::wrapText(text, metrics, width);
        QVERIFY(lines.size() >= 4);
        QCOMPARE(lines.last(), QString("short"));
        for (const QString& line : lines) QVERIFY(metrics.horizontalAdvance(line) <= width);
        QCOMPARE(lines.join(' ').split(' ', Qt::SkipEmptyParts), text.split(QRegularExpression("[ \n]")));
        // A word wider than the width stands alone rather than being lost.
        QCOMPARE(OptionalMessageBox::wrapText("a incomprehensibilities b", metrics, metrics.horizontalAdvance("a")),
                 QStringList({"a", "incomprehensibilities", "b"}));
    }

private:
    std::unique_ptr<testing::TempFolder> settingsFolder_;
};

QTEST_MAIN(OptionalMessageBoxTest)
#include "OptionalMessageBoxTest.moc"
