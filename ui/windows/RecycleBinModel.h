#pragma once
// The recycle bin window's list: a table model over the rows of the store, with the seven
// columns, bold unseen rows and the restore icon. It holds the rows only; the window fills it
// from the store and passes the store's row changes on.
#include "stores/RecycleBinRules.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <vector>

namespace corvanthelix {

class RecycleBinModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// The role under which data() gives a row's index into rows() (for sorting and commands).
    static constexpr int kRowIndexRole = Qt::UserRole + 1;

    /// An empty list; `restoreIcon` marks restored rows.
    explicit RecycleBinModel(QIcon restoreIcon, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    /// Display text (RecycleBinRules::columnText), the bold font for unseen rows, the restore icon
    /// in the first column of restored rows, and kRowIndexRole.
    QVariant data(const QModelIndex& index, int role) const override;
    /// The translated column headers.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    /// Replaces every row.
    void setRows(std::vector<RecycleRow> rows);
    /// Adds `row`, or replaces the row with its name when there is one. A row that was unseen
    /// stays bold.
    void putRow(RecycleRow row);
    /// Removes the row named `name`; false when there is none.
    bool removeRow(const std::string& name);
    /// The row named `name`, or -1.
    int find(const std::string& name) const;
    const std::vector<RecycleRow>& rows() const { return rows_; }
    /// The sum of the rows' sizes in bytes.
    long long totalSize() const;

private:
    std::vector<RecycleRow> rows_;
    QIcon restoreIcon_;
};

} // namespace corvanthelix
