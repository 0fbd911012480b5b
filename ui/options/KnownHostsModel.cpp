#include "ui/options/KnownHostsModel.h"

#include "base/StringTable.h"
#include "ui/language/WindowTranslation.h"

namespace corvanthelix {

KnownHostsModel::KnownHostsModel(KnownHostRows& rows, QObject* parent) : QAbstractTableModel(parent), rows_(rows) {}

void KnownHostsModel::refresh() {
    beginResetModel();
    endResetModel();
}

int KnownHostsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.rows().size());
}

int KnownHostsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant KnownHostsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= rows_.rows().size()) return {};
    const KnownHostRow& row = rows_.rows()[static_cast<size_t>(index.row())];
    if (index.column() == Secure && role == Qt::CheckStateRole) return row.account.secure ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::ToolTipRole && index.column() == Certificate && !row.pins.empty())
        return QString::fromStdString(row.pinText());
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case Host: return QString::fromStdString(row.account.server);
    case User: return QString::fromStdString(row.account.user);
    case Port: return row.account.port;
    case Certificate: return QString::fromStdString(row.pinText());
    default: return {};
    }
}

QVariant KnownHostsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case Secure: return QString::fromStdString(loadString(kStringSsl));
    case Host: return QString::fromStdString(loadString(kStringHost));
    case User: return QString::fromStdString(loadString(kStringUser));
    case Port: return QString::fromStdString(loadString(kStringPort));
    case Certificate: return translatedText("Pinned certificate (SHA-256)");
    default: return {};
    }
}

Qt::ItemFlags KnownHostsModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == Secure) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool KnownHostsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != Secure || role != Qt::CheckStateRole) return false;
    rows_.setSecure(static_cast<size_t>(index.row()), value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

} // namespace corvanthelix
