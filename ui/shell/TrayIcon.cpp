#include "ui/shell/TrayIcon.h"

#include "base/Settings.h"
#include "base/TrayText.h"

#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTimerEvent>

namespace corvanthelix {

namespace {
constexpr int kBalloonTitleMax = 63;
constexpr int kBalloonTextMax = 255;
constexpr int kBalloonMilliseconds = 10000;
constexpr const char* kWaitIcon = "icons/wait.ico";
} // namespace

TrayIcon::TrayIcon(std::string programFolder, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder)), tray_(std::make_unique<QSystemTrayIcon>()) {
    connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) emit leftClicked();
        else if (reason == QSystemTrayIcon::DoubleClick) emit doubleClicked();
    });
    updatePicture();
}

TrayIcon::~TrayIcon() {
    if (animationTimer_) killTimer(animationTimer_);
}

QImage TrayIcon::loadPicture(const std::string& relative) const {
    QImage image(QString::fromStdString(programFolder_ + "/" + relative));
    if (image.isNull()) return image;
    return image.convertToFormat(QImage::Format_ARGB32)
        .scaled(kIconSize, kIconSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage TrayIcon::compose(const QImage& left, const QImage& right) {
    QImage result(kIconSize, kIconSize, QImage::Format_ARGB32);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    auto fit = [](const QImage& image) {
        return image.convertToFormat(QImage::Format_ARGB32).scaled(kIconSize, kIconSize);
    };
    if (!left.isNull()) painter.drawImage(QPoint(0, 0), fit(left), QRect(0, 0, kLeftColumns, kIconSize));
    if (!right.isNull())
        painter.drawImage(QPoint(kLeftColumns, 0), fit(right),
                          QRect(kLeftColumns, 0, kIconSize - kLeftColumns, kIconSize));
    return result;
}

QImage TrayIcon::numberImage(int count) const {
    tray::NumberIconParts parts = tray::numberIconParts(count, settings::enable() != 0);
    if (parts.left.empty()) return loadPicture(parts.right);
    return compose(loadPicture(parts.left), loadPicture(parts.right));
}

void TrayIcon::updatePicture() {
    if (startingUp_) {
        current_ = loadPicture(kWaitIcon);
        currentSource_ = kWaitIcon;
    } else if (animating_) {
        std::string file = tray::animationIconFile(frame_);
        current_ = loadPicture(file);
        currentSource_ = QString::fromStdString(file);
    } else {
        tray::NumberIconParts parts = tray::numberIconParts(count_, settings::enable() != 0);
        current_ = numberImage(count_);
        currentSource_ = QString::fromStdString(parts.left.empty() ? parts.right : parts.left + "+" + parts.right);
    }
    tray_->setIcon(current_.isNull() ? QIcon() : QIcon(QPixmap::fromImage(current_)));
}

void TrayIcon::show() { tray_->show(); }

void TrayIcon::hide() { tray_->hide(); }

void TrayIcon::setStartingUp(bool on) {
    startingUp_ = on;
    updatePicture();
}

void TrayIcon::setAnimating(bool on) {
    if (animationTimer_) killTimer(animationTimer_);
    animationTimer_ = 0;
    animating_ = on;
    frame_ = 0;
    if (on) animationTimer_ = startTimer(kAnimationMilliseconds);
    updatePicture();
}

void TrayIcon::timerEvent(QTimerEvent* event) {
    if (event->timerId() != animationTimer_) {
        QObject::timerEvent(event);
        return;
    }
    frame_ = (frame_ + 1) % 4;
    updatePicture();
}

void TrayIcon::setCount(int count) {
    count_ = count;
    updatePicture();
}

void TrayIcon::refresh() { updatePicture(); }

void TrayIcon::setTooltip(const std::string& text) {
    tooltip_ = tray::cutTooltip(text);
    tray_->setToolTip(QString::fromStdString(tooltip_));
}

void TrayIcon::setProgress(int percentTenths) {
    tooltip_ = tray::withProgress(tooltip_, percentTenths);
    tray_->setToolTip(QString::fromStdString(tooltip_));
}

void TrayIcon::showBalloon(const QString& title, const QString& text) {
    if (title.isEmpty() || text.isEmpty()) return;
    tray_->showMessage(title.left(kBalloonTitleMax), text.left(kBalloonTextMax), QSystemTrayIcon::Information,
                       kBalloonMilliseconds);
}

void TrayIcon::setContextMenu(QMenu* menu) { tray_->setContextMenu(menu); }

} // namespace corvanthelix
