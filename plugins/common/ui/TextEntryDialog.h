#pragma once
// The small "Add ..." dialog of the plug-ins' settings pages: one or two text fields, OK enabled
// only while every field holds text once cleaned. Translated by the host when it is made.
#include "common/HostLink.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <vector>

class QLineEdit;
class QPushButton;

namespace corvanthelix::plugin {

class TextEntryDialog : public QDialog {
    Q_OBJECT
public:
    /// How a field's text is cleaned before it counts (for example blanks and dots trimmed).
    using Clean = std::function<QString(const QString&)>;

    /// A dialog titled `title` with one field per label in `labels` (English; the host translates
    /// them through `host`). `clean` applies to every field; without one blanks are trimmed.
    TextEntryDialog(QWidget* parent, const HostLink& host, const char* title, const std::vector<const char*>& labels,
                    Clean clean = {});
    /// The cleaned texts of the fields, in order.
    QStringList Values() const;
    /// Field `index` (named "field0", "field1").
    QLineEdit* Field(int index) const { return fields_.at(static_cast<size_t>(index)); }

private:
    void UpdateOk();

    std::vector<QLineEdit*> fields_;
    Clean clean_;
    QPushButton* ok_ = nullptr;
};

} // namespace corvanthelix::plugin
