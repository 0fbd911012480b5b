#include "ui/windows/StatisticsWindow.h"

#include "base/ControlIds.h"
#include "base/HelpPages.h"
#include "base/SpamChartGeometry.h"
#include "base/TranslatedFormat.h"
#include "stores/Statistics.h"
#include "ui/language/WindowTranslation.h"
#include "ui/widgets/ControlNames.h"
#include "ui/widgets/WindowEffects.h"
#include "ui/windows/SpamChartView.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {
constexpr const char* kHelpPage = "stat.htm";
constexpr const char* kMaximumText = "Maximum: %i spam mails (%s)";
constexpr const char* kAverageText = "Average: %.2f spam mails/day";
QPointer<StatisticsWindow> gOpenWindow;

std::string filled(const char* english) { return translatedText(english).toStdString(); }
} // namespace

StatisticsWindow* StatisticsWindow::open(const std::string& programFolder) {
    if (StatisticsWindow* window = gOpenWindow.data()) {
        if (window->isMinimized()) window->showNormal();
        window->show();
        window->raise();
        window->activateWindow();
        return window;
    }
    auto* window = new StatisticsWindow(programFolder);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (fadingWanted()) fadeWindow(window, true);
    else window->show();
    window->raise();
    window->activateWindow();
    return window;
}

StatisticsWindow* StatisticsWindow::current() { return gOpenWindow.data(); }

StatisticsWindow::StatisticsWindow(std::string programFolder, QWidget* parent)
    : QDialog(parent), programFolder_(std::move(programFolder)) {
    gOpenWindow = this;
    setObjectName(controlObjectName(resource::kStatisticsWindow));
    setWindowTitle("Spam Mail Statistics");
    setWindowIcon(QIcon(QString::fromStdString(programFolder_ + "/icons/statistic.ico")));
    setModal(false);

    maximum_ = withControlId(new QLabel, control::kStatisticsMaximum);
    average_ = withControlId(new QLabel, control::kStatisticsAverage);
    auto* caption = withControlId(new QLabel("This graph shows the number of spam mails within the last 30 days."),
                                  control::kStatisticsCaption);
    chart_ = withControlId(new SpamChartView, control::kStatisticsChart);
    chart_->setMinimumSize(480, 220);
    auto* close = withControlId(new QPushButton("Close"), control::kOk);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(maximum_);
    layout->addWidget(average_);
    layout->addSpacing(6);
    layout->addWidget(caption);
    layout->addWidget(chart_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    // Each paint reads the counter again, so a mail check that ends meanwhile shows at once.
    chart_->setSource([](std::array<std::uint32_t, 30>& counts, int& today) {
        Statistics counter;
        counter.load();
        for (int slot = 0; slot < Statistics::kDays; ++slot) counts[slot] = counter.countDaysAgo(slot);
        today = counter.today();
    });
    translateWindow(this);
    reload();
}

StatisticsWindow::~StatisticsWindow() = default;

void StatisticsWindow::reload() {
    Statistics counter;
    counter.load();
    int day = 0;
    const std::uint32_t most = counter.maximum(&day);
    const std::string date = SpamChartGeometry::dateText(day);
    maximum_->setText(QString::fromStdString(
        TranslatedFormat::format(kMaximumText, filled(kMaximumText), static_cast<int>(most), date.c_str())));
    average_->setText(QString::fromStdString(TranslatedFormat::format(kAverageText, filled(kAverageText), counter.average())));
    std::array<std::uint32_t, SpamChartGeometry::kDays> counts {};
    for (int slot = 0; slot < SpamChartGeometry::kDays; ++slot) counts[slot] = counter.countDaysAgo(slot);
    chart_->setCounts(counts, counter.today());
    // Written back as loaded: days that fell out of the window leave the settings file.
    counter.save();
}

void StatisticsWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        QDesktopServices::openUrl(QUrl(QString::fromStdString(help::pageHelpUrl(programFolder_, kHelpPage, help::germanLanguage()))));
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace corvanthelix
