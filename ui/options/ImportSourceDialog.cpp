#include "ui/options/ImportSourceDialog.h"

#include "base/ControlIds.h"
#include "filter/SenderLists.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/FilterPageControls.h"
#include "ui/widgets/ControlNames.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace corvanthelix {

ImportSourceDialog::ImportSourceDialog(QWidget* owner, int list) : QDialog(owner) {
    setObjectName(controlObjectName(resource::kImportSourceDialog));
    setWindowTitle("Import sender");
    list_ = withControlId(new QRadioButton(list == SenderEntry::kBlocked ? "Blocked senders list (one domain or address per line)"
                                                                        : "Address book (vCard file)"),
                          pageControl::kImportSourceBook);
    auto* text = withControlId(new QRadioButton("Text file (comma separated)"), pageControl::kImportSourceText);
    list_->setChecked(true);
    auto* buttons = new QDialogButtonBox;
    withControlId(buttons->addButton("OK", QDialogButtonBox::AcceptRole), control::kOk)->setDefault(true);
    withControlId(buttons->addButton("Cancel", QDialogButtonBox::RejectRole), control::kCancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(text);
    layout->addWidget(buttons);
    translateWindow(this);
}

ImportSource ImportSourceDialog::source() const { return list_->isChecked() ? ImportSource::List : ImportSource::TextFile; }

} // namespace corvanthelix
