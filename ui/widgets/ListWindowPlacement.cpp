#include "ui/widgets/ListWindowPlacement.h"

#include "base/Settings.h"

#include <QRect>
#include <QTableView>
#include <QWidget>

namespace corvanthelix {

namespace {
constexpr int kNoPlacement = -32768;
}

void restoreListWindowPlacement(QWidget& window, QTableView& list, const char* section,
                                const std::vector<int>& initial) {
    using namespace settings;
    for (int column = 0; column < static_cast<int>(initial.size()); ++column) {
        const int saved = columnWidth(section, column);
        list.setColumnWidth(column, saved > 0 ? saved : initial[static_cast<size_t>(column)]);
    }
    const int left = windowPlacement(section, key::kLeft, kNoPlacement);
    const int top = windowPlacement(section, key::kTop, kNoPlacement);
    const int right = windowPlacement(section, key::kRight, kNoPlacement);
    const int bottom = windowPlacement(section, key::kBottom, kNoPlacement);
    if (left == kNoPlacement || top == kNoPlacement || right <= left || bottom <= top) return;
    window.resize(right - left, bottom - top);
    window.move(left, top);
    if (windowPlacement(section, key::kMaximized, 0) != 0) window.setWindowState(Qt::WindowMaximized);
}

void saveListWindowPlacement(const QWidget& window, const QTableView& list, const char* section, int columns) {
    using namespace settings;
    const QRect frame = window.isMaximized() ? window.normalGeometry() : window.geometry();
    setWindowPlacement(section, key::kLeft, frame.left());
    setWindowPlacement(section, key::kTop, frame.top());
    setWindowPlacement(section, key::kRight, frame.left() + frame.width());
    setWindowPlacement(section, key::kBottom, frame.top() + frame.height());
    setWindowPlacement(section, key::kMaximized, window.isMaximized() ? 1 : 0);
    for (int column = 0; column < columns; ++column) setColumnWidth(section, column, list.columnWidth(column));
}

} // namespace corvanthelix
