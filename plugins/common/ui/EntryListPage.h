#pragma once
// The list part of the plug-ins' settings pages: a list of entries with Add and Delete (also the
// Delete key), Delete enabled only with a selection. The page that uses it says what Add and
// Delete do to its data.
#include "common/HostLink.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QPushButton;
class QStandardItemModel;
class QTreeView;
class QVBoxLayout;

namespace corvanthelix::plugin {

class EntryListPage : public QWidget {
    Q_OBJECT
public:
    /// One row: a text per column.
    using Row = std::vector<std::string>;

    /// A page under `parent` with the explanation `text` and the columns `headers` (English,
    /// translated by the host through `host` with the rest of the page).
    EntryListPage(QWidget* parent, const HostLink& host, const char* text, const std::vector<const char*>& headers);

    /// Shows `rows` and selects the row whose first column (or the column `keyColumn`) is `select`.
    void Show(const std::vector<Row>& rows, const std::string& select = {}, int keyColumn = 0);
    /// The selected row's text in column `column`; "" without a selection.
    std::string Selected(int column) const;
    /// The layout below the list, for what a page adds (warnings, boxes).
    QVBoxLayout* Layout() const { return layout_; }

signals:
    void addRequested();
    void deleteRequested();

protected:
    const HostLink& host_;

private:
    void UpdateButtons();

    QStandardItemModel* model_ = nullptr;
    QTreeView* view_ = nullptr;
    QPushButton* delete_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
};

} // namespace corvanthelix::plugin
