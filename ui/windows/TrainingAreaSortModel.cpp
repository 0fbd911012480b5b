#include "ui/windows/TrainingAreaSortModel.h"

#include "ui/windows/TrainingAreaModel.h"

namespace corvanthelix {

TrainingAreaSortModel::TrainingAreaSortModel(TrainingAreaModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), source_(source) {
    setSourceModel(source);
    setDynamicSortFilter(true);
}

bool TrainingAreaSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const auto& rows = source_->rows();
    return TrainingAreaRules::lessThan(rows[left.row()], rows[right.row()], left.column());
}

} // namespace corvanthelix
