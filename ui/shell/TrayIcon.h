#pragma once
// The notification-area icon: which picture it shows (the wait picture during start-up, the
// animation during a mail check, otherwise the number icon for the spam count), its tooltip with
// the progress piece, and the welcome balloon.
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QString>

#include <memory>
#include <string>

class QMenu;
class QSystemTrayIcon;

namespace corvanthelix {

class TrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr int kIconSize = 16;
    /// Columns 0..6 of the number icon come from the left picture, 7..15 from the right one.
    static constexpr int kLeftColumns = 7;
    static constexpr int kAnimationMilliseconds = 100;

    /// Pictures come from `programFolder` (icons/...). Nothing is shown until show().
    explicit TrayIcon(std::string programFolder, QObject* parent = nullptr);
    ~TrayIcon() override;

    /// The 16 × 16 picture of the number icon for `count` ("Enable" picks the state icon): the
    /// state icon for 0 or less, else columns 0..6 of the tens picture and 7..15 of the units
    /// picture (or of the state icon for 1..9), colour and transparency alike; 99 for 100 and
    /// more. A missing file leaves its columns empty.
    QImage numberImage(int count) const;
    /// `left`'s columns 0..6 beside `right`'s columns 7..15, both scaled to 16 × 16 first.
    static QImage compose(const QImage& left, const QImage& right);

    /// Puts the icon into the notification area (again).
    void show();
    /// Takes it out.
    void hide();
    /// True while start-up runs: the wait picture wins over everything else.
    void setStartingUp(bool on);
    /// Starts (frame 0, then every 100 ms the next of four frames) or stops the animation.
    void setAnimating(bool on);
    bool animating() const { return animating_; }
    /// The count the number icon shows when neither start-up nor the animation runs.
    void setCount(int count);
    int count() const { return count_; }
    /// Re-reads "Enable" and redraws (after the filter was toggled).
    void refresh();

    /// The tooltip (cut to 63 characters).
    void setTooltip(const std::string& text);
    /// Sets (or with a negative value removes) the " | " progress piece of the tooltip.
    void setProgress(int percentTenths);
    std::string tooltip() const { return tooltip_; }

    /// Shows a balloon on the icon with the information picture for 10 s; nothing when either
    /// text is empty. The title is cut to 63, the text to 255 characters.
    void showBalloon(const QString& title, const QString& text);

    /// The picture shown now (for tests and screenshots).
    QImage currentImage() const { return current_; }
    /// Which file names the current picture came from ("icons/numbers/40.ico+icons/numbers/2.ico").
    QString currentSource() const { return currentSource_; }

    void setContextMenu(QMenu* menu);
    QSystemTrayIcon* systemTrayIcon() const { return tray_.get(); }

signals:
    void leftClicked();
    void doubleClicked();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QImage loadPicture(const std::string& relative) const;
    void updatePicture();

    std::string programFolder_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    QImage current_;
    QString currentSource_;
    std::string tooltip_;
    int count_ = 0;
    int frame_ = 0;
    int animationTimer_ = 0;
    bool startingUp_ = false;
    bool animating_ = false;
};

} // namespace corvanthelix
