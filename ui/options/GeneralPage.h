#pragma once
// General Settings (page 4008): autostart at login, fading windows, the automatic update check
// and its interval, the age of recycle bin entries, keeping spam on the server, and the buttons
// for a manual update check and for export and import of a backup.
#include "ui/options/OptionsPage.h"

class QCheckBox;
class QLineEdit;

namespace corvanthelix {

class GeneralPage : public OptionsPage {
    Q_OBJECT
public:
    static constexpr int kPageId = 4008;

    /// Loads the controls from the settings file and the autostart entry.
    explicit GeneralPage(QWidget* parent);

    /// Writes the settings; makes the autostart entry when the box is checked and there is none,
    /// removes it when unchecked. Always Stored.
    PageStoreResult store() override;

private:
    QCheckBox* autostart_;
    QCheckBox* alphaBlending_;
    QCheckBox* autoUpdate_;
    QLineEdit* updateDays_;
    QLineEdit* recycleDays_;
    QCheckBox* keepSpam_;
};

} // namespace corvanthelix
