// The chi-square plug-in's settings page through the real plug-in manager and the real library:
// the page list of service 2, the page made by CVX_PAGE_CREATE, the choice stored by
// CVX_PAGE_STORE into the plug-in's settings, "Forget everything" asked first and emptying the
// database for good, and screenshots in English and German.
#include "base/AtomicFile.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "filter/PluginManager.h"
#include "language/CLanguage.h"
#include "language/Vexolindra.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"
#include "tests/fakes/UiTestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>
#include <string>

using namespace corvanthelix;

namespace {

constexpr const char* kLibrary = "chisquare.so";
constexpr const char* kLanguageFile = "chisquare.deutsch.language";
constexpr uint32_t kPageId = 4005;
// Control ids of the page.
constexpr int kAggressiveness = 4010, kWords = 4011, kSpamMessages = 4012, kHamMessages = 4013, kFileSize = 4014,
              kForget = 4015, kYes = 6, kNo = 7;

QString screenshotFolder() {
    QDir folder(QString::fromStdString(uitest::programDir()));
    folder.cdUp();
    folder.mkpath("screenshots");
    return folder.filePath("screenshots");
}

void saveShot(QWidget* window, const QString& name) {
    window->resize(window->sizeHint().expandedTo(QSize(460, 0)));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCoreApplication::processEvents();
    QVERIFY(window->grab().save(screenshotFolder() + "/" + name + ".png"));
}

std::string mail(const std::string& subject, const std::string& body, int id) {
    return "From: Sender <sender" + std::to_string(id) + "@example.org>\r\nTo: alice@example.org\r\nSubject: " +
           subject + "\r\nMessage-ID: <p" + std::to_string(id) + "@example.org>\r\n\r\n" + body + "\r\n";
}

} // namespace

class ChiSquarePageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testing::TempFolder> program;
    testing::ScriptedShell shell;
    PluginRecord* record = nullptr;

    PluginManager& manager() { return PluginManager::instance(); }

    /// Copies the built library and its language file into a fresh program folder and loads it.
    void install() {
        PluginManager::destroyInstance();
        program = std::make_unique<testing::TempFolder>();
        QVERIFY(Application::instance().setProgramFolder(program->path()));
        IniFile::clearCache();
        QVERIFY(ensureFolder(program->file("plugins")));
        for (const char* name : {kLibrary, kLanguageFile}) {
            std::string bytes;
            QVERIFY(readWholeFile(uitest::programDir() + "/plugins/" + name, bytes));
            QVERIFY(replaceFileAtomically(program->file(std::string("plugins/") + name), bytes, false, 0700));
        }
        reload();
    }

    /// Has the manager load the plug-ins folder afresh (the library reads its database again).
    void reload() {
        PluginManager::destroyInstance();
        manager().loadAll();
        record = nullptr;
        for (PluginRecord* r : manager().records())
            if (r->fileName() == kLibrary) record = r;
        QVERIFY(record);
    }

    const PageRecord* page() {
        const PageList* pages = manager().pages(*record);
        return pages && pages->count == 1 ? &pages->pages[0] : nullptr;
    }

    /// The page made by CVX_PAGE_CREATE as a child of `parent`.
    QWidget* create(QWidget* parent) {
        const PageRecord* record = page();
        if (!record) return nullptr;
        return reinterpret_cast<QWidget*>(
            record->procedure(nullptr, CVX_PAGE_CREATE, record->dialogId, reinterpret_cast<intptr_t>(parent)));
    }

    void learnSome() {
        manager().notifyLearned(mail("Cheap pills", "buy cheap pills online, lowest prices guaranteed", 1), true);
        manager().notifyLearned(mail("Pills today", "cheap pills and offers, order online now", 2), true);
        manager().notifyLearned(mail("Meeting notes", "the minutes of monday's planning meeting are attached", 3), false);
    }

    template <class W = QWidget>
    static W* control(QWidget* page, int id) {
        return uitest::control<W>(page, id);
    }

private slots:
    void init() {
        Application::instance().setShell(&shell);
        install();
    }

    void cleanup() {
        PluginManager::destroyInstance();
        Application::instance().setShell(nullptr);
        InitLanguage(nullptr);
        program.reset();
    }

    void servicePagesOffersOnePageThatCreateMakes() {
        const PageRecord* record = page();
        QVERIFY(record);
        QCOMPARE(record->size, uint32_t(sizeof(PageRecord)));
        QCOMPARE(record->dialogId, kPageId);
        QCOMPARE(QString(record->title), QString("Chi-Square Filter"));
        QCOMPARE(record->parentId, 0u);
        QVERIFY(record->procedure);
        QCOMPARE(record->procedure(nullptr, CVX_PAGE_CREATE, kPageId + 1, 0), intptr_t(0));

        learnSome();
        QWidget parent;
        QWidget* created = create(&parent);
        QVERIFY(created);
        QCOMPARE(created->parentWidget(), &parent);
        QCOMPARE(control<QComboBox>(created, kAggressiveness)->currentIndex(), 1);
        QCOMPARE(control<QComboBox>(created, kAggressiveness)->count(), 3);
        QCOMPARE(control<QLabel>(created, kSpamMessages)->text(), QString("2"));
        QCOMPARE(control<QLabel>(created, kHamMessages)->text(), QString("1"));
        QVERIFY(control<QLabel>(created, kWords)->text().toInt() > 10);
        QVERIFY(control<QLabel>(created, kFileSize)->text().contains("bytes") ||
                control<QLabel>(created, kFileSize)->text().contains("KB"));
        QVERIFY(control<QPushButton>(created, kForget)->isEnabled());
        // A store to anything but a page of this plug-in does nothing.
        QWidget stranger;
        QCOMPARE(page()->procedure(&stranger, CVX_PAGE_STORE, 0, 0), intptr_t(0));
    }

    void storeWritesTheChoiceWhichTheNextPageShows() {
        QCOMPARE(settings::pluginSetting(kLibrary, "Aggressiveness"), std::string());
        {
            QWidget parent;
            QWidget* created = create(&parent);
            QVERIFY(created);
            control<QComboBox>(created, kAggressiveness)->setCurrentIndex(2);
            QCOMPARE(settings::pluginSetting(kLibrary, "Aggressiveness"), std::string()); // nothing before the store
            int result = 0;
            QCOMPARE(page()->procedure(created, CVX_PAGE_STORE, 0, reinterpret_cast<intptr_t>(&result)), intptr_t(1));
            QCOMPARE(result, 0);
            QCOMPARE(settings::pluginSetting(kLibrary, "Aggressiveness"), std::string("2"));
            control<QComboBox>(created, kAggressiveness)->setCurrentIndex(0);
            QCOMPARE(page()->procedure(created, CVX_PAGE_STORE, 0, 0), intptr_t(1));
            QCOMPARE(settings::pluginSetting(kLibrary, "Aggressiveness"), std::string("0"));
        }
        reload();
        QWidget parent;
        QWidget* again = create(&parent);
        QVERIFY(again);
        QCOMPARE(control<QComboBox>(again, kAggressiveness)->currentIndex(), 0);
    }

    void forgetEverythingAsksFirstAndEmptiesTheDatabase() {
        learnSome();
        {
            QWidget parent;
            QWidget* created = create(&parent);
            QVERIFY(created);
            const QString words = control<QLabel>(created, kWords)->text();
            QString question;
            uitest::answerNextModal(kNo, false, nullptr, [&](QWidget* box) {
                for (QLabel* label : box->findChildren<QLabel*>()) question += label->text();
            });
            control<QPushButton>(created, kForget)->click();
            QVERIFY2(question.contains("forget everything"), qPrintable(question));
            QCOMPARE(control<QLabel>(created, kWords)->text(), words);

            bool answered = false;
            uitest::answerNextModal(kYes, false, &answered);
            control<QPushButton>(created, kForget)->click();
            QVERIFY(answered);
            QCOMPARE(control<QLabel>(created, kWords)->text(), QString("0"));
            QCOMPARE(control<QLabel>(created, kSpamMessages)->text(), QString("0"));
            QVERIFY(!control<QPushButton>(created, kForget)->isEnabled());
        }
        // Forgotten for good: the library reads the emptied file when it is loaded again.
        reload();
        QWidget parent;
        QWidget* again = create(&parent);
        QVERIFY(again);
        QCOMPARE(control<QLabel>(again, kWords)->text(), QString("0"));
        QCOMPARE(control<QLabel>(again, kHamMessages)->text(), QString("0"));
    }

    void everyTextIsGermanAndScreenshots() {
        learnSome();
        QStringList texts;
        {
            QWidget english;
            english.setWindowTitle("Chi-Square Filter");
            QWidget* created = create(&english);
            QVERIFY(created);
            (new QVBoxLayout(&english))->addWidget(created);
            saveShot(&english, "chisquare_page_en");
            for (QLabel* l : created->findChildren<QLabel*>())
                if (!l->objectName().startsWith("id")) texts << l->text();
            for (QAbstractButton* b : created->findChildren<QAbstractButton*>()) texts << b->text();
            for (QGroupBox* g : created->findChildren<QGroupBox*>()) texts << g->title();
            auto* choice = control<QComboBox>(created, kAggressiveness);
            for (int i = 0; i < choice->count(); ++i) texts << choice->itemText(i);
            texts << control<QLabel>(created, kFileSize)->text().section(' ', 1); // the unit
        }
        // The German texts come from the plug-in's own language file, added as the program adds it.
        std::string german = uitest::programDir() + "/deutsch.corvanthelix.language";
        QVERIFY(InitLanguage(german.c_str()));
        std::vector<std::string> files = manager().languageFiles(0x407);
        QCOMPARE(files.size(), size_t(1));
        QCOMPARE(QString::fromStdString(files[0]), QString::fromStdString(program->file(std::string("plugins/") + kLanguageFile)));
        QCOMPARE(GetLanguage()->AddLanguageFile(files[0].c_str(), 0), 1);
        CLanguage own;
        QCOMPARE(own.SetLanguageFile(files[0].c_str()), 1);
        for (const QString& text : texts)
            if (!text.trimmed().isEmpty() && text != "Normal")
                QVERIFY2(own.FindNode(text.toUtf8().constData()), qPrintable("no German text for: " + text));

        QWidget window;
        window.setWindowTitle("Chi-Quadrat-Filter");
        QWidget* created = create(&window);
        QVERIFY(created);
        (new QVBoxLayout(&window))->addWidget(created);
        QCOMPARE(control<QPushButton>(created, kForget)->text(), QString("Alles vergessen"));
        QCOMPARE(control<QComboBox>(created, kAggressiveness)->itemText(0),
                 QString("Vorsichtig (weniger Nachrichten als Spam eingestuft)"));
        saveShot(&window, "chisquare_page_de");
        QString question;
        uitest::answerNextModal(kNo, false, nullptr, [&](QWidget* box) {
            box->grab().save(screenshotFolder() + "/chisquare_forget_question_de.png");
            for (QLabel* label : box->findChildren<QLabel*>()) question += label->text();
        });
        control<QPushButton>(created, kForget)->click();
        QVERIFY2(question.contains("wirklich alles vergessen"), qPrintable(question));
    }
};

QTEST_MAIN(ChiSquarePageTest)
#include "ChiSquarePageTest.moc"
