#pragma once
// Page 4016 "Training Area": how long messages stay in the training area, the learning filter's
// memory limit, the pre-marking of messages, and the compaction of the learning filter's memory.
#include "ui/options/OptionsPage.h"

class QCheckBox;
class QLineEdit;

namespace corvanthelix {

class TrainingAreaPage : public OptionsPage {
    Q_OBJECT
public:
    explicit TrainingAreaPage(QWidget* parent);
    /// Writes the numbers that are valid and the boxes. When the memory limit changed while the
    /// learning filter's tables are in use, they are loaded again with the new limit.
    PageStoreResult store() override;

private:
    void updateEnabled();

    QLineEdit* maxDays_ = nullptr;
    QLineEdit* maxMemory_ = nullptr;
    QCheckBox* premarkSpam_ = nullptr;
    QCheckBox* premarkNonSpam_ = nullptr;
    QCheckBox* premarkAuto_ = nullptr;
};

} // namespace corvanthelix
