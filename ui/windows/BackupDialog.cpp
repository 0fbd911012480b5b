#include "ui/windows/BackupDialog.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "base/StringTable.h"
#include "ui/language/WindowTranslation.h"
#include "ui/widgets/ControlNames.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

namespace corvanthelix {

namespace {
constexpr int kStringWarnIni = 191;
constexpr int kStringWarnRecycleBin = 192;
constexpr int kStringWarnTraining = 193;
constexpr int kStringWarnSpamWords = 194;
constexpr int kStringWarnMemory = 217;
constexpr const char* kFileFilter = "Corvanthelix Backup File (*.corvanthelix.backup)";

QString text(int id) { return QString::fromStdString(loadString(id)); }

QCheckBox* checkBox(const char* label, int id, int checked, QWidget* parent) {
    auto* box = withControlId(new QCheckBox(label, parent), id);
    box->setChecked(checked == 1);
    return box;
}
} // namespace

BackupDialog::BackupDialog(Mode mode, std::string programFolder, Hooks hooks, QWidget* owner)
    : QDialog(owner), mode_(mode), programFolder_(std::move(programFolder)), hooks_(std::move(hooks)) {
    setObjectName(controlObjectName(resource::kBackupDialog));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* fileLabel = new QLabel("File name:", this);
    fileName_ = withControlId(new QLineEdit(this), control::kBackupFileName);
    fileName_->setMinimumWidth(320);
    browse_ = withControlId(new QPushButton("...", this), control::kBackupBrowse);
    browse_->setFixedWidth(32);
    connect(browse_, &QPushButton::clicked, this, &BackupDialog::browse);

    ini_ = checkBox("General Configuration", control::kBackupIni, settings::backupIni(), this);
    auto* iniNote = new QLabel("including Friends, Blocked Senders and Spam Statistics", this);
    iniNote->setIndent(24);
    spamWords_ = checkBox("User defined Spam Words", control::kBackupSpamWords, settings::backupSpamWords(), this);
    memory_ = checkBox("Memory of the Learning Filter", control::kBackupMemory, settings::backupMemory(), this);
    recycleBin_ = checkBox("All mails in the Recycle Bin", control::kBackupRecycleBin, settings::backupRecycleBin(), this);
    training_ = checkBox("All mails in the Training Area", control::kBackupTraining, settings::backupTraining(), this);

    progress_ = withControlId(new QProgressBar(this), control::kBackupProgressBar);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);

    ok_ = withControlId(new QPushButton("OK", this), control::kOk);
    ok_->setDefault(true);
    cancel_ = withControlId(new QPushButton("Cancel", this), control::kCancel);
    connect(ok_, &QPushButton::clicked, this, &BackupDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &BackupDialog::reject);

    auto* file = new QHBoxLayout;
    file->addWidget(fileName_, 1);
    file->addWidget(browse_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fileLabel);
    layout->addLayout(file);
    layout->addSpacing(6);
    layout->addWidget(ini_);
    layout->addWidget(iniNote);
    layout->addWidget(spamWords_);
    layout->addWidget(memory_);
    layout->addWidget(recycleBin_);
    layout->addWidget(training_);
    layout->addSpacing(6);
    layout->addWidget(progress_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    translateWindow(this);
    setWindowTitle(text(mode_ == Mode::Export ? kStringExportTitle : kStringImportTitle));
}

QString BackupDialog::importQuestion(const BackupParts& parts) {
    QString question = text(kStringImportQuestion);
    const std::pair<bool, int> warnings[] = {{parts.ini, kStringWarnIni},
                                             {parts.spamWords, kStringWarnSpamWords},
                                             {parts.memory, kStringWarnMemory},
                                             {parts.recycleBin, kStringWarnRecycleBin},
                                             {parts.training, kStringWarnTraining}};
    for (const auto& [checked, id] : warnings)
        if (checked) question += "\n" + text(id);
    return question;
}

BackupParts BackupDialog::checkedParts() const {
    return BackupParts{ini_->isChecked(), spamWords_->isChecked(), memory_->isChecked(), recycleBin_->isChecked(),
                       training_->isChecked()};
}

void BackupDialog::browse() {
    QFileDialog chooser(this);
    chooser.setAcceptMode(mode_ == Mode::Export ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    chooser.setFileMode(mode_ == Mode::Export ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    chooser.setNameFilter(translatedText(kFileFilter));
    chooser.setDefaultSuffix(Backup::kFileExtension);
    if (!fileName_->text().isEmpty()) chooser.selectFile(fileName_->text());
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
    fileName_->setText(chooser.selectedFiles().first());
}

void BackupDialog::accept() {
    if (succeeded_) {
        QDialog::accept();
        return;
    }
    const BackupParts parts = checkedParts();
    settings::setBackupIni(parts.ini ? 1 : 0);
    settings::setBackupSpamWords(parts.spamWords ? 1 : 0);
    settings::setBackupMemory(parts.memory ? 1 : 0);
    settings::setBackupRecycleBin(parts.recycleBin ? 1 : 0);
    settings::setBackupTraining(parts.training ? 1 : 0);
    if (fileName_->text().trimmed().isEmpty()) {
        browse();
        if (fileName_->text().trimmed().isEmpty()) return;
    }
    setBusy(true);
    succeeded_ = run();
    setBusy(false);
    if (succeeded_) {
        progress_->setValue(100);
        ok_->setText(text(kStringClose));
    } else {
        Application::instance().showMessage(kStringFailed, mb::kOk | mb::kIconStop);
    }
}

bool BackupDialog::run() {
    Backup::Options options;
    options.programFolder = programFolder_;
    options.progress = [this](int percent) {
        progress_->setValue(percent);
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    options.beforeRecycleRead = hooks_.beforeRecycleRead;
    bool replacing = false;
    options.beforeReplace = [this, &replacing] {
        replacing = true;
        if (hooks_.beforeReplace) hooks_.beforeReplace();
    };
    const std::string path = fileName_->text().trimmed().toStdString();
    const BackupParts parts = checkedParts();
    BackupResult result;
    if (mode_ == Mode::Export) {
        result = Backup::exportTo(path, parts, options);
    } else {
        const int answer = Application::instance().showMessageText(importQuestion(parts).toStdString(),
                                                                   mb::kYesNo | mb::kIconQuestion);
        if (answer != answer::kYes) return false;
        result = Backup::importFrom(path, parts, options);
        if (!result.ok() && replacing && hooks_.replaceFailed) hooks_.replaceFailed();
        imported_ = result.ok();
    }
    if (!result.ok()) std::fprintf(stderr, "corvanthelix: backup failed: %s\n", result.reason.c_str());
    return result.ok();
}

void BackupDialog::setBusy(bool busy) {
    for (QWidget* widget : {static_cast<QWidget*>(fileName_), static_cast<QWidget*>(browse_),
                            static_cast<QWidget*>(ini_), static_cast<QWidget*>(spamWords_),
                            static_cast<QWidget*>(memory_), static_cast<QWidget*>(recycleBin_),
                            static_cast<QWidget*>(training_), static_cast<QWidget*>(ok_),
                            static_cast<QWidget*>(cancel_)})
        widget->setEnabled(!busy);
    if (busy) {
        progress_->setValue(0);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void BackupDialog::done(int result) {
    const bool restart = imported_;
    imported_ = false;
    QDialog::done(result);
    if (!restart) return;
    // The stores hold their indexes in memory: only a fresh start reads what was imported.
    Application::instance().showMessage(kStringRestart, mb::kOk | mb::kIconInformation);
    if (hooks_.restart) hooks_.restart();
}

} // namespace corvanthelix
