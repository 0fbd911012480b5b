#pragma once
// Page 4009 "Aggressiveness": five levels from very low (bottom) to very high (top), each with
// its text, and the probability threshold of the middle three.
#include "filter/AggressivenessLevels.h"
#include "ui/options/OptionsPage.h"

class QButtonGroup;
class QLabel;
class QLineEdit;

namespace corvanthelix {

class AggressivenessPage : public OptionsPage {
    Q_OBJECT
public:
    explicit AggressivenessPage(QWidget* parent);
    /// Writes `Aggressiveness` and the thresholds that belong in the user's spam-word file.
    PageStoreResult store() override;

    /// Selects level `level` (0, 25, 50, 75 or 100) as a click on its picture does.
    void selectLevel(int level);
    int selectedLevel() const { return level_; }

private:
    void showLevel();

    AggressivenessLevels levels_;
    int level_ = 50;
    QButtonGroup* buttons_ = nullptr;
    QLabel* text_ = nullptr;
    QLineEdit* threshold_ = nullptr;
};

} // namespace corvanthelix
