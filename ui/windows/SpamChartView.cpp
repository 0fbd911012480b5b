#include "ui/windows/SpamChartView.h"

#include "base/SpamChartGeometry.h"

#include <QImage>
#include <QPainter>

namespace corvanthelix {

namespace {
const QColor kEmpty(192, 192, 192);
const QColor kGrid(224, 224, 224);
const QColor kBarOutline(50, 200, 255);
const QColor kBarFill(170, 220, 255);
constexpr int kScaleFontPixels = 12;
constexpr int kDateFontPixels = 10;

QFont chartFont(int pixels) {
    QFont font("Arial");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    return font;
}
} // namespace

SpamChartView::SpamChartView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 160);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SpamChartView::setCounts(const std::array<std::uint32_t, 30>& counts, int today) {
    counts_ = counts;
    today_ = today;
    update();
}

QImage SpamChartView::render() const {
    QImage image(size(), QImage::Format_RGB32);
    const SpamChart chart = SpamChartGeometry::layout(counts_, today_, width(), height());
    QPainter p(&image);
    if (chart.empty) {
        image.fill(kEmpty);
        return image;
    }
    image.fill(Qt::white);
    p.setPen(QPen(kGrid, 1));
    for (const ChartLine& line : chart.gridLines) p.drawLine(line.x1, line.y1, line.x2, line.y2);
    p.setPen(QPen(kBarOutline, 1));
    p.setBrush(kBarFill);
    for (const ChartRect& bar : chart.bars)
        p.drawRect(QRect(QPoint(bar.left, bar.top), QPoint(bar.right - 1, bar.bottom - 1)));
    p.setPen(Qt::black);
    p.setFont(chartFont(kScaleFontPixels));
    const int ascent = p.fontMetrics().ascent();
    // Each label's point is the top of its text, as the chart lays it out.
    for (const ChartLabel& label : chart.scaleLabels)
        p.drawText(label.x, label.y + ascent, QString::fromStdString(label.text));
    p.setFont(chartFont(kDateFontPixels));
    const int dateAscent = p.fontMetrics().ascent();
    for (const ChartLabel& label : chart.dateLabels) {
        // Written upwards from the point, its top against the column's left line.
        p.save();
        p.translate(label.x + dateAscent + 1, label.y);
        p.rotate(-90);
        p.drawText(0, 0, QString::fromStdString(label.text));
        p.restore();
    }
    return image;
}

void SpamChartView::paintEvent(QPaintEvent*) {
    if (source_) source_(counts_, today_);
    QPainter p(this);
    p.drawImage(0, 0, render());
}

} // namespace corvanthelix
