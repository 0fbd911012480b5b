#pragma once
// The order of the training area window's list: each column sorts by TrainingAreaRules::lessThan,
// always in the one direction the column has.
#include <QSortFilterProxyModel>

namespace corvanthelix {

class TrainingAreaModel;

class TrainingAreaSortModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    /// Sorts `source` (not owned).
    explicit TrainingAreaSortModel(TrainingAreaModel* source, QObject* parent = nullptr);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    TrainingAreaModel* source_;
};

} // namespace corvanthelix
