#include "ui/options/EditHostDialog.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/Shell.h"
#include "ui/language/WindowTranslation.h"
#include "ui/widgets/ControlNames.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdlib>

namespace corvanthelix {

namespace {
constexpr int kStringEnterValue = 112;
constexpr int kDefaultPort = 110;
} // namespace

EditHostDialog::EditHostDialog(const HostEntry& account, QWidget* owner) : QDialog(owner), original_(account) {
    setObjectName(controlObjectName(resource::kEditHostDialog));
    setWindowTitle("Edit host");
    host_ = withControlId(new QLineEdit(QString::fromStdString(account.server), this), control::kHostServer);
    host_->setMinimumWidth(260);
    user_ = withControlId(new QLineEdit(QString::fromStdString(account.user), this), control::kHostUser);
    port_ = withControlId(new QLineEdit(QString::number(account.port), this), control::kHostPort);
    port_->setMaxLength(5);
    secure_ = withControlId(new QCheckBox("Secure connection over SSL/TLS", this), control::kHostSecure);
    secure_->setChecked(account.secure);
    auto* ok = withControlId(new QPushButton("OK", this), control::kOk);
    ok->setDefault(true);
    auto* cancel = withControlId(new QPushButton("Cancel", this), control::kCancel);
    connect(ok, &QPushButton::clicked, this, &EditHostDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &EditHostDialog::reject);

    auto* fields = new QFormLayout;
    fields->addRow(new QLabel("Host:", this), host_);
    fields->addRow(new QLabel("Username:", this), user_);
    fields->addRow(new QLabel("Port:", this), port_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(secure_);
    layout->addLayout(buttons);
    translateWindow(this);
}

HostEntry EditHostDialog::account() const {
    HostEntry account = original_;
    account.server = host_->text().trimmed().toStdString();
    account.user = user_->text().toStdString();
    const int port = std::atoi(port_->text().toStdString().c_str());
    account.port = port >= 1 && port <= 65535 ? port : kDefaultPort;
    account.secure = secure_->isChecked();
    return account;
}

void EditHostDialog::accept() {
    if (host_->text().trimmed().isEmpty()) {
        Application::instance().showMessage(kStringEnterValue, mb::kOk | mb::kIconExclamation);
        host_->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace corvanthelix
