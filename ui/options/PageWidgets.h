#pragma once
// Small builders the options pages share: controls named by their id that report every change
// to their page.
#include "ui/options/OptionsPage.h"
#include "ui/widgets/ControlNames.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QString>

#include <string>

namespace corvanthelix::pagewidgets {

/// A check box `id` labelled `text` (English, translated with the page), checked as `checked`.
inline QCheckBox* checkBox(OptionsPage* page, int id, const char* text, bool checked) {
    auto* box = withControlId(new QCheckBox(text, page), id);
    box->setChecked(checked);
    QObject::connect(box, &QCheckBox::toggled, page, &OptionsPage::changed);
    return box;
}

/// An edit field `id` holding `text`, taking at most `maxLength` characters.
inline QLineEdit* edit(OptionsPage* page, int id, const std::string& text, int maxLength) {
    auto* field = withControlId(new QLineEdit(page), id);
    field->setMaxLength(maxLength);
    field->setText(QString::fromStdString(text));
    QObject::connect(field, &QLineEdit::textEdited, page, &OptionsPage::changed);
    return field;
}

/// The field's text as UTF-8.
inline std::string text(const QLineEdit* field) { return field->text().toStdString(); }

} // namespace corvanthelix::pagewidgets

namespace corvanthelix::pagewidgets {

/// String 249: the question before a local port is switched off.
inline constexpr int kStringDisablePort = 249;

/// Wires the box that switches a local port on: unchecking asks string 249 (warning, Yes/No) and
/// checks the box again on No; the port field is enabled while the box is checked.
void watchPortBox(QCheckBox* box, QLineEdit* portField);

} // namespace corvanthelix::pagewidgets
