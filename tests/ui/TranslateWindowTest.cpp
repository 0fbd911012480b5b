// Translation of a whole dialog and its menus through the translation library.
#include "language/Vexolindra.h"
#include "ui/language/WindowTranslation.h"
#include "tests/fakes/TempFolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtTest>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

const char* kLanguageFile =
    "NAME: Deutsch\n"
    "LANGUAGEID: 407\n"
    "Options\n=Optionen\n"
    "Server name\n=Servername\n"
    "&Save\n=&Speichern\n"
    "Filter\n=Filterung\n"
    "Keep spam on the server\n=Spam auf dem Server lassen\n"
    "Only friends\n=Nur Freunde\n"
    "General\n=Allgemein\n"
    "Advanced\n=Erweitert\n"
    "Low\n=Niedrig\n"
    "High\n=Hoch\n"
    "&File\n=&Datei\n"
    "&Open\n=\xC3\x96&" "ffnen\n"
    "&Recent\n=&Zuletzt\n"
    "First mail\n=Erste Mail\n"
    "E&xit\n=&Beenden\n"
    "Popup\n=Aufklapp\n"
    "Typed by the user\n=Vom Benutzer getippt\n"
    "Line one\\nLine two\n=Zeile eins\\nZeile zwei\n";

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

} // namespace

class TranslateWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        InitLanguage(tmp_.write("deutsch.corvanthelix.language", kLanguageFile).c_str());
    }

    void translatesEveryKindOfTextWidget() {
        QDialog dialog;
        dialog.setWindowTitle("Options");
        auto* layout = new QVBoxLayout(&dialog);
        auto* menuBar = new QMenuBar(&dialog);
        layout->setMenuBar(menuBar);
        QMenu* file = menuBar->addMenu("&File");
        QAction* open = file->addAction("&Open");
        file->addSeparator();
        QMenu* recent = file->addMenu("&Recent");
        QAction* firstMail = recent->addAction("First mail");
        QAction* unknown = recent->addAction("Not in the file");
        QAction* exit = file->addAction("E&xit");

        auto* label = new QLabel("Server name:", &dialog);
        auto* multiLine = new QLabel("Line one\nLine two", &dialog);
        auto* save = new QPushButton("&Save", &dialog);
        auto* group = new QGroupBox("Filter", &dialog);
        auto* keep = new QCheckBox("Keep spam on the server", group);
        auto* friends = new QRadioButton("Only friends", group);
        auto* tabs = new QTabWidget(&dialog);
        tabs->addTab(new QWidget, "General");
        tabs->addTab(new QWidget, "Advanced");
        auto* combo = new QComboBox(&dialog);
        combo->addItems({"Low", "High", "Custom"});
        auto* editableCombo = new QComboBox(&dialog);
        editableCombo->setEditable(true);
        editableCombo->addItem("Typed by the user");
        auto* edit = new QLineEdit("Typed by the user", &dialog);
        auto* buttonMenu = new QMenu(&dialog);
        QAction* popupItem = buttonMenu->addAction("Popup");
        save->setMenu(buttonMenu);
        for (QWidget* w : std::initializer_list<QWidget*>{label, multiLine, save, group, tabs, combo, editableCombo, edit})
            layout->addWidget(w);

        translateWindow(&dialog);

        QCOMPARE(dialog.windowTitle(), u("Optionen"));
        QCOMPARE(label->text(), u("Servername:"));
        QCOMPARE(multiLine->text(), u("Zeile eins\nZeile zwei"));
        QCOMPARE(save->text(), u("&Speichern"));
        QCOMPARE(group->title(), u("Filterung"));
        QCOMPARE(keep->text(), u("Spam auf dem Server lassen"));
        QCOMPARE(friends->text(), u("Nur Freunde"));
        QCOMPARE(tabs->tabText(0), u("Allgemein"));
        QCOMPARE(tabs->tabText(1), u("Erweitert"));
        QCOMPARE(combo->itemText(0), u("Niedrig"));
        QCOMPARE(combo->itemText(1), u("Hoch"));
        QCOMPARE(combo->itemText(2), u("Custom"));
        QCOMPARE(file->title(), u("&Datei"));
        QCOMPARE(open->text(), u("\xC3\x96&ffnen"));
        QCOMPARE(recent->title(), u("&Zuletzt"));
        QCOMPARE(firstMail->text(), u("Erste Mail"));
        QCOMPARE(unknown->text(), u("Not in the file"));
        QCOMPARE(exit->text(), u("&Beenden"));
        QCOMPARE(popupItem->text(), u("Aufklapp"));
        QVERIFY(file->actions().at(1)->isSeparator());
        QCOMPARE(file->actions().at(1)->text(), QString());
        // What the user typed is not a program text.
        QCOMPARE(edit->text(), u("Typed by the user"));
        QCOMPARE(editableCombo->itemText(0), u("Typed by the user"));

    }

    void sharedActionsAreTranslatedOnce() {
        InitLanguage(tmp_.write("chain.corvanthelix.language",
                                "LANGUAGEID: 407\nOpen\n=Close\nClose\n=Schliessen\n").c_str());
        QWidget window;
        auto* bar = new QMenuBar(&window);
        QMenu* first = bar->addMenu("One");
        QMenu* second = bar->addMenu("Two");
        QAction* shared = first->addAction("Open");
        second->addAction(shared);
        second->addMenu(first);  // the same submenu reached twice
        translateMenu(bar);
        QCOMPARE(shared->text(), u("Close"));
    }

    void readLimitsCutOnlyForTheLookup() {
        QString longTitle(300, QChar('t'));
        QString longLabel = u("Long ") + QString(1100, QChar('x'));
        std::string file = "LANGUAGEID: 407\n" + std::string(254, 't') + "\n=Kurzer Titel\n";
        InitLanguage(tmp_.write("limits.corvanthelix.language", file).c_str());
        QDialog dialog;
        dialog.setWindowTitle(longTitle);
        auto* label = new QLabel(longLabel, &dialog);
        translateWindow(&dialog);
        QCOMPARE(dialog.windowTitle(), u("Kurzer Titel"));  // looked up by its first 254 characters
        QCOMPARE(label->text(), longLabel);                 // untranslated: stays whole
    }

    void englishWithoutAnyTable() {
        InitLanguage(nullptr);
        QDialog dialog;
        dialog.setWindowTitle("Options");
        auto* label = new QLabel("Server name", &dialog);
        translateWindow(&dialog);
        QCOMPARE(dialog.windowTitle(), u("Options"));
        QCOMPARE(label->text(), u("Server name"));
        QCOMPARE(translatedText("Options"), u("Options"));
    }

private:
    TempFolder tmp_;
};

QTEST_MAIN(TranslateWindowTest)
#include "TranslateWindowTest.moc"
