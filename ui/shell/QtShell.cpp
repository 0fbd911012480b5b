#include "ui/shell/QtShell.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "ui/widgets/ControlNames.h"
#include "ui/shell/MainWindow.h"
#include "ui/widgets/OptionalMessageBox.h"
#include "ui/language/WindowTranslation.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {

// Answers of the boxes beyond those of app/Shell.h.
constexpr int kAnswerAbort = 3;
constexpr int kAnswerRetry = 4;
constexpr int kAnswerIgnore = 5;
constexpr unsigned kAbortRetryIgnore = 0x02;
constexpr unsigned kRetryCancel = 0x05;

// What a question gets when no person can be asked: the safe answer of each box type.
int unattendedAnswer(unsigned flags) {
    switch (flags & mb::kTypeMask) {
    case mb::kYesNo:
    case mb::kYesNoCancel: return answer::kNo;
    case mb::kOkCancel:
    case kRetryCancel: return answer::kCancel;
    case kAbortRetryIgnore: return kAnswerAbort;
    default: return answer::kOk;
    }
}

constexpr unsigned bit(StatusField field) { return 1u << static_cast<unsigned>(field); }
constexpr StatusField kAllFields[] = {StatusField::Text,     StatusField::Detail,      StatusField::Total,
                                      StatusField::Received, StatusField::SpamCount,   StatusField::Lock,
                                      StatusField::PercentMode, StatusField::Cancel};

} // namespace

struct QtShell::PendingCall {
    std::condition_variable done;
    bool finished = false;
    bool running = false;
    bool abandoned = false;
};

QtShell::QtShell(MainWindow& window) : window_(window) {}

QtShell::~QtShell() { stop(); }

bool QtShell::onGuiThread() const { return QThread::currentThread() == thread(); }

void QtShell::stop() {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    stopped_ = true;
    for (const std::shared_ptr<PendingCall>& call : pending_) {
        // A call already running on the GUI thread finishes by itself.
        if (call->running) continue;
        call->abandoned = true;
        call->done.notify_all();
    }
}

void QtShell::runAndWait(const std::function<void()>& call, const std::function<void()>& fallback) {
    if (stopped_) {
        fallback();
        return;
    }
    if (onGuiThread()) {
        call();
        return;
    }
    auto pending = std::make_shared<PendingCall>();
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        if (stopped_) {
            fallback();
            return;
        }
        pending_.insert(pending);
    }
    QMetaObject::invokeMethod(
        this,
        [this, pending, &call] {
            {
                std::lock_guard<std::mutex> lock(pendingMutex_);
                // The caller has gone on without an answer; `call` may refer to its stack.
                if (pending->abandoned) return;
                pending->running = true;
            }
            call();
            std::lock_guard<std::mutex> lock(pendingMutex_);
            pending->finished = true;
            pending_.erase(pending);
            pending->done.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(pendingMutex_);
    pending->done.wait(lock, [&] { return pending->finished || pending->abandoned; });
    const bool answered = pending->finished;
    pending_.erase(pending);
    lock.unlock();
    if (!answered) fallback();
}

void QtShell::post(std::function<void()> call) {
    if (stopped_) return;
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

// --- synchronous calls ----------------------------------------------------------------------------------

int QtShell::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
    int result = unattendedAnswer(flags);
    runAndWait([&] { result = showMessageBox(text, caption, flags); }, [] {});
    return result;
}

int QtShell::showMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    QMessageBox box(messageBoxIcon(flags), QString::fromStdString(caption), QString::fromStdString(text));
    struct Choice {
        QMessageBox::StandardButton button;
        int answer;
    };
    std::vector<Choice> choices;
    switch (flags & mb::kTypeMask) {
    case mb::kOkCancel: choices = {{QMessageBox::Ok, answer::kOk}, {QMessageBox::Cancel, answer::kCancel}}; break;
    case kAbortRetryIgnore:
        choices = {{QMessageBox::Abort, kAnswerAbort}, {QMessageBox::Retry, kAnswerRetry},
                   {QMessageBox::Ignore, kAnswerIgnore}};
        break;
    case mb::kYesNoCancel:
        choices = {{QMessageBox::Yes, answer::kYes}, {QMessageBox::No, answer::kNo},
                   {QMessageBox::Cancel, answer::kCancel}};
        break;
    case mb::kYesNo: choices = {{QMessageBox::Yes, answer::kYes}, {QMessageBox::No, answer::kNo}}; break;
    case kRetryCancel: choices = {{QMessageBox::Retry, kAnswerRetry}, {QMessageBox::Cancel, answer::kCancel}}; break;
    default: choices = {{QMessageBox::Ok, answer::kOk}}; break;
    }
    QMessageBox::StandardButtons buttons;
    for (const Choice& choice : choices) buttons |= choice.button;
    box.setStandardButtons(buttons);
    // Qt names its standard buttons itself, in English; they are translated like every other text.
    for (QAbstractButton* button : box.buttons()) button->setText(translatedText(button->text().toUtf8().constData()));
    const int clicked = box.exec();
    for (const Choice& choice : choices)
        if (clicked == choice.button) return choice.answer;
    return unattendedAnswer(flags);
}

int QtShell::optionalMessageBox(const std::string& text, const std::string& caption, unsigned flags,
                                const std::string& settingName, int defaultAnswer) {
    int result = defaultAnswer;
    runAndWait(
        [&] {
            result = OptionalMessageBox::ask(nullptr, QString::fromStdString(text), QString::fromStdString(caption),
                                             flags, settingName, defaultAnswer, settings::settingsFile());
        },
        [] {});
    return result;
}

int QtShell::timeoutQuestion() {
    int result = 0;
    runAndWait([&] { result = askTimeout(); }, [] {});
    return result;
}

int QtShell::askTimeout() {
    QMessageBox box(QMessageBox::Question, "Timeout",
                    "The server has not answered for a long time. Do you want to abort connection?");
    QPushButton* wait = box.addButton("Wait...", QMessageBox::RejectRole);
    QPushButton* abort = box.addButton("Abort", QMessageBox::AcceptRole);
    // The close box counts as "Wait...".
    box.setEscapeButton(wait);
    translateWindow(&box);
    timeoutBox_ = &box;
    box.exec();
    timeoutBox_ = nullptr;
    return box.clickedButton() == abort ? 0 : 1;
}

void QtShell::closeTimeoutQuestion() {
    post([this] {
        if (timeoutBox_) timeoutBox_->reject();
    });
}

bool QtShell::trustCertificate(const CertificateQuestion& question) {
    return messageBox(question.text, "Corvanthelix", mb::kYesNo | mb::kIconExclamation) == answer::kYes;
}

bool QtShell::loginDialog(LoginRequest& request) {
    bool accepted = false;
    runAndWait([&] { accepted = askLogin(request); }, [] {});
    return accepted;
}

bool QtShell::askLogin(LoginRequest& request) {
    QDialog dialog;
    dialog.setWindowTitle("Login");
    auto* intro = new QLabel("Please enter username and password for the following account:", &dialog);
    auto* host = new QLabel(&dialog);
    auto* user = new QLineEdit(&dialog);
    auto* password = new QLineEdit(&dialog);
    password->setEchoMode(QLineEdit::Password);
    auto* save = new QCheckBox("Save password", &dialog);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout;
    form->addRow(host);
    form->addRow(new QLabel("User name:", &dialog), user);
    form->addRow(new QLabel("Password:", &dialog), password);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(save);
    layout->addWidget(buttons);
    translateWindow(&dialog);
    host->setText(QString::fromStdString(request.server));
    user->setText(QString::fromStdString(request.user));
    password->setText(QString::fromStdString(request.password));
    save->setChecked(request.savePassword);
    if (dialog.exec() != QDialog::Accepted) return false;
    request.user = user->text().toStdString();
    request.password = password->text().toStdString();
    request.savePassword = save->isChecked();
    return true;
}

void QtShell::mailCheckBegin() {
    runAndWait([this] { window_.onMailCheckBegin(); }, [] {});
}

void QtShell::mailCheckEnd() {
    runAndWait([this] { window_.onMailCheckEnd(); }, [] {});
}

// --- posted calls -------------------------------------------------------------------------------------

void QtShell::statusShow() {
    post([this] { window_.showStatusWindow(); });
}

void QtShell::statusDestroy() {
    post([this] { window_.destroyStatusWindow(); });
}

void QtShell::statusChanged(StatusField field) {
    if (stopped_) return;
    if (onGuiThread()) {
        window_.statusChanged(field);
        return;
    }
    // One event carries every field changed since the window last looked.
    if (dirtyFields_.fetch_or(bit(field)) == 0) post([this] { flushStatus(); });
}

void QtShell::flushStatus() {
    const unsigned fields = dirtyFields_.exchange(0);
    for (StatusField field : kAllFields)
        if (fields & bit(field)) window_.statusChanged(field);
}

void QtShell::traySetProgress(int percentTenths) {
    if (stopped_) return;
    progressTenths_ = percentTenths;
    if (onGuiThread()) {
        window_.setTrayProgress(percentTenths);
        return;
    }
    if (!progressPosted_.exchange(true)) post([this] { flushProgress(); });
}

void QtShell::flushProgress() {
    progressPosted_ = false;
    window_.setTrayProgress(progressTenths_.load());
}

void QtShell::traySetTooltip(const std::string& text) {
    post([this, text] { window_.setTrayTooltip(text); });
}

void QtShell::traySetSpamCounter(int count) {
    post([this, count] { window_.showStateIcon(count); });
}

void QtShell::trayAnimate(bool on) {
    post([this, on] { window_.setTrayAnimating(on); });
}

void QtShell::trayBalloon(const std::string& text) {
    post([this, text] { window_.showTrayBalloon(text); });
}

void QtShell::trayShowAgain() {
    post([this] { window_.onShowTrayIcon(); });
}

void QtShell::recycleBinRowChanged(RecycleRowChange change, const std::string& fileName) {
    // Always posted, even on the GUI thread: the caller may hold the store's lock.
    post([this, change, fileName] {
        if (recycleRowHandler_) recycleRowHandler_(change, fileName);
    });
}

void QtShell::setRecycleRowHandler(std::function<void(RecycleRowChange, const std::string&)> handler) {
    recycleRowHandler_ = std::move(handler);
}

} // namespace corvanthelix
