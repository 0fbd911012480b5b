#pragma once
// Dialog 136 "Import sender": one address found by an import, with Yes, "Yes to all", No and
// Cancel.
#include "filter/SenderImport.h"

#include <QDialog>

namespace corvanthelix {

class ImportConfirmDialog : public QDialog {
    Q_OBJECT
public:
    /// The question for `sender` (name and address), not shown yet.
    ImportConfirmDialog(QWidget* owner, const ImportedSender& sender);
    /// Shows the question for `sender` and returns the answer; closing the dialog is Cancel.
    static ImportAnswer ask(QWidget* owner, const ImportedSender& sender);
};

} // namespace corvanthelix
