#include "ui/windows/RecycleBinModel.h"

#include "base/StringTable.h"

#include <QFont>

#include <numeric>

namespace corvanthelix {

RecycleBinModel::RecycleBinModel(QIcon restoreIcon, QObject* parent)
    : QAbstractTableModel(parent), restoreIcon_(std::move(restoreIcon)) {}

int RecycleBinModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecycleBinModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RecycleBinRules::kColumnCount;
}

QVariant RecycleBinModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const RecycleRow& row = rows_[index.row()];
    switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(RecycleBinRules::columnText(row, index.column()));
    case Qt::FontRole:
        if (!row.seen) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::DecorationRole:
        if (index.column() == RecycleBinRules::kColumnSender && row.restored) return restoreIcon_;
        return {};
    case kRowIndexRole: return index.row();
    default: return {};
    }
}

QVariant RecycleBinModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return QString::fromStdString(loadString(RecycleBinRules::columnHeaderString(section)));
}

void RecycleBinModel::setRows(std::vector<RecycleRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void RecycleBinModel::putRow(RecycleRow row) {
    const int at = find(row.name);
    if (at >= 0) {
        // Bold until the window is closed, whatever the store says meanwhile.
        row.seen = row.seen && rows_[at].seen;
        rows_[at] = std::move(row);
        emit dataChanged(index(at, 0), index(at, RecycleBinRules::kColumnCount - 1));
        return;
    }
    const int end = rowCount();
    beginInsertRows({}, end, end);
    rows_.push_back(std::move(row));
    endInsertRows();
}

bool RecycleBinModel::removeRow(const std::string& name) {
    const int at = find(name);
    if (at < 0) return false;
    beginRemoveRows({}, at, at);
    rows_.erase(rows_.begin() + at);
    endRemoveRows();
    return true;
}

int RecycleBinModel::find(const std::string& name) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].name == name) return static_cast<int>(i);
    return -1;
}

long long RecycleBinModel::totalSize() const {
    return std::accumulate(rows_.begin(), rows_.end(), 0LL,
                           [](long long sum, const RecycleRow& row) { return sum + row.size; });
}

} // namespace corvanthelix
