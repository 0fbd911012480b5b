#include "ui/options/KnownHostsDialog.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/Shell.h"
#include "base/TranslatedFormat.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/EditHostDialog.h"
#include "ui/options/KnownHostsModel.h"
#include "ui/widgets/ControlNames.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace corvanthelix {

KnownHostsDialog::KnownHostsDialog(const std::string& hostListPath, QWidget* owner)
    : QDialog(owner), rows_(hostListPath) {
    setObjectName(controlObjectName(resource::kKnownHostsDialog));
    setWindowTitle("Known hosts");
    rows_.reload();
    model_ = new KnownHostsModel(rows_, this);
    view_ = withControlId(new QTableView(this), control::kHostList);
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->setColumnWidth(KnownHostsModel::Secure, 50);
    view_->setColumnWidth(KnownHostsModel::Host, 170);
    view_->setColumnWidth(KnownHostsModel::User, 120);
    view_->setColumnWidth(KnownHostsModel::Port, 55);
    view_->setWordWrap(false);
    view_->setTextElideMode(Qt::ElideMiddle);
    view_->setMinimumSize(640, 240);

    delete_ = withControlId(new QPushButton("Delete", this), control::kHostDelete);
    edit_ = withControlId(new QPushButton("Edit...", this), control::kHostEdit);
    forget_ = withControlId(new QPushButton("Forget certificate", this), control::kHostForgetPin);
    auto* ok = withControlId(new QPushButton("OK", this), control::kOk);
    ok->setDefault(true);
    auto* cancel = withControlId(new QPushButton("Cancel", this), control::kCancel);
    connect(delete_, &QPushButton::clicked, this, &KnownHostsDialog::deleteSelected);
    connect(edit_, &QPushButton::clicked, this, &KnownHostsDialog::editSelected);
    connect(forget_, &QPushButton::clicked, this, &KnownHostsDialog::forgetSelectedPins);
    connect(ok, &QPushButton::clicked, this, &KnownHostsDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &KnownHostsDialog::reject);
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &KnownHostsDialog::updateButtons);
    connect(view_, &QTableView::doubleClicked, this, &KnownHostsDialog::editSelected);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(delete_);
    buttons->addWidget(edit_);
    buttons->addWidget(forget_);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    layout->addLayout(buttons);
    translateWindow(this);
    updateButtons();
}

int KnownHostsDialog::selectedRow() const {
    const QModelIndexList selected = view_->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.front().row();
}

void KnownHostsDialog::updateButtons() {
    const int row = selectedRow();
    delete_->setEnabled(row >= 0);
    edit_->setEnabled(row >= 0);
    forget_->setEnabled(row >= 0 && !rows_.rows()[static_cast<size_t>(row)].pins.empty());
}

void KnownHostsDialog::deleteSelected() {
    const int row = selectedRow();
    if (row < 0) return;
    const std::string& host = rows_.rows()[static_cast<size_t>(row)].account.server;
    const std::string question = TranslatedFormat::byId(kStringDeleteQuestion, host.c_str());
    if (Application::instance().showMessageText(question, mb::kYesNo | mb::kIconQuestion) != answer::kYes) return;
    rows_.remove(static_cast<size_t>(row));
    model_->refresh();
    updateButtons();
}

void KnownHostsDialog::editSelected() {
    const int row = selectedRow();
    if (row < 0) return;
    EditHostDialog dialog(rows_.rows()[static_cast<size_t>(row)].account, this);
    if (dialog.exec() != QDialog::Accepted) return;
    rows_.edit(static_cast<size_t>(row), dialog.account());
    model_->refresh();
    updateButtons();
}

void KnownHostsDialog::forgetSelectedPins() {
    const int row = selectedRow();
    if (row < 0) return;
    rows_.forgetPins(static_cast<size_t>(row));
    model_->refresh();
    updateButtons();
}

void KnownHostsDialog::accept() {
    rows_.storeSecureFlags();
    QDialog::accept();
}

} // namespace corvanthelix
