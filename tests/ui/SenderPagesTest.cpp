// The sender pages and the filter properties page of the options dialog, standalone: lists with
// their counts, the sender dialogs, imports with their dialogs, dropped messages, the boxes and
// what store() writes, and screenshots in English and German.
#include "base/ProgramLanguage.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "filter/SenderLists.h"
#include "language/Vexolindra.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/UiTestSupport.h"
#include "ui/options/BlockedSendersPage.h"
#include "ui/options/FilterOptionsPages.h"
#include "ui/options/FilterPageControls.h"
#include "ui/options/FilterPropertiesPage.h"
#include "ui/options/FriendsPage.h"
#include "ui/options/ImportColumnDialog.h"
#include "ui/options/ImportConfirmDialog.h"
#include "ui/options/ImportSourceDialog.h"
#include "ui/options/SenderImporter.h"
#include "ui/options/SenderListModel.h"
#include "ui/options/SendersPage.h"
#include "ui/widgets/ControlNames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QUrl>
#include <QtTest>

#include <fstream>
#include <memory>

using namespace corvanthelix;
using corvanthelix::testing::ScriptedShell;

namespace {

QString screenshotFolder() {
    QDir folder(QString::fromStdString(uitest::programDir()));
    folder.cdUp();
    folder.mkpath("screenshots");
    return folder.filePath("screenshots");
}

void saveShot(QWidget* page, const QString& name) {
    // Pages get the room of the options dialog; dialogs keep their own size.
    if (qobject_cast<QDialog*>(page)) page->adjustSize();
    else page->resize(520, 400);
    page->show();
    QVERIFY(QTest::qWaitForWindowExposed(page));
    QCoreApplication::processEvents();
    QVERIFY(page->grab().save(screenshotFolder() + "/" + name + ".png"));
}

// A settings file of the test's own with a few senders, and the shell that records the boxes.
struct Fixture {
    std::unique_ptr<testing::TempFolder> folder = uitest::freshSettings();
    ScriptedShell shell;
    SenderLists lists;

    Fixture() {
        Application::instance().setShell(&shell);
        lists.add({"Cheap Pills", "*@pills.example", SenderEntry::kBlocked, {}});
        lists.add({"Lottery", "winner@lottery.example", SenderEntry::kBlocked, {}});
        lists.add({"Jane Doe", "jane@example.org", SenderEntry::kFriend, {}});
    }
    ~Fixture() { Application::instance().setShell(nullptr); }

    std::string write(const std::string& name, const std::string& text) const {
        const std::string path = folder->path() + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
};

QString groupTitle(QWidget* page) { return uitest::control<QGroupBox>(page, pageControl::kSenderGroup)->title(); }

void fillNextSenderDialog(const QString& name, const QString& address) {
    uitest::answerNextModal(control::kOk, false, nullptr, [name, address](QWidget* dialog) {
        uitest::control<QLineEdit>(dialog, control::kSenderName)->setText(name);
        uitest::control<QLineEdit>(dialog, control::kSenderAddress)->setText(address);
    });
}

} // namespace

class SenderPagesTest : public QObject {
    Q_OBJECT
private slots:
    void theDialogGetsEveryPageOfThisBuild() {
        Fixture f;
        QWidget parent;
        for (int id : {page::kFilterProperties, page::kSenders, page::kBlockedSenders, page::kFriends}) {
            QVERIFY(hasFilterOptionsPage(id));
            OptionsPage* page = createFilterOptionsPage(id, &parent);
            QVERIFY(page);
            QCOMPARE(page->pageId(), id);
            QCOMPARE(page->parent(), &parent);
        }
        QVERIFY(!createFilterOptionsPage(4008, &parent));
    }

    void listCountAddEditDelete() {
        Fixture f;
        BlockedSendersPage page(nullptr);
        QCOMPARE(groupTitle(&page), QString("Blocked Senders (2 entries)"));
        auto* edit = uitest::control<QPushButton>(&page, pageControl::kSenderEdit);
        auto* remove = uitest::control<QPushButton>(&page, pageControl::kSenderDelete);
        QVERIFY(!edit->isEnabled() && !remove->isEnabled());
        QSignalSpy changed(&page, &OptionsPage::changed);

        fillNextSenderDialog("Spammer", "@spam.example");
        uitest::control<QPushButton>(&page, pageControl::kSenderAdd)->click();
        QCOMPARE(groupTitle(&page), QString("Blocked Senders (3 entries)"));
        SenderEntry found;
        QVERIFY(f.lists.findByAddress("x@spam.example", found));
        QCOMPARE(found.address, std::string("*@spam.example"));

        auto* view = uitest::control<QTableView>(&page, pageControl::kSenderList);
        view->selectRow(page.model()->rowOf("winner@lottery.example"));
        QVERIFY(edit->isEnabled() && remove->isEnabled());
        fillNextSenderDialog("Lottery Office", "winner@lottery.example");
        edit->click();
        QVERIFY(f.lists.findByAddress("winner@lottery.example", found));
        QCOMPARE(found.name, std::string("Lottery Office"));

        // Delete asks first; No keeps the entry, Yes removes it.
        view->selectRow(page.model()->rowOf("winner@lottery.example"));
        f.shell.answerMessageBoxes({answer::kNo, answer::kYes});
        remove->click();
        QCOMPARE(groupTitle(&page), QString("Blocked Senders (3 entries)"));
        view->selectRow(page.model()->rowOf("winner@lottery.example"));
        remove->click();
        QCOMPARE(f.shell.count("messageBox|Corvanthelix|Do you really want to delete \"winner@lottery.example\""), 2);
        QCOMPARE(groupTitle(&page), QString("Blocked Senders (2 entries)"));
        QVERIFY(!f.lists.findByAddress("winner@lottery.example", found));
        QVERIFY(changed.count() >= 3);
    }

    void dontDownloadWarnsAndIsStored() {
        Fixture f;
        settings::setFilterLearningAutoBlocked(1);
        BlockedSendersPage page(nullptr);
        auto* box = uitest::control<QCheckBox>(&page, pageControl::kDontDownloadBlocked);
        QVERIFY(!box->isChecked());
        box->setChecked(true);
        QCOMPARE(f.shell.count("messageBox|Corvanthelix|Messages from blocked senders will be deleted"), 1);
        QCOMPARE(settings::dontDownloadBlockedSenders(), 0); // not before store
        QCOMPARE(page.store(), PageStoreResult::Stored);
        QCOMPARE(settings::dontDownloadBlockedSenders(), 1);

        // The filter page then shows learning from blocked senders off and leaves its value alone.
        FilterPropertiesPage filter(nullptr);
        auto* autoBlocked = uitest::control<QCheckBox>(&filter, pageControl::kLearningAutoBlocked);
        QVERIFY(!autoBlocked->isChecked());
        QVERIFY(!autoBlocked->isEnabled());
        uitest::control<QCheckBox>(&filter, pageControl::kWordHtml)->setChecked(false);
        QCOMPARE(filter.store(), PageStoreResult::Stored);
        QCOMPARE(settings::filterLearningAutoBlocked(), 1);
        QCOMPARE(settings::filterWordHtml(), 0);
    }

    void filterPropertiesEnablingAndTheDisabledFilter() {
        Fixture f;
        settings::setFilterLearningEnable(0);
        {
            FilterPropertiesPage page(nullptr);
            auto* learning = uitest::control<QCheckBox>(&page, pageControl::kLearningEnable);
            auto* autoFriends = uitest::control<QCheckBox>(&page, pageControl::kLearningAutoFriends);
            QVERIFY(!autoFriends->isEnabled());
            QSignalSpy changed(&page, &OptionsPage::changed);
            learning->setChecked(true);
            QVERIFY(autoFriends->isEnabled());
            QCOMPARE(changed.count(), 1);
            page.store();
            QCOMPARE(settings::filterLearningEnable(), 1);
        }
        settings::setEnable(0);
        FilterPropertiesPage off(nullptr);
        for (QCheckBox* box : off.findChildren<QCheckBox*>()) QVERIFY2(!box->isEnabled(), qPrintable(box->objectName()));
    }

    void csvImportWithColumnsAndAnswers() {
        Fixture f;
        FriendsPage page(nullptr);
        const std::string path = f.write("contacts.csv",
                                         "Name,Phone,E-mail Address\r\n"
                                         "\"Doe, John\",123,john@example.org\r\n"
                                         "Skip Me,456,skip@example.org\r\n"
                                         "Jane Doe,789,jane@example.org\r\n" // known: never asked
                                         ",000,noname@example.org\r\n"
                                         "Ann;Smith,0,ann@example.org\r\n"
                                         "Bob,1,bob@example.org\r\n");
        // Columns: the first record's fields; the header line itself has no "@" so the test picks.
        uitest::answerNextModal(control::kOk, false, nullptr, [](QWidget* dialog) {
            QCOMPARE(uitest::control<QComboBox>(dialog, pageControl::kImportNameColumn)->currentIndex(), 0);
            uitest::control<QComboBox>(dialog, pageControl::kImportMailColumn)->setCurrentIndex(2);
        });
        QStringList asked;
        auto answerConfirm = [&asked](int button) {
            uitest::answerNextModal(button, false, nullptr, [&asked](QWidget* dialog) {
                asked << uitest::control<QLabel>(dialog, pageControl::kImportQuestion)->text().section('\n', 2, 2);
            });
        };
        // The dialogs open one after the other: queue each answer when the previous one is taken.
        QTimer chain;
        int step = 0;
        const int buttons[] = {control::kYes, control::kNo, pageControl::kImportYesToAll};
        chain.setInterval(5);
        QObject::connect(&chain, &QTimer::timeout, [&] {
            if (step < 3 && asked.size() == step && QApplication::activeModalWidget() &&
                QApplication::activeModalWidget()->objectName() == controlObjectName(resource::kImportConfirmDialog)) {
                answerConfirm(buttons[step]);
                ++step;
            }
        });
        chain.start();
        const int count = SenderImporter::importFile(&page, f.lists, SenderEntry::kFriend, ImportSource::TextFile, path);
        chain.stop();
        QCOMPARE(asked, (QStringList{"Doe, John (john@example.org)", "Skip Me (skip@example.org)",
                                     "Ann;Smith (ann@example.org)"}));
        QCOMPARE(count, 3); // John, Ann and Bob
        QCOMPARE(f.shell.count("messageBox|Corvanthelix|3 addresses have been imported successfully."), 1);
        page.refill();
        QCOMPARE(groupTitle(&page), QString("Friends (4 entries)"));

        // A file that cannot be read reports 0.
        SenderImporter::importFile(&page, f.lists, SenderEntry::kBlocked, ImportSource::TextFile, f.folder->path() + "/none.csv");
        QCOMPARE(f.shell.count("messageBox|Corvanthelix|0 addresses have been imported successfully."), 1);
    }

    void blockedListAndVCardImports() {
        Fixture f;
        const std::string list = f.write("blocked.txt", "junk.example\n@bulk.example\nbob@x.org\npills.example\n");
        uitest::answerNextModal(pageControl::kImportYesToAll);
        QCOMPARE(SenderImporter::importFile(nullptr, f.lists, SenderEntry::kBlocked, ImportSource::List, list), 3);
        SenderEntry found;
        QVERIFY(f.lists.findByAddress("a@junk.example", found));
        QCOMPARE(found.address, std::string("*@junk.example"));
        QVERIFY(f.lists.findByAddress("a@bulk.example", found));

        const std::string vcf = f.write("friends.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Max Mustermann\r\n"
                                                        "EMAIL:max@example.de\r\nEMAIL:m.m@work.example\r\nEND:VCARD\r\n");
        uitest::answerNextModal(control::kCancel);
        QCOMPARE(SenderImporter::importFile(nullptr, f.lists, SenderEntry::kFriend, ImportSource::List, vcf), 0);
        QVERIFY(!f.lists.findByAddress("max@example.de", found));
        QCOMPARE(f.shell.count("messageBox|Corvanthelix|0 addresses have been imported successfully."), 1);
    }

    void droppedMessagesAddTheirSenders() {
        Fixture f;
        FriendsPage page(nullptr);
        const std::string one = f.write("one.eml", "From: Alice Example <alice@example.net>\r\nSubject: a\r\n\r\nhi\r\n");
        const std::string two = f.write("two.EML", "From: bob@example.net\r\nSubject: b\r\n\r\nhi\r\n");
        f.write("notes.txt", "From: carol@example.net\r\n\r\n");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(one)), QUrl::fromLocalFile(QString::fromStdString(two)),
                      QUrl::fromLocalFile(QString::fromStdString(f.folder->path() + "/notes.txt"))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&page, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&page, &drop);
        QVERIFY(drop.isAccepted());
        SenderEntry found;
        QVERIFY(f.lists.findByAddress("alice@example.net", found));
        QCOMPARE(found.name, std::string("Alice Example"));
        QCOMPARE(found.list, SenderEntry::kFriend);
        QVERIFY(f.lists.findByAddress("bob@example.net", found));
        QVERIFY(!f.lists.findByAddress("carol@example.net", found));
        QCOMPARE(groupTitle(&page), QString("Friends (3 entries)"));

        // Data a mail program drags out; anything else is refused.
        QMimeData message;
        message.setData("message/rfc822", "From: Dave <dave@example.net>\r\n\r\nbody\r\n");
        QDragEnterEvent enterMessage(QPoint(10, 10), Qt::CopyAction, &message, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&page, &enterMessage);
        QVERIFY(enterMessage.isAccepted());
        QDropEvent dropMessage(QPointF(10, 10), Qt::CopyAction, &message, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&page, &dropMessage);
        QVERIFY(f.lists.findByAddress("dave@example.net", found));
        QMimeData text;
        text.setText("From: eve@example.net");
        QDragEnterEvent enterText(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&page, &enterText);
        QVERIFY(!enterText.isAccepted());
    }

    void everyTextIsGermanAndScreenshots() {
        Fixture f;
        for (int i = 0; i < 6; ++i)
            f.lists.add({"Newsletter " + std::to_string(i), "news" + std::to_string(i) + "@shop.example", SenderEntry::kFriend, {}});
        auto pages = [] {
            std::vector<std::pair<std::unique_ptr<QWidget>, QString>> made;
            made.emplace_back(new SendersPage(nullptr), "options_senders");
            made.emplace_back(new BlockedSendersPage(nullptr), "options_blocked_senders");
            made.emplace_back(new FriendsPage(nullptr), "options_friends");
            made.emplace_back(new FilterPropertiesPage(nullptr), "options_filter_properties");
            made.emplace_back(new ImportSourceDialog(nullptr, SenderEntry::kFriend), "import_source");
            made.emplace_back(new ImportConfirmDialog(nullptr, {"Jane Doe", "jane@example.org"}), "import_confirm");
            made.emplace_back(new ImportColumnDialog(nullptr, {"Name", "Phone", "jane@example.org"}), "import_columns");
            return made;
        };
        const std::string germanFile = uitest::programDir() + "/deutsch.corvanthelix.language";
        CLanguage german;
        QCOMPARE(german.SetLanguageFile(germanFile.c_str()), 1);
        for (auto& [widget, name] : pages()) {
            QStringList texts{widget->windowTitle()};
            for (QLabel* l : widget->findChildren<QLabel*>())
                if (l->objectName() != controlObjectName(pageControl::kImportQuestion)) texts << l->text();
            for (QAbstractButton* b : widget->findChildren<QAbstractButton*>()) texts << b->text();
            for (QGroupBox* g : widget->findChildren<QGroupBox*>()) texts << g->title().section(" (", 0, 0);
            if (auto* view = widget->findChild<QTableView*>())
                for (int c = 0; c < view->model()->columnCount(); ++c) texts << view->model()->headerData(c, Qt::Horizontal).toString();
            for (const QString& text : texts) {
                if (text.trimmed().isEmpty()) continue;
                QVERIFY2(german.FindNode(text.toUtf8().constData()), qPrintable("no German text for: " + text));
            }
            saveShot(widget.get(), name + "_en");
        }
        for (const char* text : {"Comma separated text file", "vCard file", "Blocked senders list", "All files",
                                 "Blocked senders list (one domain or address per line)",
                                 "The following address has been found:\n\n%s (%s)\n\nDo you want to import this address?\n\nClick \"Yes\" to import this address or \"No\" to skip.\nClick \"Yes for all\" to import all or \"Cancel\" to stop import."})
            QVERIFY2(german.FindNode(text), text);

        InitLanguage(germanFile.c_str());
        installProgramTranslation();
        for (auto& [widget, name] : pages()) saveShot(widget.get(), name + "_de");
        BlockedSendersPage blocked(nullptr);
        QCOMPARE(groupTitle(&blocked), QString("Gesperrte Absender (2 Einträge)"));
        InitLanguage(nullptr);
        setStringTranslator(nullptr);
    }
};

QTEST_MAIN(SenderPagesTest)
#include "SenderPagesTest.moc"
