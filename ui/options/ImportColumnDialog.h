#pragma once
// Dialog 141 "Import sender": which field of a comma-separated file holds the mail address and
// which the display name, chosen from the fields of the file's first record.
#include <QDialog>

#include <string>
#include <vector>

class QComboBox;

namespace corvanthelix {

class ImportColumnDialog : public QDialog {
    Q_OBJECT
public:
    /// Both combos list `fields`; the address combo proposes the last field with "@", the name
    /// combo the first field.
    ImportColumnDialog(QWidget* owner, const std::vector<std::string>& fields);
    int mailColumn() const;
    int nameColumn() const;

private:
    QComboBox* mail_ = nullptr;
    QComboBox* name_ = nullptr;
};

} // namespace corvanthelix
