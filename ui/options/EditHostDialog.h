#pragma once
// Edit host (dialog 4019): the host, user name and port of one account and whether it connects
// over SSL/TLS.
#include "proxy/HostList.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace corvanthelix {

class EditHostDialog : public QDialog {
    Q_OBJECT
public:
    /// A dialog showing `account`.
    explicit EditHostDialog(const HostEntry& account, QWidget* owner = nullptr);

    /// The account as the fields give it now (the port from the field's leading number, 110 when
    /// it has none in 1..65535).
    HostEntry account() const;

    /// OK: refuses an empty host with string 112.
    void accept() override;

private:
    HostEntry original_;
    QLineEdit* host_;
    QLineEdit* user_;
    QLineEdit* port_;
    QCheckBox* secure_;
};

} // namespace corvanthelix
