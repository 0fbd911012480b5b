// The options dialog: one window at a time, the page tree, Cancel writing nothing, Apply and OK
// with the store protocol (a refusing page keeps the dialog on it, a changed port restarts after
// string 113), the parental lock in front of the dialog and its password dialog, the pages' own
// rules (autostart entry, port box question, language choice, language pack check), the known
// hosts dialog, and screenshots of every page in English and German.
#include "base/AutostartEntry.h"
#include "base/HelpPages.h"
#include "base/ParentalControl.h"
#include "base/ProgramLanguage.h"
#include "base/Settings.h"
#include "language/Vexolindra.h"
#include "proxy/HostList.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/UiTestSupport.h"
#include "ui/options/KnownHostsDialog.h"
#include "ui/options/KnownHostsModel.h"
#include "ui/options/OptionsDialog.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/TrayMenu.h"
#include "ui/shell/UpdateController.h"
#include "ui/widgets/PasswordDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest>

using namespace corvanthelix;

namespace {

QString screenshotFolder() {
    const QString folder = QString::fromStdString(uitest::programDir()) + "/../screenshots";
    QDir().mkpath(folder);
    return folder;
}

QStringList treeTitles(QTreeWidget* tree) {
    QStringList titles;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
        titles << QString(depth * 2, ' ') + item->text(0);
        for (int i = 0; i < item->childCount(); ++i) walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) walk(tree->topLevelItem(i), 0);
    return titles;
}

template <class W = QWidget>
W* pageControl(OptionsDialog* dialog, int pageId, int id) {
    return uitest::control<W>(dialog->page(pageId), id);
}

} // namespace

class OptionsDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { installProgramTranslation(); }

    void init() {
        home_ = uitest::freshSettings();
        config_ = std::make_unique<testing::TempFolder>();
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config_->path()));
        InitLanguage(nullptr);
        shell_ = std::make_unique<testing::ScriptedShell>();
        Application::instance().setShell(shell_.get());
        restarts_ = 0;
        OptionsDialog::hooks().restart = [this] { ++restarts_; };
        OptionsDialog::hooks().openUrl = [this](const std::string& url) { urls_.push_back(url); };
    }

    void cleanup() {
        delete OptionsDialog::current();
        OptionsDialog::setHooks({});
        Application::instance().setShell(nullptr);
        InitLanguage(nullptr);
    }

    void openingTwiceShowsOneWindowWithTheTree() {
        QPointer<OptionsDialog> first = OptionsDialog::open();
        QCOMPARE(OptionsDialog::open(4021), first.data());
        QCOMPARE(first->currentPageId(), 4008);
        auto* tree = uitest::control<QTreeWidget>(first, control::kOptionsTree);
        // The pages of other parts stay out while their factory has none.
        QCOMPARE(treeTitles(tree), QStringList({"General Settings", "  Status Window", "  Tray Area", "  Language",
                                                "Connection", "  SSL/TLS", "Filter Properties", "  Priorities",
                                                "  Training Area", "  Aggressiveness", "  Spam Words", "  Plugins",
                                                "Senders", "  Blocked Senders", "  Friends"}));
        QCOMPARE(first->pageTable().size(), size_t(15));
        QCOMPARE(uitest::control<QLabel>(first, control::kOptionsVersion)->text(),
                 QString("Corvanthelix %1").arg(Application::kVersion));
        QVERIFY(!uitest::control<QPushButton>(first, control::kApply)->isEnabled());
        // Pages are made on first selection only.
        QVERIFY(first->page(4003) == nullptr);
        tree->setCurrentItem(tree->topLevelItem(1));
        QCOMPARE(first->currentPageId(), 4003);
        QVERIFY(first->page(4003) && first->page(4003)->isVisible());
        QVERIFY(!first->page(4008)->isVisible());
        // Help opens the page's own help file.
        QTest::keyClick(first, Qt::Key_F1);
        QVERIFY(QString::fromStdString(urls_.back()).contains("configconn.htm"));
        uitest::control<QPushButton>(first, control::kCancel)->click();
        QTRY_VERIFY(first.isNull());
    }

    void cancelWritesNothing() {
        const std::string before = "[CORVANTHELIX]\nAlphaBlending=0\nTrayNumSeconds=180\n[SERVER]\nPort=2110\n";
        home_->write("corvanthelix.ini", before);
        QPointer<OptionsDialog> dialog = OptionsDialog::open();
        for (int pageId : {4008, 4020, 4015, 4007, 4003, 4021}) QVERIFY(dialog->selectPage(pageId));
        pageControl<QCheckBox>(dialog, 4008, control::kGeneralAlphaBlending)->click();
        pageControl<QCheckBox>(dialog, 4008, control::kGeneralAutostart)->click();
        pageControl<QLineEdit>(dialog, 4015, control::kTraySeconds)->setText("5");
        pageControl<QLineEdit>(dialog, 4003, control::kConnectionPort)->setText("3110");
        pageControl<QSlider>(dialog, 4020, control::kStatusOpacity)->setValue(20);
        QTRY_VERIFY(uitest::control<QPushButton>(dialog, control::kApply)->isEnabled());
        uitest::control<QPushButton>(dialog, control::kCancel)->click();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(testing::TempFolder::read(home_->file("corvanthelix.ini")), before);
        QVERIFY(!AutostartEntry::present(AutostartEntry::path()));
        QCOMPARE(restarts_, 0);
    }

    void applyStoresAndRestartsOnlyForThePort() {
        QPointer<OptionsDialog> dialog = OptionsDialog::open(4003);
        auto* apply = uitest::control<QPushButton>(dialog, control::kApply);
        auto* log = pageControl<QLineEdit>(dialog, 4003, control::kConnectionClientLog);
        QTest::keyClicks(log, "2");
        QVERIFY(apply->isEnabled());
        apply->click();
        QCOMPARE(settings::logFileClientFileName(), std::string("client.log2"));
        QCOMPARE(restarts_, 0);
        QCOMPARE(shell_->count("messageBox"), 0);
        QVERIFY(!apply->isEnabled());
        // Apply made the pages anew and shows the same one.
        QCOMPARE(dialog->currentPageId(), 4003);
        auto* port = pageControl<QLineEdit>(dialog, 4003, control::kConnectionPort);
        QCOMPARE(port->text(), QString("1110"));
        port->clear();
        QTest::keyClicks(port, "2110");
        apply->click();
        QCOMPARE(settings::port(), 2110);
        QCOMPARE(restarts_, 1);
        QVERIFY(QString::fromStdString(shell_->calls().at(0)).contains("has to be restarted"));
        // OK with nothing changed stores without another restart and closes.
        uitest::control<QPushButton>(dialog, control::kOk)->click();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(restarts_, 1);
    }

    void unCheckingThePortAsksAndNoKeepsIt() {
        QPointer<OptionsDialog> dialog = OptionsDialog::open(4021);
        auto* box = pageControl<QCheckBox>(dialog, 4021, control::kPortEnable);
        auto* port = pageControl<QLineEdit>(dialog, 4021, control::kSslPort);
        shell_->answerMessageBoxes({answer::kNo, answer::kYes});
        box->click();
        QVERIFY(box->isChecked());
        QVERIFY(port->isEnabled());
        QVERIFY(QString::fromStdString(shell_->calls().at(0)).contains("disable this port"));
        box->click();
        QVERIFY(!box->isChecked());
        QVERIFY(!port->isEnabled());
        uitest::control<QPushButton>(dialog, control::kOk)->click();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(settings::enablePortSsl(), 0);
        QCOMPARE(restarts_, 1);
    }

    void aRefusingPageKeepsTheDialogOnIt() {
        QPointer<OptionsDialog> dialog = OptionsDialog::open(4015);
        auto* lock = pageControl<QCheckBox>(dialog, 4015, control::kParentalEnable);
        auto* password = pageControl<QLineEdit>(dialog, 4015, control::kParentalPassword);
        auto* confirm = pageControl<QLineEdit>(dialog, 4015, control::kParentalConfirm);
        QVERIFY(!password->isEnabled());
        lock->click();
        QVERIFY(password->isEnabled() && confirm->isEnabled());
        pageControl<QLineEdit>(dialog, 4015, control::kTraySeconds)->setText("42");
        dialog->selectPage(4008);
        auto* ok = uitest::control<QPushButton>(dialog, control::kOk);
        ok->click();
        QVERIFY(!dialog.isNull());
        QCOMPARE(dialog->currentPageId(), 4015);
        QVERIFY(QString::fromStdString(shell_->calls().back()).contains("Please enter a parental control password."));
        QCOMPARE(settings::trayNumSeconds(), 180);
        password->setText("twelve chars");
        confirm->setText("twelve chars!");
        dialog->selectPage(4008);
        ok->click();
        QCOMPARE(dialog->currentPageId(), 4015);
        QVERIFY(QString::fromStdString(shell_->calls().back()).contains("The passwords do not match."));
        confirm->setText("twelve chars");
        ok->click();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(settings::parentalControlEnabled(), 1);
        QCOMPARE(settings::parentalControlHash2(), ParentalControl::passwordRecord("twelve chars"));
        QCOMPARE(settings::trayNumSeconds(), 42);

        // Opened again: twelve placeholders; left alone they keep the password.
        dialog = OptionsDialog::open(4015);
        password = pageControl<QLineEdit>(dialog, 4015, control::kParentalPassword);
        QCOMPARE(password->text(), QString(12, QChar(0xFF)));
        uitest::control<QPushButton>(dialog, control::kOk)->click();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(settings::parentalControlHash2(), ParentalControl::passwordRecord("twelve chars"));
    }

    void theLockStandsBeforeTheDialogAndEveryCommand() {
        settings::setParentalControlEnabled(1);
        settings::setParentalControlHash2(ParentalControl::passwordRecord("pw18"));
        MainWindow window(uitest::programDir());
        QAction* item = findMenuCommand(window.trayMenu(), command::kSettings);
        QVERIFY(item && item->isEnabled());
        // Cancel: nothing opens.
        uitest::answerNextModal(control::kCancel);
        window.runCommand(command::kSettings);
        QVERIFY(!OptionsDialog::current());
        // A wrong password is refused with string 228 and the dialog stays until Cancel.
        uitest::answerNextModal(control::kOk, false, nullptr, [](QWidget* modal) {
            uitest::control<QLineEdit>(modal, control::kParentalPassword)->setText("pw19");
        });
        uitest::answerNextModal(control::kCancel);
        window.runCommand(command::kSettings);
        QVERIFY(!OptionsDialog::current());
        QVERIFY(QString::fromStdString(shell_->calls().back()).contains("Access denied! Wrong password."));
        // The right one (its digest holds a zero byte) opens the dialog on its first page.
        uitest::answerNextModal(control::kOk, false, nullptr, [](QWidget* modal) {
            uitest::control<QLineEdit>(modal, control::kParentalPassword)->setText("pw18");
        });
        window.runCommand(command::kSettings);
        QVERIFY(OptionsDialog::current());
        QCOMPARE(OptionsDialog::current()->currentPageId(), 4008);
        settings::setParentalControlEnabled(0);
        QCOMPARE(window.showOptions(4021), OptionsDialog::current());
    }

    void generalPageWritesTheAutostartEntry() {
        QPointer<OptionsDialog> dialog = OptionsDialog::open();
        auto* autostart = pageControl<QCheckBox>(dialog, 4008, control::kGeneralAutostart);
        QVERIFY(!autostart->isChecked());
        autostart->click();
        pageControl<QLineEdit>(dialog, 4008, control::kGeneralUpdateDays)->setText("3");
        uitest::control<QPushButton>(dialog, control::kApply)->click();
        const std::string entry = AutostartEntry::path();
        QCOMPARE(entry, config_->file("autostart/corvanthelix.desktop"));
        const QString text = QString::fromStdString(testing::TempFolder::read(entry));
        // The test runs from its own folder with the data elsewhere: --home names it.
        QVERIFY2(text.contains(QString("\nExec=\"%1\" --home \"%2\"\n")
                                   .arg(QString::fromStdString(AutostartEntry::runningExecutable()),
                                        QString::fromStdString(Application::instance().programFolder()))),
                 qPrintable(text));
        QCOMPARE(settings::autoCheckForUpdatesDays(), 3);
        pageControl<QCheckBox>(dialog, 4008, control::kGeneralAutostart)->click();
        uitest::control<QPushButton>(dialog, control::kOk)->click();
        QVERIFY(!AutostartEntry::present(entry));
    }

    void languagePageChoosesAndChecksForPacks() {
        QFile::copy(QString::fromStdString(uitest::programDir() + "/deutsch.corvanthelix.language"),
                    QString::fromStdString(home_->file("deutsch.corvanthelix.language")));
        settings::setLanguage("DEUTSCH.corvanthelix.language");
        settings::setUpdateHost("127.0.0.1:1");
        MainWindow window(uitest::programDir());
        UpdateController updates(window, home_->path());
        QPointer<OptionsDialog> dialog = OptionsDialog::open(4007);
        auto* list = pageControl<QTreeWidget>(dialog, 4007, control::kLanguageList);
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(0), QString("English (default)"));
        QCOMPARE(list->topLevelItem(1)->text(0), QString("Deutsch"));
        QCOMPARE(list->currentItem(), list->topLevelItem(1));
        // "Check now!" starts the language pack check with its download window.
        QVERIFY(!updates.downloadWindow());
        pageControl<QPushButton>(dialog, 4007, command::kUpdateCheck)->click();
        QVERIFY(updates.downloadWindow());
        list->setCurrentItem(list->topLevelItem(0));
        QVERIFY(uitest::control<QPushButton>(dialog, control::kApply)->isEnabled());
        uitest::control<QPushButton>(dialog, control::kApply)->click();
        QCOMPARE(settings::language(), std::string("default"));
        list = pageControl<QTreeWidget>(dialog, 4007, control::kLanguageList);
        list->setCurrentItem(list->topLevelItem(1));
        uitest::control<QPushButton>(dialog, control::kOk)->click();
        QCOMPARE(settings::language(), std::string("deutsch.corvanthelix.language"));
        QVERIFY(help::germanLanguage());
    }

    void knownHostsEditTheHostList() {
        const std::string path = home_->file(HostList::kFileName);
        HostList hosts;
        QVERIFY(hosts.load(path));
        hosts.update(HostEntry{"pop.example.org", "jane", 995, true, true, std::nullopt});
        hosts.update(HostEntry{"mail.example.net", "joe", 110, false, true, std::nullopt});
        QVERIFY(hosts.save());
        std::string fingerprint = "3F";
        for (int i = 1; i < 32; ++i) fingerprint += ":A" + std::to_string(i % 10);
        QVERIFY(HostList::pinCertificate(path, "pop.example.org", "jane", 995, fingerprint));

        KnownHostsDialog dialog(path);
        QTableView* view = dialog.view();
        QAbstractItemModel* model = view->model();
        QCOMPARE(model->rowCount(), 2);
        const int jane = model->index(0, KnownHostsModel::Host).data().toString() == "pop.example.org" ? 0 : 1;
        const int joeRow = 1 - jane;
        QCOMPARE(model->index(jane, KnownHostsModel::Certificate).data().toString(),
                 QString::fromStdString("995: " + fingerprint));
        QCOMPARE(model->index(jane, KnownHostsModel::Secure).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        auto* forget = uitest::control<QPushButton>(&dialog, control::kHostForgetPin);
        QVERIFY(!forget->isEnabled());
        view->selectRow(joeRow);
        QVERIFY(!forget->isEnabled());
        model->setData(model->index(joeRow, KnownHostsModel::Secure), Qt::Checked, Qt::CheckStateRole);
        // Delete asks first; No keeps the account.
        shell_->answerMessageBoxes({answer::kNo});
        uitest::control<QPushButton>(&dialog, control::kHostDelete)->click();
        QCOMPARE(model->rowCount(), 2);
        QVERIFY(QString::fromStdString(shell_->calls().back()).contains("mail.example.net"));
        view->selectRow(jane);
        QVERIFY(forget->isEnabled());
        forget->click();
        QVERIFY(HostList::pinsOf(path, "pop.example.org").empty());
        dialog.accept();
        HostEntry joe;
        HostList reloaded;
        QVERIFY(reloaded.load(path));
        QVERIFY(reloaded.find(joe, "mail.example.net", "joe"));
        QVERIFY(joe.secure);
    }

    void aPortChangeRestartsTheProgramAfterTheDialogEnds() {
        MainWindow window(uitest::programDir());
        QSignalSpy ended(&window, &MainWindow::ended);
        QPointer<OptionsDialog> dialog = window.showOptions(4003);
        auto* port = pageControl<QLineEdit>(dialog, 4003, control::kConnectionPort);
        port->setText("2111");
        uitest::control<QPushButton>(dialog, control::kOk)->click();
        QVERIFY(QString::fromStdString(shell_->calls().back()).contains("has to be restarted"));
        QTRY_COMPARE(ended.count(), 1);
        QTRY_VERIFY(dialog.isNull());
        QVERIFY(Application::instance().restartRequested());
        QCOMPARE(settings::port(), 2111);
    }

    void screenshotsOfEveryPageInEnglishAndGerman() {
        QDir().mkpath(QString::fromStdString(home_->file("bitmaps")));
        QFile::copy(QString::fromStdString(uitest::programDir() + "/bitmaps/optionstree.bmp"),
                    QString::fromStdString(home_->file("bitmaps/optionstree.bmp")));
        QFile::copy(QString::fromStdString(uitest::programDir() + "/deutsch.corvanthelix.language"),
                    QString::fromStdString(home_->file("deutsch.corvanthelix.language")));
        const std::string hostList = home_->file(HostList::kFileName);
        HostList hosts;
        hosts.load(hostList);
        hosts.update(HostEntry{"pop.example.org", "jane", 995, true, true, std::nullopt});
        hosts.update(HostEntry{"mail.example.net", "joe", 110, false, true, std::nullopt});
        hosts.save();
        std::string fingerprint = "3F";
        for (int i = 1; i < 32; ++i) fingerprint += ":A" + std::to_string(i % 10);
        HostList::pinCertificate(hostList, "pop.example.org", "jane", 995, fingerprint);
        settings::setParentalControlEnabled(1);
        settings::setParentalControlHash2(ParentalControl::passwordRecord("secret"));

        for (const char* language : {"en", "de"}) {
            const bool german = QString(language) == "de";
            if (german) QVERIFY(InitLanguage((uitest::programDir() + "/deutsch.corvanthelix.language").c_str()));
            QPointer<OptionsDialog> dialog = OptionsDialog::open();
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            auto* tree = uitest::control<QTreeWidget>(dialog, control::kOptionsTree);
            QVERIFY(!tree->topLevelItem(0)->icon(0).isNull());
            if (german) {
                QCOMPARE(dialog->windowTitle(), QString("Einstellungen"));
                QVERIFY(tree->topLevelItem(0)->text(0) != "General Settings");
            }
            for (int pageId : {4008, 4020, 4015, 4007, 4003, 4021}) {
                QVERIFY(dialog->selectPage(pageId));
                QTest::qWait(80);
                QVERIFY(dialog->grab().save(screenshotFolder() + QString("/options-%1-%2.png").arg(pageId).arg(language)));
            }
            if (german) {
                QVERIFY(pageControl<QLabel>(dialog, 4020, control::kStatusOpacityText)->text().contains("%"));
                QVERIFY(pageControl<QCheckBox>(dialog, 4015, control::kParentalEnable)->text() != "Enable Parental Control");
            }
            delete dialog.data();

            KnownHostsDialog hostsDialog(hostList);
            hostsDialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&hostsDialog));
            hostsDialog.view()->selectRow(0);
            QVERIFY(hostsDialog.grab().save(screenshotFolder() + QString("/known-hosts-%1.png").arg(language)));
            PasswordDialog password(settings::parentalControlHash2());
            password.show();
            QVERIFY(QTest::qWaitForWindowExposed(&password));
            QVERIFY(password.grab().save(screenshotFolder() + QString("/parental-password-%1.png").arg(language)));
        }
    }

private:
    std::unique_ptr<testing::TempFolder> home_;
    std::unique_ptr<testing::TempFolder> config_;
    std::unique_ptr<testing::ScriptedShell> shell_;
    int restarts_ = 0;
    std::vector<std::string> urls_;
};

QTEST_MAIN(OptionsDialogTest)
#include "OptionsDialogTest.moc"
