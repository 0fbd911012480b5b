// The shipped help pages render: each language's documentation index and recycle bin page are
// shown in a text browser, its links are followed inside the folder, and a picture is saved.
#include "tests/fakes/UiTestSupport.h"

#include <QDir>
#include <QTextBrowser>
#include <QtTest>

using namespace corvanthelix;

class HelpPageTest : public QObject {
    Q_OBJECT
private slots:
    void pagesRenderAndTheirLinksLead() {
        const QString help = QString::fromStdString(uitest::programDir()) + "/help/";
        const QString shots = QString::fromStdString(uitest::programDir()) + "/../screenshots";
        QDir().mkpath(shots);
        struct Case {
            const char* language;
            const char* heading;
            const char* restoreHeading;
        } cases[] = {{"en", "Corvanthelix documentation", "Restoring a message"},
                     {"de", "Corvanthelix-Dokumentation", "Eine Nachricht wiederherstellen"}};
        for (const Case& c : cases) {
            QTextBrowser browser;
            browser.resize(760, 900);
            browser.setSource(QUrl::fromLocalFile(help + c.language + "/index.htm"));
            QCOMPARE(browser.documentTitle(), QString(c.heading) + " - Corvanthelix");
            QVERIFY(browser.toPlainText().contains("server&user&port") ||
                    browser.toPlainText().contains("server&benutzer&port"));
            browser.show();
            QVERIFY(QTest::qWaitForWindowExposed(&browser));
            QVERIFY(browser.grab().save(shots + "/help_index_" + c.language + ".png"));

            // The link to the recycle bin page opens that page from the same folder.
            browser.setSource(browser.source().resolved(QUrl("recycle.htm")));
            QVERIFY(browser.source().toLocalFile().endsWith(QString(c.language) + "/recycle.htm"));
            QVERIFY(browser.toPlainText().contains(c.restoreHeading));
        }
    }
};

QTEST_MAIN(HelpPageTest)
#include "HelpPageTest.moc"
