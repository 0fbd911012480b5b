// The training area window on a real store holding real messages: what it lists and enables, the
// marks and their keys, pre-marking, deleting, learning off the GUI thread with its progress, the
// question on closing, the switch to the recycle bin, and screenshots in English and German.
#include "base/ProgramLanguage.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "filter/FilterChain.h"
#include "filter/FilterManager.h"
#include "filter/FilterVerdict.h"
#include "filter/LearningFilter.h"
#include "filter/PluginManager.h"
#include "filter/SenderLists.h"
#include "language/Vexolindra.h"
#include "stores/RecycleBin.h"
#include "stores/TrainingArea.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/UiTestSupport.h"
#include "ui/windows/MessageViewer.h"
#include "ui/windows/TrainingAreaModel.h"
#include "ui/windows/TrainingAreaWindow.h"
#include "upstream/MailMessage.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace corvanthelix;
using corvanthelix::testing::ScriptedShell;

namespace {

std::string mailText(const std::string& subject, const std::string& from, const std::string& body, int day) {
    return "From: " + from + "\r\nTo: alice@example.org\r\nSubject: " + subject + "\r\nDate: " + std::to_string(day) +
           " Dec 2026 09:15:00 +0000\r\n\r\n" + body + "\r\n";
}

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

// A training area and a recycle bin in the test's own program folder, with the shell that
// records the window's boxes, holding two messages judged spam and two judged non-spam.
struct Area {
    std::unique_ptr<testing::TempFolder> folder = uitest::freshSettings();
    ScriptedShell shell;
    std::unique_ptr<TrainingArea> store;
    std::unique_ptr<RecycleBin> bin;
    std::string pills, casino, meeting, invoice;

    Area() {
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
        PluginManager::destroyInstance();
        Application::instance().setShell(&shell);
        store = std::make_unique<TrainingArea>(folder->path());
        bin = std::make_unique<RecycleBin>(folder->path(), RecycleBin::Options{settings::settingsFile(), &shell});
        bin->rebuildIndex(false);
        pills = add("Cheap pills today", "\"Spam King\" <king@spam.example>", "buy cheap pills now", 1, 9);
        casino = add("Win at the casino", "Lucky Win <win@casino.example>", "casino bonus jackpot", 1, 8);
        meeting = add("Meeting notes", "Bob Builder <bob@example.net>", "see you at ten for the project", 2, 10);
        invoice = add("Your invoice for December", "Accounts <billing@example.com>", "invoice attached", 2, 7);
    }
    ~Area() {
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
        PluginManager::destroyInstance();
        Application::instance().setShell(nullptr);
    }

    std::string add(const std::string& subject, const std::string& from, const std::string& body, int verdict, int day,
                    const std::string& recycleName = {}) {
        MailMessage message;
        message.parse(mailText(subject, from, body, day));
        if (!store->addMessage(message, verdict, recycleName)) return {};
        std::string name;
        store->isInTrainingArea(message, name);
        return name;
    }
    bool listed(const std::string& name) {
        TrainingEntry entry;
        return store->getEntry(name, entry);
    }
};

QAction* action(QWidget* window, int id) { return window->findChild<QAction*>(QString::fromStdString(controlName(id))); }

QString statusText(TrainingAreaWindow& window, const char* name) {
    return window.statusBar()->findChild<QLabel*>(name)->text();
}

TrainingMark markOf(TrainingAreaWindow& window, const std::string& name) {
    const int row = window.model()->find(name);
    return row < 0 ? TrainingMark::None : window.model()->rows()[row].mark;
}

} // namespace

class TrainingAreaWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        InitLanguage(nullptr);
        setStringTranslator(nullptr);
    }

    void listsTheMessagesNewestFirstWithItsToolbarStates() {
        Area area;
        TrainingAreaWindow window(*area.store, area.bin.get(), uitest::programDir());
        QTableView* list = window.list();
        QCOMPARE(list->model()->rowCount(), 4);
        QCOMPARE(list->model()->columnCount(), 5);
        QCOMPARE(list->model()->headerData(1, Qt::Horizontal).toString(), QString("Sender"));
        QCOMPARE(list->model()->headerData(4, Qt::Horizontal).toString(), QString("Size"));
        QCOMPARE(list->model()->index(0, 1).data().toString(), QString("Bob Builder"));
        QCOMPARE(list->model()->index(0, 3).data().toString(), QString("10.12.2026, 09:15"));
        QVERIFY(list->model()->index(0, 4).data().toString().endsWith(" KB"));
        QVERIFY(statusText(window, "idStatusTotals").startsWith("4 messages - "));
        QCOMPARE(statusText(window, "idStatusReady"), QString("Ready"));
        QCOMPARE(window.windowTitle(), QString("Training Area (Recently Received Messages)"));

        // The first row is selected: everything but Learn! is there to use.
        QCOMPARE(window.selectedNames().size(), size_t(1));
        for (int id : {command::kViewMessage, command::kMarkSpam, command::kMarkNonSpam, command::kDeleteMessages, command::kPremark})
            QVERIFY2(action(&window, id)->isEnabled(), qPrintable(QString::number(id)));
        QVERIFY(!action(&window, command::kLearn)->isEnabled());
        window.selectNames({});
        QVERIFY(!action(&window, command::kViewMessage)->isEnabled());
        QVERIFY(action(&window, command::kPremark)->isEnabled());
        // The Pre-Mark button drops down its two choices.
        QVERIFY(action(&window, command::kPremark)->menu());
        QCOMPARE(action(&window, command::kPremark)->menu()->actions().size(), 2);

        window.sortBy(0);
        window.sortBy(1);
        QCOMPARE(list->model()->index(0, 1).data().toString(), QString("Accounts"));
    }

    void marksToggleAndTheKeysMoveDownUnlessCtrlIsHeld() {
        Area area;
        TrainingAreaWindow window(*area.store, area.bin.get(), uitest::programDir());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.sortBy(3); // meeting, pills, casino, invoice
        QTableView* list = window.list();
        list->setFocus();
        window.selectNames({area.meeting});
        QTest::keyClick(list, Qt::Key_N);
        QCOMPARE(markOf(window, area.meeting), TrainingMark::NonSpam);
        QCOMPARE(window.selectedNames(), std::vector<std::string>{area.pills});
        QTest::keyClick(list, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(markOf(window, area.pills), TrainingMark::Spam);
        QCOMPARE(window.selectedNames(), std::vector<std::string>{area.pills});
        QVERIFY(!window.model()->index(window.model()->find(area.pills), 0).data(Qt::DecorationRole).isNull());
        QVERIFY(action(&window, command::kLearn)->isEnabled());
        // The same mark again takes it away.
        window.runCommand(command::kMarkSpam);
        QCOMPARE(markOf(window, area.pills), TrainingMark::None);
        QVERIFY(window.model()->index(window.model()->find(area.pills), 0).data(Qt::DecorationRole).isNull());

        // Pre-marking sets marks by the filters' verdict and keeps the person's own.
        window.runCommand(command::kPremarkSpam);
        QCOMPARE(markOf(window, area.pills), TrainingMark::Spam);
        QCOMPARE(markOf(window, area.casino), TrainingMark::Spam);
        QCOMPARE(markOf(window, area.meeting), TrainingMark::NonSpam);
        QCOMPARE(markOf(window, area.invoice), TrainingMark::None);
        window.runCommand(command::kPremarkNonSpam);
        QCOMPARE(markOf(window, area.invoice), TrainingMark::NonSpam);
    }

    void premarksWhenOpeningAsTheSettingsSay() {
        Area area;
        settings::setTrainingAreaPremarkAuto(1);
        settings::setTrainingAreaPremarkNonSpam(1);
        settings::setTrainingAreaPremarkSpam(0);
        TrainingAreaWindow window(*area.store, area.bin.get(), uitest::programDir());
        QCOMPARE(markOf(window, area.pills), TrainingMark::None);
        QCOMPARE(markOf(window, area.meeting), TrainingMark::NonSpam);
        QCOMPARE(markOf(window, area.invoice), TrainingMark::NonSpam);
        // The button pre-marks by the same settings.
        settings::setTrainingAreaPremarkSpam(1);
        window.runCommand(command::kPremark);
        QCOMPARE(markOf(window, area.casino), TrainingMark::Spam);
    }

    void deleteAsksAndRemovesTheMessages() {
        Area area;
        TrainingAreaWindow window(*area.store, area.bin.get(), uitest::programDir());
        window.selectNames({area.pills, area.casino});
        area.shell.answerOptionalBoxes({answer::kNo});
        window.runCommand(command::kDeleteMessages);
        QVERIFY(area.listed(area.pills));
        QCOMPARE(area.shell.count("optionalMessageBox|TrainingDeleteQuestion|Corvanthelix|Do you really want to delete these mails?"), 1);
        window.runCommand(command::kDeleteMessages);
        QVERIFY(!area.listed(area.pills) && !area.listed(area.casino));
        QCOMPARE(window.model()->rowCount(), 2);
        QVERIFY(statusText(window, "idStatusTotals").startsWith("2 messages - "));
    }

    void learnRunsOffTheGuiThreadRemovesTheRowsAndTeachesTheFilter() {
        Area area;
        TrainingAreaWindow window(*area.store, area.bin.get(), uitest::programDir());
        window.show();
        // Nothing marked: Learn does nothing and shows nothing.
        area.shell.clear();
        window.runCommand(command::kLearn);
        QVERIFY(!window.learning());
        QVERIFY(area.shell.calls().empty());

        window.selectNames({area.pills, area.casino});
        window.runCommand(command::kMarkSpam);
        window.selectNames({area.meeting});
        window.runCommand(command::kMarkNonSpam);
        QSignalSpy finished(&window, &TrainingAreaWindow::learnFinished);
        window.runCommand(command::kLearn);
        QVERIFY(window.learning());
        QVERIFY(window.progress() && window.progress()->isVisible());
        QCOMPARE(window.progress()->maximum(), 3);
        QCOMPARE(statusText(window, "idStatusReady"), QString("Learning..."));
        QVERIFY(!action(&window, command::kLearn)->isEnabled());
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.takeFirst().at(0).toInt(), 3);
        QVERIFY(!window.progress());
        QCOMPARE(statusText(window, "idStatusReady"), QString("Ready"));
        QCOMPARE(window.model()->rowCount(), 1);
        QVERIFY(area.listed(area.invoice));
        QVERIFY(!area.listed(area.pills) && !area.listed(area.meeting));
        QCOMPARE(area.shell.count("optionalMessageBox|TrainingAreaHasLearned|Corvanthelix|Corvanthelix has learned"), 1);

        LearningFilter saved;
        saved.load(area.folder->path() + "/training", 0);
        QCOMPARE(saved.bad().messages(), 2u);
        QCOMPARE(saved.good().messages(), 1u);
    }

    void learningNonSpamOffersItsRecycleBinCopy() {
        Area area;
        MailMessage copy;
        copy.parse(mailText("Wanted", "Friend <friend@example.org>", "please restore me", 9));
        std::string path;
        QVERIFY(area.bin->addMessage(copy, "uid-1", FilterVerdict{}, "alice @ pop.example.org", &path, true));
        const std::string recycleName = path.substr(area.bin->folder().size());
        const std::string wanted = area.add("Wanted", "Friend <friend@example.org>", "please restore me", 1, 9, recycleName);
        TrainingAreaWindow window(*area.store, area.bin.get(), uitest::programDir());
        window.selectNames({wanted});
        window.runCommand(command::kMarkNonSpam);
        QSignalSpy finished(&window, &TrainingAreaWindow::learnFinished);
        window.runCommand(command::kLearn);
        QVERIFY(finished.wait(10000));
        QCOMPARE(area.shell.count("optionalMessageBox|TrainingAreaOnLearnRecycleMessage|Corvanthelix|The following "
                                  "Non-Spam-Message is also in the Recycle Bin:\n\nSender: Friend\nSubject: Wanted"),
                 1);
        bool restored = false;
        for (const RecycleEntry& e : area.bin->entries())
            if (e.name == recycleName) restored = e.restored;
        QVERIFY(restored);
    }

    void closingWithMarksAsksAndNoKeepsEveryMessage() {
        Area area;
        auto* window = new TrainingAreaWindow(*area.store, area.bin.get(), uitest::programDir());
        window->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<TrainingAreaWindow> alive(window);
        window->show();
        window->resize(700, 420);
        window->selectNames({area.pills});
        window->runCommand(command::kMarkSpam);
        area.shell.answerMessageBoxes({answer::kNo});
        window->close();
        QTRY_VERIFY(!alive);
        QCOMPARE(area.shell.count("messageBox|Corvanthelix|Do you want Corvanthelix to learn from selected messages?"), 1);
        QVERIFY(area.listed(area.pills));
        QCOMPARE(settings::windowPlacement(settings::section::kTrainingAreaWindow, settings::key::kRight, 0) -
                     settings::windowPlacement(settings::section::kTrainingAreaWindow, settings::key::kLeft, 0),
                 700);

        // Yes learns first, then the window goes.
        window = new TrainingAreaWindow(*area.store, area.bin.get(), uitest::programDir());
        window->setAttribute(Qt::WA_DeleteOnClose);
        alive = window;
        QCOMPARE(window->size(), QSize(700, 420));
        window->show();
        window->selectNames({area.pills});
        window->runCommand(command::kMarkSpam);
        area.shell.answerMessageBoxes({answer::kYes});
        window->close();
        QTRY_VERIFY_WITH_TIMEOUT(!alive, 10000);
        QVERIFY(!area.listed(area.pills));
    }

    void viewsTheMessageAndSwitchesToTheRecycleBin() {
        Area area;
        TrainingAreaWindow window(*area.store, area.bin.get(), uitest::programDir());
        window.selectNames({area.pills});
        window.runCommand(command::kViewMessage);
        QVERIFY(window.viewer() && window.viewer()->isVisible());
        int opened = 0;
        auto* switchButton = uitest::control<QToolButton>(&window, command::kSwitchWindow);
        QVERIFY(!switchButton->isEnabled());
        window.setRecycleBinOpener([&] { ++opened; });
        QVERIFY(switchButton->isEnabled());
        switchButton->click();
        QCOMPARE(opened, 1);
    }

    void addsTheSendersOfTheSelectedMessages() {
        Area area;
        TrainingAreaWindow window(*area.store, area.bin.get(), uitest::programDir());
        const SenderLists lists;
        SenderEntry found;
        window.selectNames({area.pills});
        bool seen = false;
        uitest::answerNextModal(control::kOk, false, &seen, [](QWidget* dialog) {
            QCOMPARE(uitest::control<QLineEdit>(dialog, control::kSenderAddress)->text(), QString("king@spam.example"));
        });
        window.runCommand(command::kAddToBlocked);
        QVERIFY(seen);
        QVERIFY(lists.findByAddress("king@spam.example", found));
        QCOMPARE(found.list, SenderEntry::kBlocked);
        window.selectNames({area.meeting});
        uitest::answerNextModal(control::kOk);
        window.runCommand(command::kAddToFriends);
        QVERIFY(lists.findByAddress("bob@example.net", found));
        QCOMPARE(found.list, SenderEntry::kFriend);
    }

    void everyTextIsGermanAndScreenshots() {
        Area area;
        {
            TrainingAreaWindow english(*area.store, area.bin.get(), uitest::programDir());
            english.sortBy(3);
            english.selectNames({area.pills, area.casino});
            english.runCommand(command::kMarkSpam);
            english.selectNames({area.meeting});
            english.runCommand(command::kMarkNonSpam);
            saveShot(&english, "training_area_window_en");

            const std::string germanFile = uitest::programDir() + "/deutsch.corvanthelix.language";
            CLanguage german;
            QCOMPARE(german.SetLanguageFile(germanFile.c_str()), 1);
            QStringList texts;
            texts << english.windowTitle()
                  << "Please wait...\nCorvanthelix is learning from marked messages...";
            for (QAbstractButton* b : english.findChildren<QAbstractButton*>()) texts << b->text() << b->toolTip();
            for (QAction* a : english.findChildren<QAction*>()) texts << a->text();
            for (QLabel* l : english.findChildren<QLabel*>())
                if (!l->objectName().startsWith("idStatusTotals")) texts << l->text();
            for (int column = 1; column < 5; ++column) texts << english.list()->model()->headerData(column, Qt::Horizontal).toString();
            for (int id : {171, 178, 186, 221, 222, 246}) texts << QString::fromStdString(loadString(id));
            for (const QString& text : texts) {
                if (text.trimmed().isEmpty() || text == "Corvanthelix") continue;
                QVERIFY2(german.FindNode(text.toUtf8().constData()), qPrintable("no German text for: " + text));
            }
        }
        InitLanguage((uitest::programDir() + "/deutsch.corvanthelix.language").c_str());
        installProgramTranslation();
        TrainingAreaWindow german(*area.store, area.bin.get(), uitest::programDir());
        german.sortBy(3);
        german.selectNames({area.pills, area.casino});
        german.runCommand(command::kMarkSpam);
        QCOMPARE(german.windowTitle(), QString("Trainingsbereich (kürzlich empfangene Nachrichten)"));
        QCOMPARE(action(&german, command::kLearn)->text(), QString("Lernen!"));
        saveShot(&german, "training_area_window_de");
        InitLanguage(nullptr);
        setStringTranslator(nullptr);
    }
};

QTEST_MAIN(TrainingAreaWindowTest)
#include "TrainingAreaWindowTest.moc"
