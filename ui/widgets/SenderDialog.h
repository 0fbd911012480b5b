#pragma once
// Dialog 110: one sender's name and mail address, for adding a new sender to a list or editing
// one. Used by the recycle bin window and, later, the options dialog's sender pages.
#include "filter/SenderLists.h"

#include <QDialog>

class QLineEdit;

namespace corvanthelix {

class SenderDialog : public QDialog {
    Q_OBJECT
public:
    /// The dialog prefilled from `sender`; titled "Edit sender" when `editing`. Not shown yet.
    SenderDialog(QWidget* owner, const SenderEntry& sender, bool editing);

    /// The entry as entered: name, address (a leading "@" gets a "*" in front), the list of the
    /// entry the dialog was made with.
    SenderEntry entry() const;

    /// Shows the dialog for `proposal`; on OK adds the entry to `lists` unless its address is
    /// listed already (warning 239) or the lists refuse it (warning 197). True when it was added.
    static bool addOne(QWidget* owner, const SenderEntry& proposal, const SenderLists& lists);
    /// Edits `existing` in `lists`: removes it, shows the dialog and stores the entry again,
    /// changed after OK, unchanged after Cancel (warning 197 when refused). Returns the entry now
    /// stored (the old one when nothing could be stored).
    static SenderEntry edit(QWidget* owner, const SenderEntry& existing, const SenderLists& lists);

public slots:
    /// OK: keeps the dialog open with "Enter a value!" while a field is empty.
    void accept() override;

private:
    QLineEdit* name_ = nullptr;
    QLineEdit* address_ = nullptr;
    int list_ = SenderEntry::kNotFound;
};

} // namespace corvanthelix
