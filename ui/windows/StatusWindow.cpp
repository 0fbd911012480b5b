#include "ui/windows/StatusWindow.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "ui/widgets/ControlNames.h"
#include "ui/widgets/WindowEffects.h"
#include "ui/language/WindowTranslation.h"
#include "base/ControlIds.h"
#include "base/StringTable.h"
#include "base/TranslatedFormat.h"
#include "base/StatusState.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QTimerEvent>

#include <cstdio>

namespace corvanthelix {

namespace {

constexpr int kStringSpamMessages = 138;
constexpr int kCornerEllipse = 15;
constexpr int kLockTop = 150;
constexpr int kOpaque = 100;
constexpr int kNoPlacement = -32768;
constexpr int kFontPixels = 11;

// Where the controls sit on the 250 × 200 window; scaled with the window.
struct Placement {
    int id;
    int x, y, width, height;
};
constexpr Placement kStatusText{control::kStatusText, 10, 10, 230, 18};
constexpr Placement kProgressBar{control::kStatusProgressBar, 10, 34, 230, 14};
constexpr Placement kProgressText{control::kStatusProgressText, 10, 51, 230, 16};
constexpr Placement kSpamCount{control::kStatusSpamCount, 10, 71, 230, 16};
constexpr Placement kDetailText{control::kStatusDetailText, 10, 92, 230, 52};
constexpr Placement kHide{control::kStatusHide, 98, 166, 68, 24};
constexpr Placement kCancel{control::kStatusCancel, 172, 166, 68, 24};

QRect scaled(const Placement& p, double scale) {
    return QRect(qRound(p.x * scale), qRound(p.y * scale), qRound(p.width * scale), qRound(p.height * scale));
}

QString spamCountText(int count) {
    return QString::fromStdString(TranslatedFormat::byId(kStringSpamMessages, count));
}

int screenDpi(const QWidget* widget) {
    const QScreen* screen = widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    return screen ? qRound(screen->logicalDotsPerInchX()) : StatusWindow::kBaseDpi;
}

QImage loadBitmap(const std::string& programFolder, const char* relative, QSize size) {
    QImage image(QString::fromStdString(programFolder + "/" + relative));
    // A missing picture leaves the window plain rather than empty.
    if (image.isNull()) {
        image = QImage(size, QImage::Format_RGB32);
        image.fill(QColor(255, 234, 195));
    }
    return image;
}

} // namespace

QSize StatusWindow::scaledSize(int dpiX) {
    // Both directions follow the horizontal resolution.
    return QSize(kBaseWidth * dpiX / kBaseDpi, kBaseHeight * dpiX / kBaseDpi);
}

StatusWindow::StatusWindow(StatusState& state, const std::string& programFolder, QWidget* owner, int dpiX)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      state_(state) {
    setObjectName(controlObjectName(resource::kStatusWindow));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(Application::kName);
    const int dpi = dpiX > 0 ? dpiX : screenDpi(this);
    size_ = scaledSize(dpi);
    setFixedSize(size_);
    background_ = loadBitmap(programFolder, "bitmaps/bubble.bmp", QSize(kBaseWidth, kBaseHeight));
    lock_ = loadBitmap(programFolder, "bitmaps/ssl.bmp", QSize(kLockSize, kLockSize));

    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(0, 0, size_.width(), size_.height()), kCornerEllipse / 2.0, kCornerEllipse / 2.0);
    setMask(QRegion(rounded.toFillPolygon().toPolygon()));

    buildControls(static_cast<double>(dpi) / kBaseDpi);
    if (size_ != QSize(kBaseWidth, kBaseHeight)) widenControls();
    translateWindow(this);
    setWindowTitle(Application::kName);
}

StatusWindow::~StatusWindow() { blink_.stop(); }

void StatusWindow::buildControls(double scale) {
    // A small face, as on the bitmap's scale: the longest status texts must fit one line.
    QFont small = font();
    small.setPixelSize(qRound(kFontPixels * scale));
    setFont(small);

    statusText_ = withControlId(new QLabel(this), control::kStatusText);
    statusText_->setGeometry(scaled(kStatusText, scale));

    progress_ = withControlId(new QProgressBar(this), control::kStatusProgressBar);
    progress_->setGeometry(scaled(kProgressBar, scale));
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);

    progressText_ = withControlId(new QLabel(this), control::kStatusProgressText);
    progressText_->setGeometry(scaled(kProgressText, scale));
    progressText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    spamCount_ = withControlId(new QLabel(this), control::kStatusSpamCount);
    spamCount_->setGeometry(scaled(kSpamCount, scale));

    detailText_ = withControlId(new QLabel(this), control::kStatusDetailText);
    detailText_->setGeometry(scaled(kDetailText, scale));
    detailText_->setWordWrap(true);
    detailText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    hide_ = withControlId(new QPushButton("Hide", this), control::kStatusHide);
    hide_->setGeometry(scaled(kHide, scale));
    hide_->setFocusPolicy(Qt::NoFocus);
    connect(hide_, &QPushButton::clicked, this, &StatusWindow::hideStatus);

    cancel_ = withControlId(new QPushButton("Cancel", this), control::kStatusCancel);
    cancel_->setGeometry(scaled(kCancel, scale));
    cancel_->setFocusPolicy(Qt::NoFocus);
    connect(cancel_, &QPushButton::clicked, this, &StatusWindow::cancel);

    for (QLabel* label : {statusText_, progressText_, spamCount_, detailText_}) {
        label->setAttribute(Qt::WA_TranslucentBackground);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(palette);
    }
}

void StatusWindow::widenControls() {
    // The texts and the bar use the whole width, keeping their distance from the left edge on
    // both sides.
    for (QWidget* control : std::initializer_list<QWidget*>{progress_, statusText_, progressText_, spamCount_, detailText_}) {
        QRect r = control->geometry();
        r.setWidth(size_.width() - 2 * r.x());
        control->setGeometry(r);
    }
    const int overhang = hide_->geometry().right() + 1 - size_.width();
    if (overhang > 0) {
        hide_->move(hide_->x() - overhang - 10, hide_->y());
        cancel_->move(cancel_->x() - overhang - 10, cancel_->y());
    }
}

void StatusWindow::showStatus() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    QPoint place(work.x() + work.width() - size_.width(), work.y() + work.height() - size_.height());
    if (settings::bubbleSavePosition() != 0) {
        const int left = settings::windowPlacement(settings::section::kBubbleWindow, settings::key::kLeft, kNoPlacement);
        const int top = settings::windowPlacement(settings::section::kBubbleWindow, settings::key::kTop, kNoPlacement);
        // A place saved on a screen that is gone is not used.
        if (left != kNoPlacement && top != kNoPlacement && QGuiApplication::screenAt(QPoint(left, top)))
            place = QPoint(left, top);
    }
    move(place);
    const int opacity = settings::bubbleOpacity();
    setWindowAlpha(this, opacity < kOpaque ? alphaForOpacity(opacity) : 255);
    refreshAll();
    if (!isVisible()) {
        if (fadingWanted()) fadeWindow(this, true);
        else show();
    }
    raise();
}

void StatusWindow::hideStatus() {
    if (!isVisible()) return;
    if (fadingWanted()) fadeWindow(this, false);
    else hide();
}

void StatusWindow::savePlacement() const {
    const QRect frame = frameGeometry();
    using namespace settings;
    setWindowPlacement(section::kBubbleWindow, key::kLeft, frame.left());
    setWindowPlacement(section::kBubbleWindow, key::kTop, frame.top());
    setWindowPlacement(section::kBubbleWindow, key::kRight, frame.left() + frame.width());
    setWindowPlacement(section::kBubbleWindow, key::kBottom, frame.top() + frame.height());
    setWindowPlacement(section::kBubbleWindow, key::kMaximized, 0);
}

void StatusWindow::refresh(StatusField field) {
    switch (field) {
    case StatusField::Text: {
        // One line: a text too long for it ends in "..." and shows whole as the tooltip.
        const QString full = QString::fromStdString(state_.statusText());
        const QString shown = statusText_->fontMetrics().elidedText(full, Qt::ElideRight, statusText_->width());
        statusText_->setText(shown);
        statusText_->setToolTip(shown == full ? QString() : full);
        break;
    }
    case StatusField::Detail:
        detailText_->setText(QString::fromStdString(state_.detailText()));
        break;
    case StatusField::SpamCount:
        spamCount_->setText(spamCountText(state_.spamCount()));
        break;
    case StatusField::Total:
    case StatusField::Received:
    case StatusField::PercentMode:
        progress_->setValue(state_.barPosition());
        progressText_->setText(QString::fromStdString(state_.progressText()));
        break;
    case StatusField::Lock:
        setLockBlinking(state_.lock());
        break;
    case StatusField::Cancel:
        cancel_->setEnabled(!state_.cancelRequested());
        break;
    }
}

void StatusWindow::refreshAll() {
    for (StatusField field : {StatusField::Text, StatusField::Detail, StatusField::SpamCount, StatusField::Total,
                              StatusField::Lock, StatusField::Cancel})
        refresh(field);
}

void StatusWindow::setLockBlinking(bool on) {
    if (on == blink_.isActive()) return;
    lockPhase_ = on;
    if (on) blink_.start(kBlinkMilliseconds, this);
    else blink_.stop();
    update();
}

void StatusWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() != blink_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    lockPhase_ = !lockPhase_;
    update(QRect(0, size_.height() * kLockTop / kBaseHeight, kLockSize, kLockSize));
}

void StatusWindow::cancel() {
    cancel_->setEnabled(false);
    state_.requestCancel();
}

void StatusWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(rect(), background_);
    if (lockPhase_) painter.drawImage(QPoint(0, size_.height() * kLockTop / kBaseHeight), lock_);
}

void StatusWindow::mousePressEvent(QMouseEvent* event) {
    // The window has no caption: with "BubbleEasyMove" it is dragged by any point.
    if (event->button() == Qt::LeftButton && settings::bubbleEasyMove() != 0) {
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void StatusWindow::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void StatusWindow::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

} // namespace corvanthelix
