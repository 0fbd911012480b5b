#include "ui/windows/DownloadWindow.h"

#include "base/ControlIds.h"
#include "ui/language/WindowTranslation.h"
#include "ui/widgets/ControlNames.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace corvanthelix {

namespace {
constexpr int kMinimumWidth = 420;
} // namespace

DownloadWindow::DownloadWindow(QWidget* owner) : QWidget(owner, Qt::Dialog) {
    setObjectName(controlObjectName(resource::kDownloadWindow));
    setWindowTitle("Downloading...");
    setMinimumWidth(kMinimumWidth);

    firstLine_ = withControlId(new QLabel(this), control::kDownloadFirstLine);
    secondLine_ = withControlId(new QLabel(this), control::kDownloadSecondLine);
    // A long file name wraps instead of widening the window past the screen.
    firstLine_->setWordWrap(true);
    progress_ = withControlId(new QProgressBar(this), control::kDownloadProgress);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    cancel_ = withControlId(new QPushButton("Cancel", this), control::kCancel);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        cancelled_ = true;
        cancel_->setEnabled(false);
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(firstLine_);
    layout->addWidget(secondLine_);
    layout->addWidget(progress_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    translateWindow(this);
}

void DownloadWindow::setLines(const QString& first, const QString& second) {
    firstLine_->setText(first);
    secondLine_->setText(second);
}

void DownloadWindow::setProgress(int percent) { progress_->setValue(std::clamp(percent, 0, 100)); }

int DownloadWindow::progress() const { return progress_->value(); }

void DownloadWindow::closeEvent(QCloseEvent* event) {
    // The check ends at its next chunk; the main window then destroys the window.
    cancelled_ = true;
    event->accept();
}

void DownloadWindow::showEvent(QShowEvent* event) {
    shown_ = true;
    QWidget::showEvent(event);
}

void DownloadWindow::hideEvent(QHideEvent* event) {
    shown_ = false;
    QWidget::hideEvent(event);
}

} // namespace corvanthelix
