#pragma once
// Dialog 156: compacts the learning filter's memory by removing rare words from the spam and
// the non-spam word lists. Asks first (string 241) and reports the words and kilobytes freed
// (string 242).
#include <QDialog>

class QCheckBox;
class QSpinBox;

namespace corvanthelix {

class CompactDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kStringQuestion = 241;
    static constexpr int kStringDone = 242;

    explicit CompactDialog(QWidget* owner);

public slots:
    /// OK: asks, compacts the selected lists through the filter manager, reports and closes.
    void accept() override;

private:
    QCheckBox* bad_ = nullptr;
    QCheckBox* good_ = nullptr;
    QSpinBox* badThreshold_ = nullptr;
    QSpinBox* goodThreshold_ = nullptr;
};

} // namespace corvanthelix
