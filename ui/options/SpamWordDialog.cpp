#include "ui/options/SpamWordDialog.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/Shell.h"
#include "base/StringTable.h"
#include "base/TranslatedFormat.h"
#include "ui/language/WindowTranslation.h"
#include "ui/widgets/ControlNames.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {
void warn(const std::string& text) { Application::instance().showMessageText(text, mb::kOk | mb::kIconExclamation); }
} // namespace

SpamWordDialog::SpamWordDialog(QWidget* owner, const SpamWordList& list, const SpamWordRow& row, bool editing)
    : QDialog(owner), list_(list), editing_(editing) {
    setObjectName(controlObjectName(kDialogId));
    setWindowTitle("Add new expression");
    word_ = withControlId(new QLineEdit(QString::fromStdString(row.word)), kWordField);
    word_->setMaxLength(static_cast<int>(SpamWordList::kMaxWordLength));
    word_->setReadOnly(editing);
    percent_ = withControlId(new QLineEdit(editing ? QString::number(row.percent) : QString()), kPercentField);
    percent_->setMaxLength(3);
    percent_->setMaximumWidth(60);
    auto* form = new QFormLayout;
    form->addRow(new QLabel("Expression:"), word_);
    form->addRow(new QLabel("Probability (%):"), percent_);
    auto* buttons = new QDialogButtonBox;
    withControlId(buttons->addButton("OK", QDialogButtonBox::AcceptRole), control::kOk)->setDefault(true);
    withControlId(buttons->addButton("Cancel", QDialogButtonBox::RejectRole), control::kCancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &SpamWordDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(360);
    translateWindow(this);
    if (editing) setWindowTitle(QString::fromStdString(loadString(SpamWordList::kStringEditTitle)));
    (editing ? percent_ : word_)->setFocus();
}

SpamWordRow SpamWordDialog::row() const {
    SpamWordRow row;
    row.word = word_->text().trimmed().toStdString();
    row.percent = percent_->text().trimmed().toInt();
    return row;
}

void SpamWordDialog::accept() {
    const std::string word = word_->text().trimmed().toStdString();
    switch (list_.check(word, percent_->text().trimmed().toStdString(), !editing_)) {
    case SpamWordCheck::MissingWord:
        warn(loadString(SpamWordList::kStringEnterValue));
        word_->setFocus();
        return;
    case SpamWordCheck::PercentInvalid:
        warn(TranslatedFormat::byId(SpamWordList::kStringPercentRange, SpamWordList::kMinPercent, SpamWordList::kMaxPercent));
        percent_->setFocus();
        return;
    case SpamWordCheck::AlreadyListed:
        warn(loadString(SpamWordList::kStringAlreadyListed));
        word_->setFocus();
        return;
    case SpamWordCheck::Valid: break;
    }
    if (!list_.write(word, row().percent)) {
        warn(loadString(SpamWordList::kStringEnterValue));
        return;
    }
    QDialog::accept();
}

} // namespace corvanthelix
