// The question about a server certificate that did not verify, as the desktop asks it from a
// session thread: a yes/no box with every detail, in English and in German.
#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/ProgramLanguage.h"
#include "base/StringTable.h"
#include "language/Vexolindra.h"
#include "net/CertificateCheck.h"
#include "proxy/ServerTrust.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/QtShell.h"
#include "tests/fakes/UiTestSupport.h"

#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace corvanthelix;

namespace {
const char* kFingerprint =
    "3A:91:0C:5E:77:D2:48:B1:9F:06:E4:2B:C8:13:A5:60:F7:2D:94:E8:1B:6C:03:BA:59:DE:82:47:C1:0F:66:A9";

CertificateQuestion questionFor(const std::string& server, int port) {
    const CertificateCheck check =
        CertificateCheck::make(CertificateProblem::SelfSigned, kFingerprint, "CN = mail.example.org",
                               "CN = mail.example.org", "Dec  1 00:00:00 2026 GMT", "Dec  1 00:00:00 2027 GMT");
    CertificateQuestion question;
    question.server = server;
    question.port = port;
    question.reason = ServerTrust::translatedReason(check);
    question.fingerprint = check.fingerprint();
    question.text = ServerTrust::questionText(check, server, port);
    return question;
}
} // namespace

class CertificateQuestionTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        settingsFolder_ = uitest::freshSettings();
        window_ = std::make_unique<MainWindow>(uitest::programDir());
        shell_ = std::make_unique<QtShell>(*window_);
        Application::instance().setShell(shell_.get());
    }

    void cleanup() {
        Application::instance().setShell(nullptr);
        shell_.reset();
        window_.reset();
        setStringTranslator(nullptr);
        InitLanguage(nullptr);
    }

    void askedFromASessionThreadWithEveryDetail_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QString>("question");
        QTest::newRow("en-yes") << "en" << control::kYes << true << "Trust this certificate for this server from now on?";
        QTest::newRow("de-no") << "de" << control::kNo << false
                               << "Diesem Zertifikat für diesen Server von nun an vertrauen?";
    }

    void askedFromASessionThreadWithEveryDetail() {
        QFETCH(QString, language);
        QFETCH(int, button);
        QFETCH(bool, trusted);
        QFETCH(QString, question);
        if (language == "de") {
            installProgramTranslation();
            QVERIFY(InitLanguage((uitest::programDir() + "/deutsch.corvanthelix.language").c_str()));
        }
        const CertificateQuestion asked = questionFor("mail.example.org", 995);
        QString shown;
        const QString shots = QString::fromStdString(uitest::programDir()) + "/../screenshots";
        QDir().mkpath(shots);
        uitest::answerNextModal(0, false, nullptr, [&](QWidget* modal) {
            modal->grab().save(shots + "/certificate_question_" + language + ".png");
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return modal->close();
            shown = box->text();
            box->button(button == control::kYes ? QMessageBox::Yes : QMessageBox::No)->click();
            return true;
        });
        std::atomic<int> answer{-1};
        std::thread session([&] { answer = shell_->trustCertificate(asked) ? 1 : 0; });
        QTRY_VERIFY(answer.load() != -1);
        session.join();
        QCOMPARE(answer.load() == 1, trusted);
        QVERIFY2(shown.contains(question), qPrintable(shown));
        QVERIFY(shown.contains(kFingerprint));
        QVERIFY(shown.contains("mail.example.org"));
        QVERIFY(shown.contains("995"));
        QVERIFY(shown.contains(QString::fromStdString(asked.reason)));
        QVERIFY(shown.contains("Dec  1 00:00:00 2027 GMT"));
        if (language == "de") QVERIFY(shown.contains("selbst signiert"));
    }

private:
    std::unique_ptr<testing::TempFolder> settingsFolder_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<QtShell> shell_;
};

QTEST_MAIN(CertificateQuestionTest)
#include "CertificateQuestionTest.moc"
