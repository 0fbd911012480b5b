#pragma once
// The parental lock's password dialog (dialog 152): one password field, OK and Cancel. OK with
// the right password closes it with "allowed"; a wrong one shows string 228 and the dialog stays.
#include <QDialog>

class QLineEdit;

namespace corvanthelix {

class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    /// A dialog checking against the record `storedRecord` (section PARENTALCONTROL, Hash2).
    explicit PasswordDialog(std::string storedRecord, QWidget* owner = nullptr);

    /// The lock in front of a command: true at once while "Enabled" is 0; otherwise asks with the
    /// dialog and returns whether the right password was given (Cancel: false).
    static bool checkParentalLock();

    /// OK: accepts on the right password, else shows string 228 and keeps the dialog open.
    void accept() override;

private:
    std::string storedRecord_;
    QLineEdit* password_;
};

} // namespace corvanthelix
