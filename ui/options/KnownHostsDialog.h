#pragma once
// The known hosts dialog (dialog 151, modal): the accounts of the host list with their TLS flag,
// host, user name, port and pinned certificates. Delete asks string 110 and removes the account;
// Edit opens the Edit host dialog; "Forget certificate" removes the account's pins; OK writes
// the check boxes as the accounts' TLS flags.
#include "proxy/KnownHostRows.h"

#include <QDialog>

class QPushButton;
class QTableView;

namespace corvanthelix {

class KnownHostsModel;

class KnownHostsDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kStringDeleteQuestion = 110;

    /// A dialog over the host list file at `hostListPath`.
    KnownHostsDialog(const std::string& hostListPath, QWidget* owner = nullptr);

    KnownHostRows& rows() { return rows_; }
    QTableView* view() const { return view_; }

    /// Deletes the selected account after string 110 says Yes.
    void deleteSelected();
    /// Edits the selected account with the Edit host dialog.
    void editSelected();
    /// Removes the pins of the selected account.
    void forgetSelectedPins();
    /// OK: writes the TLS flags, then closes.
    void accept() override;

private:
    int selectedRow() const;
    void updateButtons();

    KnownHostRows rows_;
    KnownHostsModel* model_;
    QTableView* view_;
    QPushButton* delete_;
    QPushButton* edit_;
    QPushButton* forget_;
};

} // namespace corvanthelix
