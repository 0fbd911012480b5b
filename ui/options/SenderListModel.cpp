#include "ui/options/SenderListModel.h"

#include "ui/language/WindowTranslation.h"

#include <strings.h>

namespace corvanthelix {

SenderListModel::SenderListModel(const SenderLists& lists, int list, QObject* parent)
    : QAbstractTableModel(parent), lists_(lists), list_(list) {
    reload();
}

void SenderListModel::reload() {
    beginResetModel();
    entries_.clear();
    lists_.forEach([this](const SenderEntry& entry) {
        if (entry.list == list_) entries_.push_back(entry);
        return 1;
    });
    endResetModel();
}

int SenderListModel::rowOf(const std::string& address) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (strcasecmp(entries_[i].address.c_str(), address.c_str()) == 0) return static_cast<int>(i);
    return -1;
}

int SenderListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int SenderListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant SenderListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    const SenderEntry& e = entry(index.row());
    return QString::fromStdString(index.column() == NameColumn ? e.name : e.address);
}

QVariant SenderListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return translatedText(section == NameColumn ? "Sender name" : "Mail address");
}

} // namespace corvanthelix
