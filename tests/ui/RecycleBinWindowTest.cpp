// The recycle bin window on a real store holding real messages: what it lists and shows, each
// command's effect on the store, rows arriving while it is open, the keys, the message viewer in
// both modes, the sender dialogs, and screenshots in English and German.
#include "base/ProgramLanguage.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "filter/FilterVerdict.h"
#include "filter/SenderLists.h"
#include "language/Vexolindra.h"
#include "stores/RecycleBin.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/UiTestSupport.h"
#include "ui/windows/MessageViewer.h"
#include "ui/windows/RecycleBinModel.h"
#include "ui/windows/RecycleBinWindow.h"
#include "upstream/MailMessage.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace corvanthelix;
using corvanthelix::testing::ScriptedShell;

namespace {

const std::string kAccount = "alice @ pop.example.org";

std::string mailText(const std::string& subject, const std::string& from, const std::string& body) {
    return "From: " + from + "\r\nTo: alice@example.org\r\nSubject: " + subject +
           "\r\nDate: Tue, 8 Dec 2026 09:15:00 +0000\r\nContent-Type: text/html\r\n\r\n" + body;
}

FilterVerdict verdict(const std::string& filter, const std::string& words, double probability) {
    FilterVerdict v;
    v.setFilterName(filter);
    v.setReason(words);
    v.probability = probability;
    return v;
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

// A store in the test's own program folder, the shell that records the window's boxes, and
// messages of every kind the window lists.
struct Bin {
    std::unique_ptr<testing::TempFolder> folder = uitest::freshSettings();
    ScriptedShell shell;
    std::unique_ptr<RecycleBin> store;
    std::string cheap, meeting, partial, gone;

    Bin() {
        Application::instance().setShell(&shell);
        store = std::make_unique<RecycleBin>(folder->path(), RecycleBin::Options{settings::settingsFile(), &shell});
        store->rebuildIndex(false);
        cheap = add("Cheap pills today", "\"Spam King\" <king@spam.example>", "<p>Buy <b>cheap</b> pills</p>",
                    verdict("Spam words", "cheap, pills", 0.9712));
        meeting = add("Meeting notes", "Bob Builder <bob@example.net>", "<p>See you at ten</p>",
                      verdict("Learning filter", "", 0.81));
        partial = add("Only the header", "Partial Sender <partial@example.com>", "", FilterVerdict{}, false, true);
        gone = add("Gone from server", "Gone Sender <gone@example.com>", "", FilterVerdict{}, false, false);
        store->clearSeenFlags();
    }
    ~Bin() { Application::instance().setShell(nullptr); }

    std::string add(const std::string& subject, const std::string& from, const std::string& body, const FilterVerdict& v,
                    bool whole = true, bool stay = true) {
        static int uid = 0;
        MailMessage message;
        const std::string text = mailText(subject, from, body + "\r\n");
        if (whole) message.parse(text);
        else message.parseTop(text, 0);
        std::string path;
        if (!store->addMessage(message, "uid" + std::to_string(++uid), v, kAccount, &path, stay)) return {};
        return path.substr(store->folder().size());
    }

    std::optional<RecycleEntry> entry(const std::string& name) {
        for (const RecycleEntry& e : store->entries())
            if (e.name == name) return e;
        return std::nullopt;
    }
    bool listed(const std::string& name) {
        auto e = entry(name);
        return e && !e->deleted;
    }
};

QString label(QWidget* window, int id) { return uitest::control<QLabel>(window, id)->text(); }
QAction* action(QWidget* window, int id) {
    return window->findChild<QAction*>(QString::fromStdString(controlName(id)));
}
QString statusTotals(RecycleBinWindow& window) {
    for (QLabel* l : window.statusBar()->findChildren<QLabel*>())
        if (l->text().contains("KB")) return l->text();
    return {};
}

} // namespace

class RecycleBinWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        InitLanguage(nullptr);
        setStringTranslator(nullptr);
    }

    void listsEveryMessageWithItsColumnsPaneAndToolbar() {
        Bin bin;
        const std::string fresh = bin.add("Arrived later", "New One <new@example.org>", "hi", verdict("Spam words", "x", 0.5));
        RecycleBinWindow window(*bin.store, uitest::programDir());
        RecycleBinModel* model = window.model();
        QCOMPARE(model->rowCount(), 5);
        QCOMPARE(model->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Filter name"));
        const int row = model->find(bin.cheap);
        QCOMPARE(model->index(row, 0).data().toString(), QString("Spam King"));
        QCOMPARE(model->index(row, 2).data().toString(), QString("08.12.2026, 09:15"));
        QCOMPARE(model->index(row, 3).data().toString(), QString("Spam words"));
        QCOMPARE(model->index(row, 4).data().toString(), QString("97.12 %"));
        QCOMPARE(model->index(row, 5).data().toString(), QString::fromStdString(kAccount));
        QCOMPARE(model->index(model->find(bin.partial), 6).data().toString(), QString(""));
        QCOMPARE(model->index(model->find(bin.partial), 3).data().toString(), QString("(Blocked Sender)"));
        // Only the message that came after the last look is bold.
        QVERIFY(model->index(model->find(fresh), 1).data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!model->index(row, 1).data(Qt::FontRole).isValid());

        // The first row (newest first) is selected and shown in the pane.
        QCOMPARE(window.selectedNames().size(), size_t(1));
        window.selectNames({bin.cheap});
        QCOMPARE(label(&window, control::kRecyclePaneSender), QString("Spam King"));
        QCOMPARE(label(&window, control::kRecyclePaneFilter), QString("Spam words"));
        QCOMPARE(label(&window, control::kRecyclePaneWords), QString("cheap, pills"));
        QCOMPARE(label(&window, control::kRecyclePaneProbability), QString("97.12 %"));
        QVERIFY(action(&window, command::kRestoreMessages)->isEnabled());
        QVERIFY(statusTotals(window).startsWith("5 messages - "));

        window.selectNames({bin.cheap, bin.meeting});
        QCOMPARE(label(&window, control::kRecyclePaneSender), QString(""));
        window.selectNames({});
        for (int id : {command::kViewMessage, command::kRestoreMessages, command::kDeleteMessages})
            QVERIFY2(!action(&window, id)->isEnabled(), qPrintable(QString::number(id)));
        QVERIFY(action(&window, command::kEmptyBin)->isEnabled());

        // The training area window is not there yet: its switch is disabled and says so.
        auto* switchButton = uitest::control<QToolButton>(&window, command::kSwitchWindow);
        QVERIFY(!switchButton->isEnabled());
        QVERIFY(switchButton->toolTip().contains("not available"));
    }

    void commandsChangeTheStore() {
        Bin bin;
        RecycleBinWindow window(*bin.store, uitest::programDir());

        // Restore a whole message: asked once, told once, marked with the icon.
        window.selectNames({bin.cheap});
        window.runCommand(command::kRestoreMessages);
        QVERIFY(bin.entry(bin.cheap)->restored);
        QCOMPARE(bin.shell.count("optionalMessageBox|RecycleBinRestoreQuestion"), 1);
        QCOMPARE(bin.shell.count("optionalMessageBox|RecycleBinRestoredInformation"), 1);
        QVERIFY(!window.model()->index(window.model()->find(bin.cheap), 0).data(Qt::DecorationRole).isNull());

        // A message whose server copy is gone shows the error and stays unrestored.
        window.selectNames({bin.gone});
        window.runCommand(command::kRestoreMessages);
        QVERIFY(!bin.entry(bin.gone)->restored);
        QCOMPARE(bin.shell.count("messageBox|Corvanthelix|The following message cannot be restored"), 1);

        // Reset account information.
        window.selectNames({bin.meeting});
        window.runCommand(command::kResetAccount);
        QVERIFY(bin.entry(bin.meeting)->hideAccount);
        QCOMPARE(window.model()->index(window.model()->find(bin.meeting), 5).data().toString(), QString(""));

        // Delete: No keeps the message, Yes removes it from the store and the list at once.
        bin.shell.answerOptionalBoxes({answer::kNo});
        window.runCommand(command::kDeleteMessages);
        QVERIFY(bin.listed(bin.meeting));
        window.runCommand(command::kDeleteMessages);
        QVERIFY(!bin.listed(bin.meeting));
        QCOMPARE(window.model()->find(bin.meeting), -1);
        QVERIFY(statusTotals(window).startsWith("3 messages - "));

        // Empty bin: the restored message stays.
        window.runCommand(command::kEmptyBin);
        QCOMPARE(bin.shell.count("optionalMessageBox|RecycleBinEmptyQuestion"), 1);
        QVERIFY(bin.listed(bin.cheap));
        QVERIFY(!bin.listed(bin.partial));
        QVERIFY(!bin.listed(bin.gone));
        QCOMPARE(window.model()->rowCount(), 1);

        // The pane's toggle is remembered.
        QVERIFY(window.paneShown());
        window.runCommand(control::kRecyclePaneToggle);
        QVERIFY(!window.paneShown());
        QCOMPARE(settings::recycleBinShowInfo(), 0);
        QVERIFY(uitest::control<QWidget>(&window, control::kRecyclePaneShown)->isHidden());
        saveShot(&window, "recycle_bin_window_pane_hidden_en");
        QVERIFY(uitest::control<QToolButton>(&window, control::kRecyclePaneToggle)->isVisible());
    }

    void restoreDownloadsAPartialMessageFirstWhenAllowed() {
        Bin bin;
        int downloads = 0;
        bin.store->setRestoreDownloader([&](const std::string&, const std::string&, const std::string&, MailMessage& m) {
            ++downloads;
            m.parse(mailText("Only the header", "Partial Sender <partial@example.com>", "now whole\r\n"));
            return true;
        });
        RecycleBinWindow window(*bin.store, uitest::programDir());
        window.selectNames({bin.partial});
        bin.shell.answerMessageBoxes({answer::kNo});
        window.runCommand(command::kRestoreMessages);
        QCOMPARE(downloads, 0);
        QVERIFY(bin.listed(bin.partial));

        bin.shell.answerMessageBoxes({answer::kYes});
        window.runCommand(command::kRestoreMessages);
        QCOMPARE(downloads, 1);
        QVERIFY(!bin.listed(bin.partial));
        const std::vector<std::string> selected = window.selectedNames();
        QCOMPARE(selected.size(), size_t(1));
        QVERIFY(bin.entry(selected.front())->restored);
        QVERIFY(bin.entry(selected.front())->complete);
    }

    void rowsOfARunningCheckArriveBoldAndLeaveLive() {
        Bin bin;
        RecycleBinWindow window(*bin.store, uitest::programDir());
        bin.shell.clear();
        const std::string arrived = bin.add("During the check", "Late <late@example.org>", "x", FilterVerdict{});
        // The store reported the row through the shell; the desktop shell posts it to the window.
        QCOMPARE(bin.shell.count("recycleBinRowChanged"), 1);
        window.rowChanged(RecycleRowChange::Added, arrived);
        const int row = window.model()->find(arrived);
        QVERIFY(row >= 0);
        QVERIFY(window.model()->index(row, 0).data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(statusTotals(window).startsWith("5 messages - "));
        bin.store->deleteMessage(arrived);
        window.rowChanged(RecycleRowChange::Removed, arrived);
        QCOMPARE(window.model()->find(arrived), -1);
    }

    void closingClearsTheSeenFlagsAndKeepsThePlacement() {
        Bin bin;
        bin.add("Unseen", "U <u@example.org>", "x", FilterVerdict{});
        {
            RecycleBinWindow window(*bin.store, uitest::programDir());
            window.resize(700, 450);
            window.list()->setColumnWidth(1, 333);
            window.close();
        }
        for (const RecycleEntry& e : bin.store->entries()) QVERIFY(e.seen);
        QCOMPARE(settings::columnWidth(settings::section::kRecycleBinWindow, 1), 333);
        RecycleBinWindow again(*bin.store, uitest::programDir());
        QCOMPARE(again.list()->columnWidth(1), 333);
        QCOMPARE(again.size(), QSize(700, 450));
    }

    void sortingAndKeys() {
        Bin bin;
        RecycleBinWindow window(*bin.store, uitest::programDir());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTableView* list = window.list();
        auto senderAt = [&](int row) { return list->model()->index(row, 0).data().toString(); };
        window.sortBy(0);
        QCOMPARE(senderAt(0), QString("Bob Builder"));
        QCOMPARE(senderAt(3), QString("Spam King"));
        window.sortBy(4); // probability, highest first
        QCOMPARE(senderAt(0), QString("Spam King"));

        list->setFocus();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(window.selectedNames().size(), size_t(4));

        window.selectNames({bin.cheap});
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(window.viewer() && window.viewer()->isVisible());
        QVERIFY(window.viewer()->contentMode());
        window.viewer()->close();

        window.selectNames({bin.meeting});
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Delete);
        QVERIFY(!bin.listed(bin.meeting));
    }

    void viewerShowsBodyOrWholeMessageAndNoticesForPartialOnes() {
        Bin bin;
        RecycleBinWindow window(*bin.store, uitest::programDir());
        window.selectNames({bin.cheap});
        window.runCommand(command::kViewMessage);
        MessageViewer* viewer = window.viewer();
        QVERIFY(viewer);
        auto* text = uitest::control<QPlainTextEdit>(viewer, control::kViewerText);
        auto* whole = uitest::control<QCheckBox>(viewer, control::kViewerWhole);
        QVERIFY(text->toPlainText().contains("Buy cheap pills"));
        QVERIFY(!text->toPlainText().contains("<b>"));
        QVERIFY(!text->toPlainText().contains("Subject:"));
        whole->click();
        QVERIFY(text->toPlainText().contains("Subject: Cheap pills today"));
        QCOMPARE(settings::viewMessageWhole(), 1);
        whole->click();
        QCOMPARE(settings::viewMessageWhole(), 0);

        window.selectNames({bin.gone});
        window.runCommand(command::kViewMessage);
        QCOMPARE(window.viewer(), viewer);
        QVERIFY(!viewer->contentMode());
        QVERIFY(label(viewer, control::kViewerNotice).startsWith("This message is not available."));
        QVERIFY(uitest::control<QPushButton>(viewer, control::kViewerDownload)->isHidden());

        // Held in part and still on the server: the button downloads on a worker thread; a failed
        // download keeps the notice and gives the button back.
        bool serverHas = false;
        bin.store->setRestoreDownloader([&](const std::string&, const std::string&, const std::string&, MailMessage& m) {
            if (!serverHas) return false;
            m.parse(mailText("Only the header", "Partial Sender <partial@example.com>", "the rest arrived\r\n"));
            return true;
        });
        window.selectNames({bin.partial});
        window.runCommand(command::kViewMessage);
        QVERIFY(!viewer->contentMode());
        QVERIFY(label(viewer, control::kViewerNotice).startsWith("At the moment this message is not fully available."));
        auto* download = uitest::control<QPushButton>(viewer, control::kViewerDownload);
        QVERIFY(!download->isHidden());
        QSignalSpy finished(viewer, &MessageViewer::downloadFinished);
        download->click();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.takeFirst().at(0).toBool(), false);
        QVERIFY(!viewer->contentMode());
        QVERIFY(download->isEnabled());
        serverHas = true;
        download->click();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.takeFirst().at(0).toBool(), true);
        QVERIFY(viewer->contentMode());
        QVERIFY(text->toPlainText().contains("the rest arrived"));
        QVERIFY(!bin.listed(bin.partial));
    }

    void addingSendersOneByOneOrManyAtOnce() {
        Bin bin;
        RecycleBinWindow window(*bin.store, uitest::programDir());
        const SenderLists lists;
        SenderEntry found;

        // One sender: the dialog, prefilled; a cleared name is refused until it is filled in.
        window.selectNames({bin.cheap});
        bool seen = false;
        uitest::answerNextModal(control::kOk, false, &seen, [](QWidget* dialog) {
            QCOMPARE(uitest::control<QLineEdit>(dialog, control::kSenderAddress)->text(), QString("king@spam.example"));
            QCOMPARE(uitest::control<QLineEdit>(dialog, control::kSenderName)->text(), QString("Spam King"));
        });
        window.runCommand(command::kAddToBlocked);
        QVERIFY(seen);
        QVERIFY(lists.findByAddress("king@spam.example", found));
        QCOMPARE(found.list, SenderEntry::kBlocked);

        // The same sender again: warned, nothing changes.
        uitest::answerNextModal(control::kOk);
        window.runCommand(command::kAddToFriends);
        QCOMPARE(bin.shell.count("messageBox|Corvanthelix|The sender \"Spam King\" (king@spam.example) has already"), 1);
        QVERIFY(lists.findByAddress("king@spam.example", found));
        QCOMPARE(found.list, SenderEntry::kBlocked);

        // Five senders: one question, no warnings when the box is ticked, then the count.
        bin.add("Fifth", "Fifth Sender <fifth@example.org>", "x", FilterVerdict{});
        window.fillList();
        QTest::keyClick(window.list(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(window.selectedNames().size(), size_t(5));
        bin.shell.clear();
        uitest::answerNextModal(control::kYes, false, nullptr, [](QWidget* dialog) {
            QVERIFY(uitest::control<QLabel>(dialog, control::kMultipleQuestion)->text().startsWith("You are going to add 5 senders to the list of friends."));
            uitest::control<QCheckBox>(dialog, control::kMultipleNoWarnings)->setChecked(true);
        });
        window.runCommand(command::kAddToFriends);
        QCOMPARE(settings::insertMultipleSendersShowErrors(), 0);
        QCOMPARE(bin.shell.count("messageBox|Corvanthelix|The sender"), 0);
        QCOMPARE(bin.shell.count("messageBox|Corvanthelix|4 senders have been added successfully."), 1);
        QVERIFY(lists.findByAddress("fifth@example.org", found));
        QCOMPARE(found.list, SenderEntry::kFriend);
    }

    void everyTextIsGermanAndScreenshots() {
        Bin bin;
        settings::setRecycleBinShowInfo(1);
        {
            RecycleBinWindow english(*bin.store, uitest::programDir());
            english.selectNames({bin.cheap});
            saveShot(&english, "recycle_bin_window_en");
            english.runCommand(command::kViewMessage);
            saveShot(english.viewer(), "message_viewer_content_en");
            english.selectNames({bin.partial});
            english.runCommand(command::kViewMessage);
            saveShot(english.viewer(), "message_viewer_notice_en");

            // Every text the window, its menu and its viewer show has a German entry.
            const std::string germanFile = uitest::programDir() + "/deutsch.corvanthelix.language";
            CLanguage german;
            QCOMPARE(german.SetLanguageFile(germanFile.c_str()), 1);
            QStringList texts;
            for (QWidget* top : std::initializer_list<QWidget*>{&english, english.viewer()}) {
                texts << top->windowTitle();
                for (QLabel* l : top->findChildren<QLabel*>())
                    if (!l->objectName().startsWith("id")) texts << l->text();
                for (QAbstractButton* b : top->findChildren<QAbstractButton*>()) texts << b->text() << b->toolTip();
                for (QGroupBox* g : top->findChildren<QGroupBox*>()) texts << g->title();
                for (QAction* a : top->findChildren<QAction*>()) texts << a->text();
            }
            texts << uitest::control<QLabel>(english.viewer(), control::kViewerMaybeOnServer)->text()
                  << uitest::control<QLabel>(english.viewer(), control::kViewerHeading)->text()
                  << uitest::control<QLabel>(english.viewer(), control::kViewerPlainNote)->text();
            for (const QString& text : texts) {
                if (text.trimmed().isEmpty() || text == "Corvanthelix") continue;
                QVERIFY2(german.FindNode(text.toUtf8().constData()), qPrintable("no German text for: " + text));
            }
        }
        InitLanguage((uitest::programDir() + "/deutsch.corvanthelix.language").c_str());
        installProgramTranslation();
        RecycleBinWindow german(*bin.store, uitest::programDir());
        german.selectNames({bin.cheap});
        QCOMPARE(german.windowTitle(), QString("Papierkorb"));
        QCOMPARE(action(&german, command::kRestoreMessages)->text(), QString("Wiederherstellen"));
        saveShot(&german, "recycle_bin_window_de");
        german.runCommand(command::kViewMessage);
        saveShot(german.viewer(), "message_viewer_content_de");
        german.selectNames({bin.partial});
        german.runCommand(command::kViewMessage);
        saveShot(german.viewer(), "message_viewer_notice_de");
        InitLanguage(nullptr);
        setStringTranslator(nullptr);
    }
};

QTEST_MAIN(RecycleBinWindowTest)
#include "RecycleBinWindowTest.moc"
