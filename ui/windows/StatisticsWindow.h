#pragma once
// The spam statistics window: the most spam of one day in the last 30 days with its date, the
// average per day, and the bar chart of the 30 days with today on the right. At most one is
// open; the tray opens it.
#include <QDialog>

#include <string>

class QLabel;

namespace corvanthelix {

class SpamChartView;

class StatisticsWindow : public QDialog {
    Q_OBJECT
public:
    /// Opens the window, or brings the open one to the front (restoring it when minimised). It
    /// deletes itself when closed. Returns it.
    static StatisticsWindow* open(const std::string& programFolder);
    /// The open window, or null.
    static StatisticsWindow* current();

    /// The window with the counter of the settings file loaded and shown; not shown yet.
    explicit StatisticsWindow(std::string programFolder, QWidget* parent = nullptr);
    ~StatisticsWindow() override;

    /// Loads the counter again and shows it.
    void reload();
    SpamChartView* chart() const { return chart_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::string programFolder_;
    QLabel* maximum_ = nullptr;
    QLabel* average_ = nullptr;
    SpamChartView* chart_ = nullptr;
};

} // namespace corvanthelix
