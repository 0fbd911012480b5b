// The plug-ins' settings pages hosted in options pages, made and destroyed through the real
// plug-in manager and the real plug-in libraries: the attachment filter's page and configure
// dialog, the newsletter plug-in's three pages, a disable/enable cycle, and screenshots in English
// and German.
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
#include "ui/language/WindowTranslation.h"
#include "ui/options/FilterOptionsPages.h"
#include "ui/options/OptionsDialog.h"
#include "ui/options/PluginOptionsPage.h"
#include "ui/options/PluginsPage.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeView>
#include <QTreeWidget>
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

void saveShot(QWidget* widget, const QString& name) {
    widget->resize(480, 380);
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget));
    QCoreApplication::processEvents();
    QVERIFY(widget->grab().save(screenshotFolder() + "/" + name + ".png"));
}

bool copyFromProgram(const std::string& relative, const std::string& folder) {
    std::string bytes;
    return readWholeFile(uitest::programDir() + "/" + relative, bytes) &&
           replaceFileAtomically(folder + "/" + relative, bytes, false, 0755);
}

// When the next modal window opens: `act` on it (fill fields, click its buttons).
void onNextModal(std::function<void(QWidget*)> act) { uitest::answerNextModal(-1, false, nullptr, std::move(act)); }

void clickNamed(QWidget* window, const char* name) { window->findChild<QPushButton*>(name)->click(); }

QStringList column(QWidget* page, int col = 0) {
    QStringList texts;
    auto* view = page->findChild<QTreeView*>("entries");
    for (int r = 0; r < view->model()->rowCount(); ++r) texts << view->model()->index(r, col).data().toString();
    return texts;
}

// A program folder of the test's own holding both plug-ins, loaded by the real manager, with the
// host's window translation installed as the desktop installs it.
struct Fixture {
    std::unique_ptr<testing::TempFolder> folder = uitest::freshSettings();
    ScriptedShell shell;

    /// `seeded`: the newsletter plug-in finds a signature and two newsgroups of an earlier session.
    explicit Fixture(bool seeded = false) {
        Application::instance().setShell(&shell);
        QDir(QString::fromStdString(folder->path())).mkpath("plugins/newsletter");
        if (seeded) {
            std::ofstream(folder->path() + "/plugins/newsletter/signatures.dat") << "[Weekly News]\n[rust-users]\n";
            std::ofstream(folder->path() + "/plugins/newsletter/recipients.dat", std::ios::binary)
                << std::string("Rust Users\0rust-users@lists.example\0Garden Club\0news@garden.example\0", 68);
        }
        for (const char* file : {"plugins/quillatrest.so", "plugins/quillatrest.txt", "plugins/newsletter.so",
                                 "plugins/quillatrest.ico", "plugins/newsletter.ico", "plugins/signature.ico",
                                 "plugins/recipients.ico"})
            copyFromProgram(file, folder->path());
        PluginManager::setWidgetTranslators([](void* w) { translateWindow(static_cast<QWidget*>(w)); },
                                            [](void* m) { translateMenu(static_cast<QWidget*>(m)); });
        PluginManager::instance().loadAll();
    }
    ~Fixture() {
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
        PluginManager::destroyInstance();
        PluginManager::setWidgetTranslators(nullptr, nullptr);
        Application::instance().setShell(nullptr);
        IniFile::clearCache();
    }
    PluginRecord* record(const std::string& file) const {
        for (PluginRecord* r : PluginManager::instance().records())
            if (r->fileName() == file) return r;
        return nullptr;
    }
    // Host pages for every page of the plug-in, in list order.
    std::vector<std::unique_ptr<PluginOptionsPage>> pagesOf(PluginRecord* r) const {
        std::vector<std::unique_ptr<PluginOptionsPage>> made;
        const PageList* list = PluginManager::instance().pages(*r);
        if (!list) return made;
        for (uint32_t i = 0; i < list->count; ++i)
            made.emplace_back(static_cast<PluginOptionsPage*>(createPluginOptionsPage(*r, list->pages[i], nullptr)));
        return made;
    }
};

} // namespace

class PluginPagesTest : public QObject {
    Q_OBJECT
private slots:
    void attachmentPageEditsAndStoresTheList() {
        Fixture f;
        PluginRecord* attachment = f.record("quillatrest.so");
        QVERIFY(attachment && attachment->loaded());
        QVERIFY(hasPluginOptionsPages());
        auto pages = f.pagesOf(attachment);
        QCOMPARE(pages.size(), size_t(1));
        PluginOptionsPage& page = *pages[0];
        QCOMPARE(page.pageId(), 4005);
        QCOMPARE(page.title(), std::string("Attachments"));
        QCOMPARE(page.parentDialogId(), 0u);
        QCOMPARE(page.helpFile(), std::string("configattachments.htm"));
        QVERIFY(QFile::exists(QString::fromStdString(page.iconPath())));
        QWidget* widget = page.pluginWidget();
        QVERIFY(widget);
        QCOMPARE(widget->parent(), &page);
        QVERIFY(column(widget).contains("exe"));
        QVERIFY(!widget->findChild<QPushButton*>("delete")->isEnabled());

        // Add: blanks and dots go, OK only while something is left.
        bool okWasOff = false;
        onNextModal([&](QWidget* dialog) {
            auto* field = dialog->findChild<QLineEdit*>("field0");
            field->setText(" . ");
            okWasOff = !dialog->findChild<QPushButton*>("ok")->isEnabled();
            field->setText(" .qqq ");
            clickNamed(dialog, "ok");
        });
        clickNamed(widget, "add");
        QVERIFY(okWasOff);
        QCOMPARE(column(widget).first(), QString("qqq"));
        QVERIFY(widget->findChild<QPushButton*>("delete")->isEnabled()); // the new one is selected

        // A known extension is refused with the plug-in's own box.
        QString refusal;
        onNextModal([&](QWidget* dialog) {
            dialog->findChild<QLineEdit*>("field0")->setText("EXE");
            QTimer::singleShot(0, [&] {
                onNextModal([&](QWidget* box) {
                    refusal = static_cast<QMessageBox*>(box)->text();
                    static_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
                });
            });
            clickNamed(dialog, "ok");
        });
        clickNamed(widget, "add");
        QCOMPARE(refusal, QString("This extension is already in the list!"));
        QCOMPARE(int(column(widget).filter(QRegularExpression("^exe$", QRegularExpression::CaseInsensitiveOption)).size()), 1);

        QCOMPARE(page.store(), PageStoreResult::Stored);
        std::string saved;
        QVERIFY(readWholeFile(f.folder->path() + "/plugins/quillatrest.txt", saved));
        QVERIFY(saved.rfind("qqq\n", 0) == 0);

        // Delete asks with the extension's name; Yes removes it.
        QString question;
        onNextModal([&](QWidget* box) {
            question = static_cast<QMessageBox*>(box)->text();
            static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
        });
        clickNamed(widget, "delete");
        QCOMPARE(question, QString("Do you want to delete the extension \"qqq\"?"));
        QVERIFY(!column(widget).contains("qqq"));
    }

    void configureOpensTheDialogAndOkSaves() {
        Fixture f;
        PluginRecord* attachment = f.record("quillatrest.so");
        QWidget owner;
        bool shown = false;
        onNextModal([&](QWidget* dialog) {
            shown = dialog->objectName() == "attachmentConfigure" && dialog->findChild<QTreeView*>("entries");
            clickNamed(dialog, "ok");
        });
        QVERIFY(PluginManager::instance().configure(*attachment, &owner));
        QVERIFY(shown);
    }

    void newsletterPagesStoreThroughTheHost() {
        Fixture f;
        PluginRecord* newsletter = f.record("newsletter.so");
        QVERIFY(newsletter && newsletter->loaded());
        auto pages = f.pagesOf(newsletter);
        QCOMPARE(pages.size(), size_t(3));
        QCOMPARE(pages[0]->title(), std::string("Newsletters"));
        QCOMPARE(pages[1]->parentDialogId(), 4005u);
        QCOMPARE(pages[2]->pageId(), 4007);

        QWidget* options = pages[0]->pluginWidget();
        auto* noTraining = options->findChild<QCheckBox*>("noTraining");
        auto* autoLearn = options->findChild<QCheckBox*>("autoLearn");
        QVERIFY(noTraining->isChecked());
        QVERIFY(autoLearn->isEnabled());
        noTraining->setChecked(false);
        QVERIFY(!autoLearn->isEnabled());
        pages[0]->store();
        QCOMPARE(settings::pluginSetting("newsletter.so", "NoTraining"), std::string("0"));
        QCOMPARE(settings::pluginSetting("newsletter.so", "AutoLearn"), std::string("0"));

        QWidget* signatures = pages[1]->pluginWidget();
        onNextModal([&](QWidget* dialog) {
            dialog->findChild<QLineEdit*>("field0")->setText("[Weekly News]");
            clickNamed(dialog, "ok");
        });
        clickNamed(signatures, "add");
        QCOMPARE(column(signatures), QStringList{"[Weekly News]"});

        QWidget* newsgroups = pages[2]->pluginWidget();
        bool needsBoth = false;
        onNextModal([&](QWidget* dialog) {
            dialog->findChild<QLineEdit*>("field0")->setText("Rust Users");
            needsBoth = !dialog->findChild<QPushButton*>("ok")->isEnabled();
            dialog->findChild<QLineEdit*>("field1")->setText("rust-users@lists.example");
            clickNamed(dialog, "ok");
        });
        clickNamed(newsgroups, "add");
        QVERIFY(needsBoth);
        QCOMPARE(column(newsgroups, 1), QStringList{"rust-users@lists.example"});
        for (auto& page : pages) QCOMPARE(page->store(), PageStoreResult::Stored);
        std::string text;
        QVERIFY(readWholeFile(f.folder->path() + "/plugins/newsletter/signatures.dat", text));
        QCOMPARE(text, std::string("[Weekly News]\n"));
        QVERIFY(readWholeFile(f.folder->path() + "/plugins/newsletter/recipients.dat", text));
        QCOMPARE(text, std::string("Rust Users\0rust-users@lists.example\0", 36));
    }

    void disableAndEnableAgainWithPagesMadeAndDestroyed() {
        Fixture f;
        PluginManager& manager = PluginManager::instance();
        for (int round = 0; round < 3; ++round) {
            for (const char* file : {"quillatrest.so", "newsletter.so"}) {
                PluginRecord* r = f.record(file);
                {
                    auto pages = f.pagesOf(r);
                    QVERIFY(!pages.empty());
                    for (auto& page : pages) {
                        page->show();
                        QVERIFY(page->pluginWidget());
                    }
                    pages.front()->releasePage();
                    QVERIFY(!pages.front()->pluginWidget());
                    QCOMPARE(pages.front()->store(), PageStoreResult::Stored);
                } // every host page and its plug-in widget gone before the library goes
                QVERIFY(manager.setEnabled(*r, false));
                QVERIFY(!r->loaded());
                QVERIFY(!manager.pages(*r));
                QVERIFY(manager.setEnabled(*r, true));
                QVERIFY(r->loaded());
            }
        }
        auto pages = f.pagesOf(f.record("quillatrest.so"));
        QVERIFY(pages.front()->pluginWidget()->findChild<QTreeView*>("entries"));
    }

    // The plug-ins number their pages on their own: the attachment filter's page and the
    // newsletter plug-in's first page are both 4005, like the built-in Senders page.
    void theDialogKeepsPluginPagesApartFromBuiltInPagesOfTheSameNumber() {
        Fixture f;
        QPointer<OptionsDialog> dialog = OptionsDialog::open(0);
        QVERIFY(dialog);
        auto* tree = dialog->findChild<QTreeWidget*>();
        auto find = [&](const char* text) -> QTreeWidgetItem* {
            const auto items = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
            return items.isEmpty() ? nullptr : items.first();
        };
        QTreeWidgetItem* newsletters = find("Newsletters");
        QVERIFY(find("Senders") && newsletters && find("Attachments"));
        QCOMPARE(find("Signatures")->parent(), newsletters);
        QCOMPARE(find("Newsgroups")->parent(), newsletters);
        QVERIFY(!find("Attachments")->parent());
        QCOMPARE(find("Friends")->parent(), find("Senders"));

        auto row = [&](const char* title) -> const OptionsDialog::PageEntry* {
            for (const OptionsDialog::PageEntry& entry : dialog->pageTable())
                if (entry.title == title) return &entry;
            return nullptr;
        };
        tree->setCurrentItem(find("Attachments"));
        QVERIFY(row("Attachments")->page && row("Attachments")->page->isVisibleTo(dialog));
        QVERIFY(!row("Senders")->page);
        tree->setCurrentItem(find("Senders"));
        QVERIFY(row("Senders")->page && !row("Attachments")->page->isVisibleTo(dialog));

        // Disabling a plug-in on the Plugins page takes the pages out before the library goes,
        // after asking once whether the opened ones are to be stored.
        QVERIFY(dialog->selectPage(4017));
        auto* plugins = qobject_cast<PluginsPage*>(dialog->page(4017));
        QVERIFY(plugins);
        int attachment = -1;
        for (int i = 0; i < plugins->model()->rowCount(); ++i)
            if (plugins->model()->record(i)->fileName() == "quillatrest.so") attachment = i;
        QVERIFY(attachment >= 0);
        plugins->selectRow(attachment);
        f.shell.clear();
        uitest::control<QPushButton>(plugins, 1109)->click(); // Disable
        QVERIFY(!plugins->model()->record(attachment)->loaded());
        QCOMPARE(int(f.shell.calls().size()), 1);
        QVERIFY(QString::fromStdString(f.shell.calls().front()).contains("may have been changed"));
        QVERIFY(!find("Attachments"));
        QVERIFY(find("Newsletters") && find("Signatures")->parent() == find("Newsletters"));
        QCOMPARE(dialog->currentPageId(), 4017);

        plugins->model()->setData(plugins->model()->index(attachment, 0), Qt::Checked, Qt::CheckStateRole);
        QVERIFY(find("Attachments"));
        tree->setCurrentItem(find("Attachments"));
        QVERIFY(row("Attachments")->page && row("Attachments")->page->isVisibleTo(dialog));
        delete dialog.data();
    }

    void everyTextIsGermanAndScreenshots() {
        Fixture f(true);
        const std::string germanFile = uitest::programDir() + "/deutsch.corvanthelix.language";
        CLanguage german;
        QCOMPARE(german.SetLanguageFile(germanFile.c_str()), 1);
        const char* names[] = {"plugin_attachments", "plugin_newsletters", "plugin_signatures", "plugin_newsgroups"};
        auto shoot = [&](const char* suffix, bool checkTexts) {
            auto attachment = f.pagesOf(f.record("quillatrest.so"));
            auto newsletter = f.pagesOf(f.record("newsletter.so"));
            std::vector<PluginOptionsPage*> all{attachment[0].get(), newsletter[0].get(), newsletter[1].get(), newsletter[2].get()};
            for (size_t i = 0; i < all.size(); ++i) {
                QWidget* widget = all[i]->pluginWidget();
                if (checkTexts) {
                    QStringList texts{QString::fromStdString(all[i]->title())};
                    for (QLabel* l : widget->findChildren<QLabel*>()) texts << l->text();
                    for (QAbstractButton* b : widget->findChildren<QAbstractButton*>()) texts << b->text();
                    if (auto* view = widget->findChild<QTreeView*>())
                        for (int c = 0; c < view->model()->columnCount(); ++c)
                            texts << view->model()->headerData(c, Qt::Horizontal).toString();
                    for (const QString& text : texts)
                        QVERIFY2(german.FindNode(text.toUtf8().constData()), qPrintable("no German text for: " + text));
                }
                saveShot(all[i], QString(names[i]) + suffix);
            }
        };
        shoot("_en", true);
        for (const char* text : {"Add extension", "New extension:", "This extension is already in the list!",
                                 "Do you want to delete the extension \"%s\"?", "Add signature", "New signature:",
                                 "This signature is already in the list!", "Do you want to delete the signature \"%s\"?",
                                 "Add newsgroup", "Newsgroup name:", "This newsgroup is already in the list!",
                                 "Do you want to delete the newsgroup \"%s\"?", "Attachment Filter", "Newsletter Plugin",
                                 "Protects your computer from some e-mail viruses. Now fully configurable!",
                                 "Define newsletters that will never be treated as Spam."})
            QVERIFY2(german.FindNode(text), text);
        InitLanguage(germanFile.c_str());
        installProgramTranslation();
        shoot("_de", false);
        auto pages = f.pagesOf(f.record("newsletter.so"));
        QCOMPARE(pages[0]->pluginWidget()->findChild<QCheckBox*>("autoLearn")->text(),
                 QString::fromStdString(GetLanguage()->TranslateText("Automatically learn from newsletters")));
        QVERIFY(pages[0]->pluginWidget()->findChild<QCheckBox*>("autoLearn")->text() != "Automatically learn from newsletters");
        QWidget owner;
        onNextModal([&](QWidget* dialog) {
            dialog->resize(420, 340);
            QCoreApplication::processEvents();
            dialog->grab().save(screenshotFolder() + "/plugin_attachment_configure_de.png");
            clickNamed(dialog, "cancel");
        });
        PluginManager::instance().configure(*f.record("quillatrest.so"), &owner);
        InitLanguage(nullptr);
        setStringTranslator(nullptr);
    }
};

QTEST_MAIN(PluginPagesTest)
#include "PluginPagesTest.moc"
