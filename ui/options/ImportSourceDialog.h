#pragma once
// Dialog 142 "Import sender": where the addresses come from. For friends an address book export
// (vCard file) or a comma-separated text file; for blocked senders a blocked-senders list (one
// domain or address per line) or a comma-separated text file.
#include <QDialog>

class QRadioButton;

namespace corvanthelix {

/// The source of an import.
enum class ImportSource {
    List,     ///< a vCard file (friends) or a plain blocked-senders list (blocked senders)
    TextFile, ///< a comma-separated text file
};

class ImportSourceDialog : public QDialog {
    Q_OBJECT
public:
    /// The dialog for list `list` (SenderEntry::kBlocked or kFriend), the first source chosen.
    ImportSourceDialog(QWidget* owner, int list);
    /// The source checked.
    ImportSource source() const;

private:
    QRadioButton* list_ = nullptr;
};

} // namespace corvanthelix
