#pragma once
// Status Window (page 4020): whether the status window shows during mail checks, moves easily and
// keeps its position, and its opacity on a slider whose value a label shows as it moves.
#include "ui/options/OptionsPage.h"

#include <QTimer>

class QCheckBox;
class QLabel;
class QSlider;

namespace corvanthelix {

class StatusWindowPage : public OptionsPage {
    Q_OBJECT
public:
    static constexpr int kPageId = 4020;
    static constexpr int kStringOpacity = 248;
    static constexpr int kWatchMilliseconds = 50;

    explicit StatusWindowPage(QWidget* parent);
    PageStoreResult store() override;

private:
    void watchSlider();

    QCheckBox* showBubble_;
    QCheckBox* easyMove_;
    QCheckBox* savePosition_;
    QSlider* opacity_;
    QLabel* opacityText_;
    QTimer watch_;
    int shownOpacity_ = -1;
};

} // namespace corvanthelix
