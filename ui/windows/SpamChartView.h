#pragma once
// The statistics window's bar chart: draws the 30 days of a spam counter as SpamChartGeometry
// lays them out in the widget's size, into an off-screen picture that is then copied.
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

namespace corvanthelix {

class SpamChartView : public QWidget {
    Q_OBJECT
public:
    explicit SpamChartView(QWidget* parent = nullptr);

    /// Shows `counts` (slot 0 today, whose day number is `today`) at the next paint.
    void setCounts(const std::array<std::uint32_t, 30>& counts, int today);
    /// Asked for the counts before every paint (empty: the counts set last are drawn).
    void setSource(std::function<void(std::array<std::uint32_t, 30>& counts, int& today)> source) {
        source_ = std::move(source);
    }
    /// The picture of the chart at the widget's current size.
    QImage render() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<std::uint32_t, 30> counts_ {};
    int today_ = 0;
    std::function<void(std::array<std::uint32_t, 30>&, int&)> source_;
};

} // namespace corvanthelix
