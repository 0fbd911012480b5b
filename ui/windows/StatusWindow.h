#pragma once
// The status window (dialog 119): a small borderless window in the bottom-right corner that shows
// the progress of a mail check from the core's status state. It only shows that state; every
// change arrives through refresh() on the GUI thread.
#include "base/Shell.h"

#include <QBasicTimer>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvanthelix {

class StatusState;

class StatusWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBaseWidth = 250;
    static constexpr int kBaseHeight = 200;
    static constexpr int kBaseDpi = 96;
    static constexpr int kLockSize = 50;
    static constexpr int kBlinkMilliseconds = 500;

    /// The window's size for a screen of `dpiX` horizontal dots per inch: 250 × 200 scaled by
    /// dpiX / 96 in both directions (120 gives 312 × 250).
    static QSize scaledSize(int dpiX);

    /// Builds the window for `state` (not owned; must outlive the window) with the bitmaps of
    /// `programFolder`. `dpiX` 0 takes the screen's; tests pass their own. Not shown yet.
    StatusWindow(StatusState& state, const std::string& programFolder, QWidget* owner = nullptr, int dpiX = 0);
    /// Stops the blinking. Call savePlacement() before, when the placement is to be kept.
    ~StatusWindow() override;

    /// Places the window (bottom-right of the work area, or where it was saved when
    /// "BubbleSavePosition" is set), applies "BubbleOpacity", shows it without taking the focus
    /// (fading in with "AlphaBlending") and displays every stored value.
    void showStatus();
    /// Hides the window (fading with "AlphaBlending"); showStatus() shows it again.
    void hideStatus();
    /// Displays the current value of `field` from the state.
    void refresh(StatusField field);
    /// Displays every value.
    void refreshAll();
    /// Stores the placement under "BubbleWindow" (the window's frame in screen coordinates).
    void savePlacement() const;

    /// True while the lock picture is drawn (the blink phase).
    bool lockPhase() const { return lockPhase_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void buildControls(double scale);
    void widenControls();
    void cancel();
    void setLockBlinking(bool on);

    StatusState& state_;
    QSize size_;
    QImage background_;
    QImage lock_;
    QLabel* statusText_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* progressText_ = nullptr;
    QLabel* spamCount_ = nullptr;
    QLabel* detailText_ = nullptr;
    QPushButton* hide_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QBasicTimer blink_;
    bool lockPhase_ = false;
    bool dragging_ = false;
    QPoint dragOffset_;
};

} // namespace corvanthelix
