#include "ui/widgets/SenderDialog.h"

#include "base/Application.h"
#include "base/Shell.h"
#include "base/ControlIds.h"
#include "base/TranslatedFormat.h"
#include "base/StringTable.h"
#include "filter/SenderAdding.h"
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
constexpr int kMinimumWidth = 360;

void warn(const std::string& text) { Application::instance().showMessageText(text, mb::kOk | mb::kIconExclamation); }

void warnAlreadyListed(const SenderEntry& entry) {
    warn(TranslatedFormat::byId(SenderAdding::kStringAlreadyListed, entry.name.c_str(), entry.address.c_str()));
}
} // namespace

SenderDialog::SenderDialog(QWidget* owner, const SenderEntry& sender, bool editing)
    : QDialog(owner), list_(sender.list) {
    setObjectName(controlObjectName(resource::kSenderDialog));
    setWindowTitle("Add new sender");
    auto* form = new QFormLayout;
    name_ = withControlId(new QLineEdit(QString::fromStdString(sender.name)), control::kSenderName);
    address_ = withControlId(new QLineEdit(QString::fromStdString(sender.address)), control::kSenderAddress);
    name_->setMaxLength(static_cast<int>(SenderAdding::kMaxFieldLength));
    address_->setMaxLength(static_cast<int>(SenderAdding::kMaxFieldLength));
    form->addRow(new QLabel("Sender name:"), name_);
    form->addRow(new QLabel("Mail address:"), address_);
    auto* buttons = new QDialogButtonBox;
    auto* ok = withControlId(buttons->addButton("OK", QDialogButtonBox::AcceptRole), control::kOk);
    withControlId(buttons->addButton("Cancel", QDialogButtonBox::RejectRole), control::kCancel);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &SenderDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SenderDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(kMinimumWidth);
    translateWindow(this);
    if (editing) setWindowTitle(QString::fromStdString(loadString(SenderAdding::kStringEditSender)));
}

SenderEntry SenderDialog::entry() const {
    SenderEntry entry;
    entry.name = name_->text().trimmed().toStdString();
    entry.address = SenderAdding::normalizedAddress(address_->text().trimmed().toStdString());
    entry.list = list_;
    return entry;
}

void SenderDialog::accept() {
    const SenderEntry entered = entry();
    if (SenderAdding::checkFields(entered.name, entered.address) != SenderFieldCheck::Valid) {
        warn(loadString(SenderAdding::kStringEnterValue));
        (entered.name.empty() ? name_ : address_)->setFocus();
        return;
    }
    QDialog::accept();
}

bool SenderDialog::addOne(QWidget* owner, const SenderEntry& proposal, const SenderLists& lists) {
    SenderDialog dialog(owner, proposal, false);
    if (dialog.exec() != QDialog::Accepted) return false;
    const SenderEntry entry = dialog.entry();
    switch (SenderAdding::add(lists, entry)) {
    case SenderAddOutcome::Added: return true;
    case SenderAddOutcome::AlreadyListed: warnAlreadyListed(entry); return false;
    case SenderAddOutcome::Refused: warn(loadString(SenderAdding::kStringNotAdded)); return false;
    }
    return false;
}

SenderEntry SenderDialog::edit(QWidget* owner, const SenderEntry& existing, const SenderLists& lists) {
    lists.remove(existing.address);
    SenderDialog dialog(owner, existing, true);
    const SenderEntry wanted = dialog.exec() == QDialog::Accepted ? dialog.entry() : existing;
    if (lists.add(wanted)) return wanted;
    warn(loadString(SenderAdding::kStringNotAdded));
    // The old entry is not lost because the new one was refused.
    if (wanted.address != existing.address || wanted.name != existing.name) lists.add(existing);
    return existing;
}

} // namespace corvanthelix
