// The backup dialog: an export of the checked parts with the choices saved, OK relabelled
// "Close"; an import that asks with the warnings of the checked parts and restarts only after it
// succeeded; and screenshots in English and German.
#include "base/ProgramLanguage.h"
#include "base/Settings.h"
#include "language/Vexolindra.h"
#include "stores/BackupArchive.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/UiTestSupport.h"
#include "ui/windows/BackupDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using namespace corvanthelix;

namespace {

std::vector<std::string> entryNames(const std::string& path) {
    BackupArchive archive;
    std::vector<std::string> names;
    if (archive.open(path) != ArchiveOutcome::Ok) return names;
    for (const ArchiveEntry& entry : archive.entries()) names.push_back(entry.name);
    return names;
}

QString screenshotFolder() {
    const QString folder = QString::fromStdString(uitest::programDir()) + "/../screenshots";
    QDir().mkpath(folder);
    return folder;
}

} // namespace

class BackupDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        home_ = uitest::freshSettings();
        InitLanguage(nullptr);
        shell_ = std::make_unique<testing::ScriptedShell>();
        Application::instance().setShell(shell_.get());
        home_->write("corvanthelix.ini", "[CORVANTHELIX]\nAggressiveness=75\n");
        home_->write("spampoints_user.ini", "[PROBABILITIES]\nzorblax=99\n");
        home_->write("training/good.corvanthelix.wordlist", "good");
        home_->write("training/bad.corvanthelix.wordlist", "bad");
    }
    void cleanup() { Application::instance().setShell(nullptr); }

    void exportWritesTheCheckedPartsAndSavesTheChoices() {
        int recycleReads = 0;
        BackupDialog::Hooks hooks;
        hooks.beforeRecycleRead = [&] { ++recycleReads; };
        QPointer<BackupDialog> dialog = new BackupDialog(BackupDialog::Mode::Export, home_->path(), hooks);
        dialog->show();
        QCOMPARE(dialog->windowTitle(), QString("Export..."));
        QCOMPARE(dialog->checkedParts(), (BackupParts{true, true, false, false, false}));
        const std::string path = home_->file("out.corvanthelix.backup");
        uitest::control<QLineEdit>(dialog, control::kBackupFileName)->setText(QString::fromStdString(path));
        uitest::control<QCheckBox>(dialog, control::kBackupMemory)->setChecked(true);
        uitest::control<QCheckBox>(dialog, control::kBackupSpamWords)->setChecked(false);
        auto* ok = uitest::control<QPushButton>(dialog, control::kOk);
        ok->click();

        QCOMPARE(entryNames(path), (std::vector<std::string>{"corvanthelix.ini", "good.corvanthelix.wordlist",
                                                             "bad.corvanthelix.wordlist"}));
        QCOMPARE(recycleReads, 0);
        QCOMPARE(ok->text(), QString("Close"));
        QVERIFY(ok->isEnabled());
        QCOMPARE(uitest::control<QProgressBar>(dialog, control::kBackupProgressBar)->value(), 100);
        QCOMPARE(settings::backupIni(), 1);
        QCOMPARE(settings::backupSpamWords(), 0);
        QCOMPARE(settings::backupMemory(), 1);
        QCOMPARE(shell_->count("messageBox"), 0);

        ok->click();
        QTRY_VERIFY(dialog.isNull());
        // The next dialog starts from the saved choices.
        BackupDialog again(BackupDialog::Mode::Export, home_->path(), {});
        QCOMPARE(again.checkedParts(), (BackupParts{true, false, true, false, false}));
    }

    void importAsksWithTheWarningsAndRestartsOnlyAfterSuccess() {
        const std::string path = home_->file("in.corvanthelix.backup");
        const std::string damaged = home_->write("damaged.corvanthelix.backup", "not a backup at all");
        {
            BackupDialog exporter(BackupDialog::Mode::Export, home_->path(), {});
            uitest::control<QLineEdit>(&exporter, control::kBackupFileName)->setText(QString::fromStdString(path));
            exporter.accept();
            QVERIFY(exporter.succeeded());
        }
        home_->write("corvanthelix.ini", "[CORVANTHELIX]\nAggressiveness=0\n");

        int restarts = 0;
        int released = 0;
        BackupDialog::Hooks hooks;
        hooks.beforeReplace = [&] { ++released; };
        hooks.restart = [&] { ++restarts; };
        QPointer<BackupDialog> dialog = new BackupDialog(BackupDialog::Mode::Import, home_->path(), hooks);
        dialog->show();
        QCOMPARE(dialog->windowTitle(), QString("Import..."));
        auto* file = uitest::control<QLineEdit>(dialog, control::kBackupFileName);
        auto* ok = uitest::control<QPushButton>(dialog, control::kOk);

        // No: nothing is read, the failure is reported.
        file->setText(QString::fromStdString(path));
        shell_->answerMessageBoxes({answer::kNo});
        ok->click();
        QCOMPARE(QString::fromStdString(shell_->calls().at(0)),
                 QString("messageBox|Corvanthelix|Do you want to import the backup file?\n\n"
                         "Your current configuration will be completely overwritten.\n"
                         "All user-defined spam words will be overwritten.|%1").arg(mb::kYesNo | mb::kIconQuestion));
        QVERIFY(QString::fromStdString(shell_->calls().at(1)).contains("Backup failed!"));
        QCOMPARE(ok->text(), QString("OK"));

        // A damaged file: refused, the configuration stays, no restart.
        shell_->clear();
        file->setText(QString::fromStdString(damaged));
        shell_->answerMessageBoxes({answer::kYes});
        ok->click();
        QVERIFY(QString::fromStdString(shell_->calls().at(1)).contains("Backup failed!"));
        QCOMPARE(settings::aggressiveness(), 0);
        QCOMPARE(released, 0);

        // The good file: replaced, "Close", and closing restarts after string 113.
        shell_->clear();
        file->setText(QString::fromStdString(path));
        shell_->answerMessageBoxes({answer::kYes});
        ok->click();
        QCOMPARE(ok->text(), QString("Close"));
        QCOMPARE(settings::aggressiveness(), 75);
        QCOMPARE(released, 1);
        QCOMPARE(restarts, 0);
        ok->click();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(restarts, 1);
        QVERIFY(QString::fromStdString(shell_->calls().back()).contains("has to be restarted"));
    }

    void importQuestionListsTheWarningsInTheirOrder() {
        const QString question = BackupDialog::importQuestion(BackupParts{false, false, true, true, true});
        QCOMPARE(question, QString("Do you want to import the backup file?\n\n"
                                   "The Learning Filter's Memory will be overwritten.\n"
                                   "All messages in the Recycle Bin will be overwritten.\n"
                                   "All messages in the Training Area will be overwritten."));
    }

    void screenshotsInEnglishAndGerman() {
        installProgramTranslation();
        for (const char* language : {"en", "de"}) {
            if (QString(language) == "de")
                QVERIFY(InitLanguage((uitest::programDir() + "/deutsch.corvanthelix.language").c_str()) != nullptr);
            BackupDialog dialog(BackupDialog::Mode::Import, home_->path(), {});
            uitest::control<QLineEdit>(&dialog, control::kBackupFileName)
                ->setText("/home/jane/Sicherung.corvanthelix.backup");
            uitest::control<QProgressBar>(&dialog, control::kBackupProgressBar)->setValue(40);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            if (QString(language) == "de") {
                QCOMPARE(dialog.windowTitle(), QString("Importieren..."));
                QVERIFY(uitest::control<QCheckBox>(&dialog, control::kBackupIni)->text() != "General Configuration");
            }
            QVERIFY(dialog.grab().save(screenshotFolder() + QString("/backup-dialog-%1.png").arg(language)));
        }
        InitLanguage(nullptr);
    }

private:
    std::unique_ptr<testing::TempFolder> home_;
    std::unique_ptr<testing::ScriptedShell> shell_;
};

QTEST_MAIN(BackupDialogTest)
#include "BackupDialogTest.moc"
