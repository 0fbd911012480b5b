#include "ui/windows/RecycleBinSortModel.h"

#include "ui/windows/RecycleBinModel.h"

namespace corvanthelix {

RecycleBinSortModel::RecycleBinSortModel(RecycleBinModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), source_(source) {
    setSourceModel(source);
    setDynamicSortFilter(true);
}

bool RecycleBinSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const auto& rows = source_->rows();
    return RecycleBinRules::lessThan(rows[left.row()], rows[right.row()], left.column());
}

} // namespace corvanthelix
