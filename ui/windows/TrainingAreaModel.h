#pragma once
// The training area window's list: a table model over its rows, with the five columns and the
// mark icons. It holds the rows and their marks; the window fills it from the store and applies
// the rules of TrainingAreaRules to it.
#include "stores/TrainingAreaRules.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <vector>

namespace corvanthelix {

class TrainingAreaModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// An empty list; `spamIcon` and `nonSpamIcon` show the marks in the first column.
    TrainingAreaModel(QIcon spamIcon, QIcon nonSpamIcon, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    /// Display text (TrainingAreaRules::columnText) and the mark icon in the first column.
    QVariant data(const QModelIndex& index, int role) const override;
    /// The translated column headers (the mark column has none).
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    /// Replaces every row.
    void setRows(std::vector<TrainingRow> rows);
    /// Lets `change` alter the rows' marks (never their number or order) and shows the result.
    template <class Change>
    void changeMarks(Change change) {
        change(rows_);
        if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 0));
    }
    /// Removes the row named `fileName`; false when there is none.
    bool removeRow(const std::string& fileName);
    /// The row named `fileName`, or -1.
    int find(const std::string& fileName) const;
    const std::vector<TrainingRow>& rows() const { return rows_; }
    /// The sum of the rows' sizes in bytes.
    long long totalSize() const;

private:
    std::vector<TrainingRow> rows_;
    QIcon spamIcon_;
    QIcon nonSpamIcon_;
};

} // namespace corvanthelix
