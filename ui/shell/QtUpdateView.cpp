#include "ui/shell/QtUpdateView.h"

#include "base/Application.h"
#include "base/Shell.h"
#include "ui/windows/DownloadWindow.h"

#include <QDesktopServices>
#include <QMetaObject>
#include <QUrl>

namespace corvanthelix {

namespace {
// Runs `call` on the window's thread without waiting.
template <class F>
void onWindowThread(DownloadWindow* window, F call) {
    QMetaObject::invokeMethod(window, std::move(call), Qt::QueuedConnection);
}
} // namespace

QtUpdateView::QtUpdateView(DownloadWindow* window, std::function<void(UpdateOutcome)> onFinished)
    : window_(window), onFinished_(std::move(onFinished)) {}

void QtUpdateView::setLines(const std::string& first, const std::string& second) {
    DownloadWindow* window = window_;
    onWindowThread(window, [window, a = QString::fromStdString(first), b = QString::fromStdString(second)] {
        window->setLines(a, b);
    });
}

void QtUpdateView::setProgress(int percent) {
    DownloadWindow* window = window_;
    onWindowThread(window, [window, percent] { window->setProgress(percent); });
}

bool QtUpdateView::cancelRequested() { return window_->cancelRequested(); }

bool QtUpdateView::windowVisible() { return window_->shownNow(); }

void QtUpdateView::showWindow() {
    DownloadWindow* window = window_;
    onWindowThread(window, [window] {
        window->show();
        window->raise();
    });
}

bool QtUpdateView::askYesNo(const std::string& text) {
    return Application::instance().showMessageText(text, mb::kYesNo | mb::kIconQuestion) == answer::kYes;
}

void QtUpdateView::inform(const std::string& text) {
    Application::instance().showMessageText(text, mb::kOk | mb::kIconInformation);
}

void QtUpdateView::openFile(const std::string& path) {
    DownloadWindow* window = window_;
    onWindowThread(window, [p = QString::fromStdString(path)] { QDesktopServices::openUrl(QUrl::fromLocalFile(p)); });
}

void QtUpdateView::showFolder(const std::string& path) { openFile(path); }

void QtUpdateView::finished(UpdateOutcome outcome) {
    DownloadWindow* window = window_;
    onWindowThread(window, [finish = onFinished_, outcome] { finish(outcome); });
}

} // namespace corvanthelix
