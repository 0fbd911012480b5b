#pragma once
// SSL/TLS (page 4021): the local secure port and its box, trying TLS with mail servers on its
// own, and the known hosts dialog. A changed port or port box needs a restart.
#include "ui/options/OptionsPage.h"

class QCheckBox;
class QLineEdit;

namespace corvanthelix {

class SslTlsPage : public OptionsPage {
    Q_OBJECT
public:
    static constexpr int kPageId = 4021;

    explicit SslTlsPage(QWidget* parent);
    /// RestartNeeded when the port text or its box changed, else Stored.
    PageStoreResult store() override;

private:
    QLineEdit* port_;
    QCheckBox* portEnabled_;
    QCheckBox* trySsl_;
};

} // namespace corvanthelix
