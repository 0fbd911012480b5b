#include "ui/widgets/PasswordDialog.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/ParentalControl.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "ui/language/WindowTranslation.h"
#include "ui/widgets/ControlNames.h"
#include "ui/widgets/WindowEffects.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvanthelix {

PasswordDialog::PasswordDialog(std::string storedRecord, QWidget* owner)
    : QDialog(owner), storedRecord_(std::move(storedRecord)) {
    setObjectName(controlObjectName(resource::kPasswordDialog));
    setWindowTitle("Parental Control");
    auto* note = new QLabel("Please enter the parental control password:", this);
    password_ = withControlId(new QLineEdit(this), control::kParentalPassword);
    password_->setEchoMode(QLineEdit::Password);
    password_->setMaxLength(static_cast<int>(ParentalControl::kMaxPasswordLength));
    password_->setMinimumWidth(260);
    auto* ok = withControlId(new QPushButton("OK", this), control::kOk);
    ok->setDefault(true);
    auto* cancel = withControlId(new QPushButton("Cancel", this), control::kCancel);
    connect(ok, &QPushButton::clicked, this, &PasswordDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &PasswordDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(password_);
    layout->addLayout(buttons);
    translateWindow(this);
    password_->setFocus();
}

void PasswordDialog::accept() {
    if (ParentalControl::matches(password_->text().toStdString(), storedRecord_)) {
        QDialog::accept();
        return;
    }
    Application::instance().showMessage(ParentalControl::kStringWrongPassword, mb::kOk | mb::kIconExclamation);
    password_->selectAll();
    password_->setFocus();
}

bool PasswordDialog::checkParentalLock() {
    if (settings::parentalControlEnabled() == 0) return true;
    PasswordDialog dialog(settings::parentalControlHash2());
    if (fadingWanted()) fadeWindow(&dialog, true);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace corvanthelix
