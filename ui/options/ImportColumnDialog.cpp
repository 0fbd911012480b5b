#include "ui/options/ImportColumnDialog.h"

#include "base/ControlIds.h"
#include "filter/CsvSenderFile.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/FilterPageControls.h"
#include "ui/widgets/ControlNames.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvanthelix {

ImportColumnDialog::ImportColumnDialog(QWidget* owner, const std::vector<std::string>& fields) : QDialog(owner) {
    setObjectName(controlObjectName(resource::kImportColumnDialog));
    setWindowTitle("Import sender");
    auto* text = new QLabel("The first record in the file contains the following items.\n\nPlease select which item is the "
                            "display name and which one is the mail address of the contact:");
    text->setWordWrap(true);
    mail_ = withControlId(new QComboBox, pageControl::kImportMailColumn);
    name_ = withControlId(new QComboBox, pageControl::kImportNameColumn);
    auto* form = new QFormLayout;
    form->addRow(new QLabel("Mail address:"), mail_);
    form->addRow(new QLabel("Sender name:"), name_);
    auto* buttons = new QDialogButtonBox;
    withControlId(buttons->addButton("OK", QDialogButtonBox::AcceptRole), control::kOk)->setDefault(true);
    withControlId(buttons->addButton("Cancel", QDialogButtonBox::RejectRole), control::kCancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(420);
    translateWindow(this);
    // The fields are the file's data: filled after the translation.
    for (const std::string& field : fields) {
        mail_->addItem(QString::fromStdString(field));
        name_->addItem(QString::fromStdString(field));
    }
    mail_->setCurrentIndex(CsvSenderFile::proposedMailColumn(fields));
    name_->setCurrentIndex(CsvSenderFile::proposedNameColumn(fields));
}

int ImportColumnDialog::mailColumn() const { return mail_->currentIndex(); }
int ImportColumnDialog::nameColumn() const { return name_->currentIndex(); }

} // namespace corvanthelix
