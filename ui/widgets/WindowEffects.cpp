#include "ui/widgets/WindowEffects.h"

#include "base/Settings.h"

#include <QGuiApplication>
#include <QPointer>
#include <QPropertyAnimation>
#include <QWidget>

#include <algorithm>

namespace corvanthelix {

namespace {
bool translucencyAvailable() {
    // The offscreen and minimal platforms draw nothing, so fading there only delays hiding.
    const QString platform = QGuiApplication::platformName();
    return platform != "offscreen" && platform != "minimal";
}
} // namespace

int alphaForOpacity(int percent) {
    // Integer arithmetic: 100 % must give 255 exactly, which percent × 2.55 in floating point misses.
    return std::clamp(percent * 255 / 100, 0, 255);
}

bool fadingWanted() { return settings::alphaBlending() != 0; }

void fadeWindow(QWidget* window, bool show, int milliseconds) {
    if (!window) return;
    if (!translucencyAvailable() || milliseconds <= 0) {
        window->setVisible(show);
        return;
    }
    const qreal target = window->windowOpacity();
    auto* animation = new QPropertyAnimation(window, "windowOpacity", window);
    animation->setDuration(milliseconds);
    animation->setStartValue(show ? 0.0 : target);
    animation->setEndValue(show ? target : 0.0);
    if (show) {
        window->setWindowOpacity(0.0);
        // Called from a show event too, where the window is already on its way to the screen.
        if (!window->isVisible()) window->show();
    } else {
        QPointer<QWidget> guarded(window);
        QObject::connect(animation, &QPropertyAnimation::finished, window, [guarded, target] {
            if (!guarded) return;
            guarded->hide();
            guarded->setWindowOpacity(target);
        });
    }
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    window->update();
}

void setWindowAlpha(QWidget* window, int alpha) {
    if (!window) return;
    window->setWindowOpacity(std::clamp(alpha, 0, 255) / 255.0);
}

void enableChildren(QWidget* window, bool enable) {
    if (!window) return;
    for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) child->setEnabled(enable);
}

} // namespace corvanthelix
