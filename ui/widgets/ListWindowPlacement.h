#pragma once
// Where a list window (recycle bin, training area) was and how wide its columns were, kept in its
// own section of the settings file: left, top, right, bottom, maximized and one width per column.
#include <vector>

class QTableView;
class QWidget;

namespace corvanthelix {

/// Gives `list` the stored column widths of `section` (`initial[column]` where none is stored) and
/// `window` the stored frame and maximised state. A missing or empty frame keeps the window's own
/// size and place.
void restoreListWindowPlacement(QWidget& window, QTableView& list, const char* section,
                                const std::vector<int>& initial);

/// Stores `window`'s frame (the normal frame while maximised), whether it is maximised and the
/// widths of the first `columns` columns of `list` under `section`.
void saveListWindowPlacement(const QWidget& window, const QTableView& list, const char* section, int columns);

} // namespace corvanthelix
