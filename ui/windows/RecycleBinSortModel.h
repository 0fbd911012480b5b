#pragma once
// The order of the recycle bin window's list: each column sorts by RecycleBinRules::lessThan,
// always in the one direction the column has.
#include <QSortFilterProxyModel>

namespace corvanthelix {

class RecycleBinModel;

class RecycleBinSortModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    /// Sorts `source` (not owned).
    explicit RecycleBinSortModel(RecycleBinModel* source, QObject* parent = nullptr);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    RecycleBinModel* source_;
};

} // namespace corvanthelix
