#include "ui/widgets/MultipleSendersDialog.h"

#include "base/Application.h"
#include "base/Shell.h"
#include "base/ControlIds.h"
#include "base/Settings.h"
#include "base/TranslatedFormat.h"
#include "base/StringTable.h"
#include "filter/SenderAdding.h"
#include "ui/language/WindowTranslation.h"
#include "ui/widgets/ControlNames.h"
#include "ui/widgets/SenderDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvanthelix {

MultipleSendersDialog::MultipleSendersDialog(QWidget* owner, int count, int list) : QDialog(owner) {
    setObjectName(controlObjectName(resource::kMultipleSendersDialog));
    setWindowTitle("Add multiple senders");
    auto* question = withControlId(new QLabel, control::kMultipleQuestion);
    noWarnings_ = withControlId(new QCheckBox("Do not warn me, if a certain address is already in the list"),
                                control::kMultipleNoWarnings);
    auto* buttons = new QDialogButtonBox;
    auto* yes = withControlId(buttons->addButton("&Yes", QDialogButtonBox::YesRole), control::kYes);
    auto* no = withControlId(buttons->addButton("&No", QDialogButtonBox::NoRole), control::kNo);
    yes->setDefault(true);
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(question);
    layout->addWidget(noWarnings_);
    layout->addWidget(buttons);
    translateWindow(this);
    // Filled after the translation: the question is a string-table text, translated already.
    question->setText(QString::fromStdString(TranslatedFormat::byId(SenderAdding::manySendersQuestion(list), count)));
    noWarnings_->setChecked(settings::insertMultipleSendersShowErrors() == 0);
}

bool MultipleSendersDialog::noWarnings() const { return noWarnings_->isChecked(); }

int MultipleSendersDialog::addSenders(QWidget* owner, const std::vector<SenderEntry>& senders, int list,
                                      const SenderLists& lists) {
    int added = 0;
    if (senders.size() < SenderAdding::kMultipleThreshold) {
        for (SenderEntry sender : senders) {
            sender.list = list;
            if (SenderDialog::addOne(owner, sender, lists)) ++added;
        }
        return added;
    }
    MultipleSendersDialog dialog(owner, static_cast<int>(senders.size()), list);
    if (dialog.exec() != QDialog::Accepted) return 0;
    const bool showErrors = !dialog.noWarnings();
    settings::setInsertMultipleSendersShowErrors(showErrors ? 1 : 0);
    Application& app = Application::instance();
    for (SenderEntry sender : senders) {
        sender.list = list;
        switch (SenderAdding::add(lists, sender)) {
        case SenderAddOutcome::Added: ++added; break;
        case SenderAddOutcome::AlreadyListed:
            if (showErrors)
                app.showMessageText(TranslatedFormat::byId(SenderAdding::kStringAlreadyListed, sender.name.c_str(),
                                                 sender.address.c_str()),
                                    mb::kOk | mb::kIconExclamation);
            break;
        case SenderAddOutcome::Refused:
            if (showErrors) app.showMessage(SenderAdding::kStringNotAdded, mb::kOk | mb::kIconExclamation);
            break;
        }
    }
    app.showMessageText(TranslatedFormat::byId(SenderAdding::kStringAddedCount, added), mb::kOk | mb::kIconInformation);
    return added;
}

} // namespace corvanthelix
