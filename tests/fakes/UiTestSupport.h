#pragma once
// Helpers shared by the UI tests: the staged program folder with its icons and bitmaps, a settings
// folder of the test's own, and answering a modal box the code under test opens.
#include "base/Application.h"
#include "base/ControlIds.h"
#include "tests/fakes/TempFolder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace corvanthelix::uitest {

/// The staged program folder (icons/, bitmaps/).
inline std::string programDir() { return CORVANTHELIX_PROGRAM_DIR; }

/// Points the Application's program folder (and so its settings file) at a fresh temporary
/// folder for one test; returns the folder, which removes itself.
inline std::unique_ptr<testing::TempFolder> freshSettings() {
    auto folder = std::make_unique<testing::TempFolder>();
    Application::instance().setProgramFolder(folder->path());
    return folder;
}

/// The widget named for control `id` inside `window`, of type W; null when there is none.
template <class W = QWidget>
W* control(QWidget* window, int id) {
    return window ? window->findChild<W*>(QString::fromStdString(controlName(id))) : nullptr;
}

/// When the next modal window opens: runs `inspect` on it (may be empty), ticks its
/// "Don't show again" box if `tick`, and clicks its button `buttonId`. `seen` (optional) is set
/// when a box was answered.
inline void answerNextModal(int buttonId, bool tick = false, bool* seen = nullptr,
                            std::function<void(QWidget*)> inspect = {}) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, buttonId, tick, seen, inspect] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        poll->stop();
        poll->deleteLater();
        if (inspect) inspect(modal);
        if (tick)
            if (auto* box = control<QCheckBox>(modal, control::kOptionalDontShowAgain)) box->setChecked(true);
        if (seen) *seen = true;
        if (auto* button = control<QAbstractButton>(modal, buttonId)) button->click();
    });
    poll->start();
}

} // namespace corvanthelix::uitest
