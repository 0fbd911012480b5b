// The filter pages of the options dialog, standalone: Priorities, Training Area, Aggressiveness,
// Spam Words and Plugins with the real plug-ins, what store() writes, the pages disabled with
// their filter, and screenshots in English and German.
#include "base/AtomicFile.h"
#include "base/IniFile.h"
#include "base/ProgramLanguage.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "filter/FilterChain.h"
#include "filter/FilterManager.h"
#include "filter/PluginManager.h"
#include "filter/PluginRecord.h"
#include "language/Vexolindra.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/UiTestSupport.h"
#include "ui/options/AggressivenessPage.h"
#include "ui/options/CompactDialog.h"
#include "ui/options/FilterPageControls.h"
#include "ui/options/PluginsPage.h"
#include "ui/options/PrioritiesPage.h"
#include "ui/options/SpamWordDialog.h"
#include "ui/options/SpamWordsPage.h"
#include "ui/options/TrainingAreaPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QToolButton>
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
    else page->resize(520, 420);
    page->show();
    QVERIFY(QTest::qWaitForWindowExposed(page));
    QCoreApplication::processEvents();
    QVERIFY(page->grab().save(screenshotFolder() + "/" + name + ".png"));
}

bool copyFromProgram(const std::string& relative, const std::string& folder) {
    std::string bytes;
    return readWholeFile(uitest::programDir() + "/" + relative, bytes) &&
           replaceFileAtomically(folder + "/" + relative, bytes, false, 0755);
}

// A program folder of the test's own with the shipped bitmaps, word files and plug-ins.
struct Fixture {
    std::unique_ptr<testing::TempFolder> folder = uitest::freshSettings();
    ScriptedShell shell;

    Fixture() {
        Application::instance().setShell(&shell);
        QDir(QString::fromStdString(folder->path())).mkpath("bitmaps");
        QDir(QString::fromStdString(folder->path())).mkpath("plugins");
        copyFromProgram("bitmaps/aggressiveness.bmp", folder->path());
        write("spampoints.ini", "[THRESHOLD]\nlevel25=150\nlevel50=100\nlevel75=70\n[PROBABILITIES]\nviagra=90\n"
                                "free money=70\ncasino=60\n");
        write("spampoints_user.ini", "[PROBABILITIES]\nmy offer=40\n");
    }
    ~Fixture() {
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
        PluginManager::destroyInstance();
        Application::instance().setShell(nullptr);
        IniFile::clearCache();
    }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(folder->path() + "/" + name, std::ios::binary) << text;
    }
    std::string path(const std::string& name) const { return folder->path() + "/" + name; }
    void installPlugins() const {
        QVERIFY(copyFromProgram("plugins/quillatrest.so", folder->path()));
        QVERIFY(copyFromProgram("plugins/quillatrest.txt", folder->path()));
        QVERIFY(copyFromProgram("plugins/newsletter.so", folder->path()));
    }
};

QString cell(QAbstractItemModel* model, int row, int column, int role = Qt::DisplayRole) {
    return model->data(model->index(row, column), role).toString();
}

} // namespace

class FilterPagesTest : public QObject {
    Q_OBJECT
private slots:
    void prioritiesMoveAndBehavioursAreStored() {
        Fixture f;
        PrioritiesPage page(nullptr);
        FilterPriorityModel* model = page.model();
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(cell(model, 0, 1), QString("Learning Filter"));
        QCOMPARE(cell(model, 1, 1), QString("Spam Word Filter"));
        auto* view = uitest::control<QTableView>(&page, 1106);
        view->selectRow(1);
        QSignalSpy changed(&page, &OptionsPage::changed);
        page.findChild<QToolButton*>("up")->click();
        QCOMPARE(cell(model, 0, 1), QString("Spam Word Filter"));
        QCOMPARE(view->selectionModel()->selectedRows().first().row(), 0);
        // A behaviour is stored in the selected filter's entry at once.
        auto* onSpam = uitest::control<QComboBox>(&page, 1045);
        auto* onNonSpam = uitest::control<QComboBox>(&page, 1109);
        QCOMPARE(onSpam->itemText(0), QString("finish filtering process (recommended)"));
        QCOMPARE(onSpam->itemText(1), QString("continue with next filter"));
        onSpam->setCurrentIndex(1);
        QCOMPARE(FilterChain::instance().entries().front().continueOnSpam, 1);
        view->selectRow(1);
        QCOMPARE(onSpam->currentIndex(), 0);
        onNonSpam->setCurrentIndex(1);
        QVERIFY(changed.count() >= 3);
        QCOMPARE(page.store(), PageStoreResult::Stored);
        const std::string ini = settings::settingsFile();
        QCOMPARE(IniFile::readInt("FILTERPRIORITY", "2", 0, ini), 1);
        QCOMPARE(IniFile::readInt("FILTERPRIORITY", "1", 0, ini), 2);
        QCOMPARE(IniFile::readInt("FILTERBEHAVIORSPAM", "2", 0, ini), 1);
        QCOMPARE(IniFile::readInt("FILTERBEHAVIORNONSPAM", "1", 0, ini), 1);
    }

    void trainingAreaStoresValidNumbersOnly() {
        Fixture f;
        settings::setTrainingAreaMaxDays(14);
        settings::setTrainingAreaPremarkSpam(0);
        settings::setTrainingAreaPremarkNonSpam(0);
        TrainingAreaPage page(nullptr);
        auto* days = uitest::control<QLineEdit>(&page, pageControl::kTrainingMaxDays);
        auto* memory = uitest::control<QLineEdit>(&page, pageControl::kTrainingMaxMemory);
        auto* premarkSpam = uitest::control<QCheckBox>(&page, pageControl::kTrainingPremarkSpam);
        auto* premarkAuto = uitest::control<QCheckBox>(&page, pageControl::kTrainingPremarkAuto);
        QCOMPARE(days->text(), QString("14"));
        QVERIFY(!premarkAuto->isEnabled());
        premarkSpam->setChecked(true);
        QVERIFY(premarkAuto->isEnabled());
        premarkAuto->setChecked(true);
        days->setText("abc");
        memory->setText("4096");
        QCOMPARE(page.store(), PageStoreResult::Stored);
        QCOMPARE(settings::trainingAreaMaxDays(), 14); // not a number: left alone
        QCOMPARE(settings::trainingAreaMaxMemory(), 4096);
        QCOMPARE(settings::trainingAreaPremarkSpam(), 1);
        QCOMPARE(settings::trainingAreaPremarkAuto(), 1);

        // Tables in use are loaded again with a changed limit.
        FilterManager::instance().acquire(false);
        QVERIFY(FilterManager::instance().learningLoaded());
        memory->setText("1024");
        page.store();
        QCOMPARE(settings::trainingAreaMaxMemory(), 1024);
        QVERIFY(FilterManager::instance().learningLoaded());
        QCOMPARE(FilterManager::instance().acquisitions(), 1);
        FilterManager::instance().release();

        settings::setFilterLearningEnable(0);
        TrainingAreaPage off(nullptr);
        for (QWidget* w : off.findChildren<QWidget*>()) QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    }

    void compactAsksCompactsAndReports() {
        Fixture f;
        CompactDialog dialog(nullptr);
        f.shell.answerMessageBoxes({answer::kNo, answer::kYes});
        dialog.accept();
        QCOMPARE(f.shell.count("messageBox|Corvanthelix|Do you really want to run the Compact feature now?"), 1);
        QCOMPARE(f.shell.count("messageBox|Corvanthelix|The Learning Filter's memory has been cleaned"), 0);
        dialog.accept();
        QCOMPARE(f.shell.count("messageBox|Corvanthelix|The Learning Filter's memory has been cleaned successfully.\n\nDeleted 0 words."), 1);
    }

    void aggressivenessLevelsTextsAndThresholds() {
        Fixture f;
        f.write("spampoints_user.ini", "[THRESHOLD]\nlevel50=90\n");
        settings::setAggressiveness(50);
        AggressivenessPage page(nullptr);
        auto* text = uitest::control<QLabel>(&page, pageControl::kAggressivenessText);
        auto* threshold = uitest::control<QLineEdit>(&page, pageControl::kAggressivenessThreshold);
        QCOMPARE(page.selectedLevel(), 50);
        QVERIFY(text->text().startsWith("NORMAL"));
        QCOMPARE(threshold->text(), QString("90"));
        struct Level {
            int level;
            const char* text;
            QString threshold;
            bool editable;
        } levels[] = {{0, "VERY LOW", "", false}, {25, "LOW", "150", true}, {75, "HIGH", "70", true}, {100, "VERY HIGH", "", false}};
        for (const Level& l : levels) {
            page.findChild<QToolButton*>(QString("level%1").arg(l.level))->click();
            QCOMPARE(page.selectedLevel(), l.level);
            QVERIFY2(text->text().startsWith(l.text), qPrintable(text->text()));
            QCOMPARE(threshold->text(), l.threshold);
            QCOMPARE(threshold->isEnabled(), l.editable);
        }
        // The icons stand in one column, very high at the top.
        QCOMPARE(page.findChild<QToolButton*>("level100")->y(), 8);
        QCOMPARE(page.findChild<QToolButton*>("level0")->y(), 188);
        page.selectLevel(75);
        threshold->clear();
        QTest::keyClicks(threshold, "65");
        page.selectLevel(25);
        QCOMPARE(page.store(), PageStoreResult::Stored);
        QCOMPARE(settings::aggressiveness(), 25);
        QCOMPARE(settings::threshold(75, f.path("spampoints_user.ini")), 65);
        QCOMPARE(settings::threshold(50, f.path("spampoints_user.ini")), 90);
        QVERIFY(!settings::threshold(25, f.path("spampoints_user.ini")));
        QCOMPARE(settings::threshold(75, f.path("spampoints.ini")), 70);

        settings::setFilterWordEnable(0);
        AggressivenessPage off(nullptr);
        QVERIFY(!off.isEnabled());
    }

    void spamWordsListAndDialogs() {
        Fixture f;
        SpamWordsPage page(nullptr);
        SpamWordModel* model = page.model();
        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(cell(model, 0, 0), QString("my offer"));
        QCOMPARE(cell(model, 0, 1), QString("40 %"));
        QVERIFY(model->data(model->index(0, 0), Qt::ForegroundRole).isNull());
        QCOMPARE(model->data(model->index(1, 0), Qt::ForegroundRole).value<QBrush>().color(), QColor(128, 150, 192));
        uitest::control<QCheckBox>(&page, 1064)->setChecked(false);
        QCOMPARE(model->rowCount(), 1);
        page.store();
        QCOMPARE(settings::showPredefinedWords(), 0);
        uitest::control<QCheckBox>(&page, 1064)->setChecked(true);

        SpamWordList list;
        struct Entry {
            QString word, percent;
            const char* warning; // null: accepted
        } entries[] = {
            {"", "50", "Enter a value!"},
            {"lottery", "", "Please enter a value between 0 and 100."},
            {"lottery", "101", "Please enter a value between 0 and 100."},
            {"Casino", "50", "This expression has already been added to the list."},
            {"lottery", "85", nullptr},
        };
        for (const Entry& e : entries) {
            f.shell.clear();
            SpamWordDialog dialog(nullptr, list, {}, false);
            uitest::control<QLineEdit>(&dialog, SpamWordDialog::kWordField)->setText(e.word);
            uitest::control<QLineEdit>(&dialog, SpamWordDialog::kPercentField)->setText(e.percent);
            dialog.accept();
            QCOMPARE(dialog.result(), e.warning ? 0 : int(QDialog::Accepted));
            if (e.warning) QCOMPARE(f.shell.count(std::string("messageBox|Corvanthelix|") + e.warning), 1);
        }
        QCOMPARE(IniFile::readInt("PROBABILITIES", "lottery", 0, f.path("spampoints_user.ini")), 85);

        // Editing keeps the expression; a predefined one is written to the user's file.
        SpamWordDialog edit(nullptr, list, {"casino", 60, true}, true);
        QCOMPARE(edit.windowTitle(), QString("Edit expression"));
        QVERIFY(uitest::control<QLineEdit>(&edit, SpamWordDialog::kWordField)->isReadOnly());
        uitest::control<QLineEdit>(&edit, SpamWordDialog::kPercentField)->setText("0");
        edit.accept();
        QCOMPARE(IniFile::readInt("PROBABILITIES", "casino", -1, f.path("spampoints_user.ini")), 0);

        // Delete: a predefined expression is refused, a user's own asked for.
        auto* view = uitest::control<QTableView>(&page, 1063);
        auto* remove = uitest::control<QPushButton>(&page, 1012);
        page.findChild<QCheckBox*>()->toggle();
        page.findChild<QCheckBox*>()->toggle(); // refills with the words written meanwhile
        f.shell.clear();
        view->selectRow(model->rowCount() - 1);
        remove->click();
        QCOMPARE(f.shell.count("messageBox|Corvanthelix|This is a predefined expression that can not be deleted."), 1);
        f.shell.answerMessageBoxes({answer::kYes});
        view->selectRow(0);
        const QString first = cell(model, 0, 0);
        remove->click();
        QCOMPARE(f.shell.count("messageBox|Corvanthelix|Do you really want to delete \"" + first.toStdString() + "\""), 1);
        QVERIFY(!IniFile::hasKey("PROBABILITIES", first.toStdString(), f.path("spampoints_user.ini")));
    }

    void pluginsListCheckAndDetails() {
        Fixture f;
        f.installPlugins();
        PluginsPage page(nullptr);
        PluginListModel* model = page.model();
        QCOMPARE(model->rowCount(), 2);
        QStringList files{cell(model, 0, 1), cell(model, 1, 1)};
        files.sort();
        QCOMPARE(files, (QStringList{"newsletter.so", "quillatrest.so"}));
        const int attachment = cell(model, 0, 1) == "quillatrest.so" ? 0 : 1;
        page.selectRow(attachment);
        QCOMPARE(uitest::control<QLabel>(&page, 1060)->text(), QString("Attachment Filter"));
        QCOMPARE(uitest::control<QLabel>(&page, 1002)->text(), QString("0.9.0"));
        QVERIFY(uitest::control<QLabel>(&page, 1004)->text().startsWith("Protects your computer"));
        QCOMPARE(cell(model, attachment, 0, Qt::CheckStateRole).toInt(), int(Qt::Checked));

        QSignalSpy pages(&page, &PluginsPage::pluginPagesChanged);
        uitest::control<QPushButton>(&page, 1109)->click(); // Disable
        PluginRecord* record = model->record(attachment);
        QVERIFY(!record->enabled);
        QVERIFY(!record->loaded());
        QCOMPARE(IniFile::readInt("PLUGINS", "quillatrest.so", -1, settings::settingsFile()), 0);
        QCOMPARE(uitest::control<QLabel>(&page, 1060)->text(), QString("Attachment Filter")); // from the kept copy
        model->setData(model->index(attachment, 0), Qt::Checked, Qt::CheckStateRole);
        QVERIFY(record->enabled && record->loaded());
        QCOMPARE(IniFile::readInt("PLUGINS", "quillatrest.so", -1, settings::settingsFile()), 1);
        QCOMPARE(pages.count(), 3); // before the unload, after it, after the load
        QCOMPARE(pages.at(0).at(0).toBool(), true);

        uitest::control<QPushButton>(&page, 1014)->click(); // Reload
        QCOMPARE(model->rowCount(), 2);
        QVERIFY(model->record(attachment)->loaded());
        QCOMPARE(page.store(), PageStoreResult::Stored);

        settings::setFilterPluginEnable(0);
        PluginsPage off(nullptr);
        QCOMPARE(off.model()->rowCount(), 0);
        QVERIFY(!off.isEnabled());
    }

    void everyTextIsGermanAndScreenshots() {
        Fixture f;
        f.installPlugins();
        auto pages = [] {
            std::vector<std::pair<std::unique_ptr<QWidget>, QString>> made;
            made.emplace_back(new PrioritiesPage(nullptr), "options_priorities");
            made.emplace_back(new TrainingAreaPage(nullptr), "options_training_area");
            made.emplace_back(new AggressivenessPage(nullptr), "options_aggressiveness");
            made.emplace_back(new SpamWordsPage(nullptr), "options_spam_words");
            made.emplace_back(new PluginsPage(nullptr), "options_plugins");
            made.emplace_back(new CompactDialog(nullptr), "compact_dialog");
            static SpamWordList list;
            made.emplace_back(new SpamWordDialog(nullptr, list, {}, false), "spam_word_dialog");
            return made;
        };
        const std::string germanFile = uitest::programDir() + "/deutsch.corvanthelix.language";
        CLanguage german;
        QCOMPARE(german.SetLanguageFile(germanFile.c_str()), 1);
        for (auto& [widget, name] : pages()) {
            QStringList texts{widget->windowTitle()};
            for (QLabel* l : widget->findChildren<QLabel*>())
                if (!l->objectName().startsWith("id")) texts << l->text();
            for (QAbstractButton* b : widget->findChildren<QAbstractButton*>()) texts << b->text();
            for (QGroupBox* g : widget->findChildren<QGroupBox*>()) texts << g->title();
            for (QComboBox* c : widget->findChildren<QComboBox*>())
                for (int i = 0; i < c->count(); ++i) texts << c->itemText(i);
            if (auto* view = widget->findChild<QTableView*>())
                for (int c = 0; c < view->model()->columnCount(); ++c) texts << view->model()->headerData(c, Qt::Horizontal).toString();
            for (const QString& text : texts) {
                if (text.trimmed().isEmpty()) continue;
                QVERIFY2(german.FindNode(text.toUtf8().constData()), qPrintable("no German text for: " + text));
            }
            saveShot(widget.get(), name + "_en");
        }
        InitLanguage(germanFile.c_str());
        installProgramTranslation();
        for (auto& [widget, name] : pages()) saveShot(widget.get(), name + "_de");
        PrioritiesPage priorities(nullptr);
        QCOMPARE(priorities.model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QString::fromStdString(loadString(PrioritiesPage::kStringFilterName)));
        QVERIFY(priorities.model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString() != "Filter name");
        InitLanguage(nullptr);
        setStringTranslator(nullptr);
    }
};

QTEST_MAIN(FilterPagesTest)
#include "FilterPagesTest.moc"
