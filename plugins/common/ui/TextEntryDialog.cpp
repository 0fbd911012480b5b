#include "common/ui/TextEntryDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvanthelix::plugin {

TextEntryDialog::TextEntryDialog(QWidget* parent, const HostLink& host, const char* title,
                                 const std::vector<const char*>& labels, Clean clean)
    : QDialog(parent), clean_(clean ? std::move(clean) : Clean([](const QString& s) { return s.trimmed(); })) {
    setWindowTitle(title);
    auto* form = new QFormLayout;
    for (const char* label : labels) {
        auto* field = new QLineEdit;
        field->setObjectName(QString("field%1").arg(fields_.size()));
        field->setMaxLength(254);
        connect(field, &QLineEdit::textChanged, this, &TextEntryDialog::UpdateOk);
        form->addRow(new QLabel(label), field);
        fields_.push_back(field);
    }
    auto* buttons = new QDialogButtonBox;
    ok_ = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    ok_->setObjectName("ok");
    ok_->setDefault(true);
    buttons->addButton("Cancel", QDialogButtonBox::RejectRole)->setObjectName("cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(320);
    host.TranslateWindow(this);
    UpdateOk();
}

QStringList TextEntryDialog::Values() const {
    QStringList values;
    for (const QLineEdit* field : fields_) values << clean_(field->text());
    return values;
}

void TextEntryDialog::UpdateOk() {
    bool filled = true;
    for (const QString& value : Values()) filled = filled && !value.isEmpty();
    ok_->setEnabled(filled);
}

} // namespace corvanthelix::plugin
