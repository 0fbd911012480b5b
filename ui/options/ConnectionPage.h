#pragma once
// Connection (page 4003): the local plain port and its box, the server time-out, the protocol
// log files with their size limits in KB, and aborting on a time-out without asking. A changed
// port or port box needs a restart.
#include "ui/options/OptionsPage.h"

class QCheckBox;
class QLineEdit;

namespace corvanthelix {

class ConnectionPage : public OptionsPage {
    Q_OBJECT
public:
    static constexpr int kPageId = 4003;

    explicit ConnectionPage(QWidget* parent);
    /// RestartNeeded when the port text or its box changed, else Stored.
    PageStoreResult store() override;

private:
    QLineEdit* port_;
    QCheckBox* portEnabled_;
    QLineEdit* timeout_;
    QLineEdit* clientLog_;
    QLineEdit* clientLogSize_;
    QLineEdit* serverLog_;
    QLineEdit* serverLogSize_;
    QCheckBox* autoAbort_;
};

} // namespace corvanthelix
