#include "ui/options/ImportConfirmDialog.h"

#include "base/ControlIds.h"
#include "base/TranslatedFormat.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/FilterPageControls.h"
#include "ui/widgets/ControlNames.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {
const char* const kQuestion =
    "The following address has been found:\n\n%s (%s)\n\nDo you want to import this address?\n\n"
    "Click \"Yes\" to import this address or \"No\" to skip.\nClick \"Yes for all\" to import all or "
    "\"Cancel\" to stop import.";
} // namespace

ImportConfirmDialog::ImportConfirmDialog(QWidget* owner, const ImportedSender& sender) : QDialog(owner) {
    setObjectName(controlObjectName(resource::kImportConfirmDialog));
    setWindowTitle("Import sender");
    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* text, int id, int answer) {
        auto* b = withControlId(new QPushButton(text), id);
        connect(b, &QPushButton::clicked, this, [this, answer] { done(answer); });
        buttons->addWidget(b);
        return b;
    };
    button("&Yes", control::kYes, static_cast<int>(ImportAnswer::Yes) + 1)->setDefault(true);
    button("Yes to &all", pageControl::kImportYesToAll, static_cast<int>(ImportAnswer::YesToAll) + 1);
    button("&No", control::kNo, static_cast<int>(ImportAnswer::No) + 1);
    button("Cancel", control::kCancel, static_cast<int>(ImportAnswer::Cancel) + 1);
    auto* layout = new QVBoxLayout(this);
    auto* question = withControlId(new QLabel, pageControl::kImportQuestion);
    layout->addWidget(question);
    layout->addLayout(buttons);
    translateWindow(this);
    // Filled after the translation: the format is translated, the name and address are not.
    const std::string english = kQuestion;
    question->setText(QString::fromStdString(TranslatedFormat::format(
        english, translatedText(kQuestion).toStdString(), sender.name.c_str(), sender.address.c_str())));
}

ImportAnswer ImportConfirmDialog::ask(QWidget* owner, const ImportedSender& sender) {
    ImportConfirmDialog dialog(owner, sender);
    int result = dialog.exec();
    // exec() gives 0 (Rejected) for Escape and the close box: both stop the import.
    return result <= 0 ? ImportAnswer::Cancel : static_cast<ImportAnswer>(result - 1);
}

} // namespace corvanthelix
