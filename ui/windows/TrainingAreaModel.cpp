#include "ui/windows/TrainingAreaModel.h"

#include "base/StringTable.h"

#include <numeric>

namespace corvanthelix {

TrainingAreaModel::TrainingAreaModel(QIcon spamIcon, QIcon nonSpamIcon, QObject* parent)
    : QAbstractTableModel(parent), spamIcon_(std::move(spamIcon)), nonSpamIcon_(std::move(nonSpamIcon)) {}

int TrainingAreaModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrainingAreaModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TrainingAreaRules::kColumnCount;
}

QVariant TrainingAreaModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const TrainingRow& row = rows_[index.row()];
    switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(TrainingAreaRules::columnText(row, index.column()));
    case Qt::DecorationRole:
        if (index.column() != TrainingAreaRules::kColumnMark) return {};
        if (row.mark == TrainingMark::Spam) return spamIcon_;
        if (row.mark == TrainingMark::NonSpam) return nonSpamIcon_;
        return {};
    case Qt::ToolTipRole:
        return index.column() == TrainingAreaRules::kColumnSender ? QString::fromStdString(row.senderAddress) : QVariant();
    default: return {};
    }
}

QVariant TrainingAreaModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    const int id = TrainingAreaRules::columnHeaderString(section);
    return id ? QString::fromStdString(loadString(id)) : QString();
}

void TrainingAreaModel::setRows(std::vector<TrainingRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

bool TrainingAreaModel::removeRow(const std::string& fileName) {
    const int at = find(fileName);
    if (at < 0) return false;
    beginRemoveRows({}, at, at);
    rows_.erase(rows_.begin() + at);
    endRemoveRows();
    return true;
}

int TrainingAreaModel::find(const std::string& fileName) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].fileName == fileName) return static_cast<int>(i);
    return -1;
}

long long TrainingAreaModel::totalSize() const {
    return std::accumulate(rows_.begin(), rows_.end(), 0LL,
                           [](long long sum, const TrainingRow& row) { return sum + row.size; });
}

} // namespace corvanthelix
