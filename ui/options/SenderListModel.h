#pragma once
// The entries of one sender list (blocked senders or friends) as a table: name and address.
#include "filter/SenderLists.h"

#include <QAbstractTableModel>

#include <vector>

namespace corvanthelix {

class SenderListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn = 0, AddressColumn = 1, ColumnCount };

    /// A model of list `list` (SenderEntry::kBlocked or kFriend) of `lists`, read at once. The
    /// lists must outlive the model.
    SenderListModel(const SenderLists& lists, int list, QObject* parent = nullptr);

    /// Reads the list again from the settings file.
    void reload();
    /// The entry of row `row`; valid until the next reload().
    const SenderEntry& entry(int row) const { return entries_.at(static_cast<size_t>(row)); }
    /// The row whose key is `address` (without regard to case), -1 when none.
    int rowOf(const std::string& address) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const SenderLists& lists_;
    int list_;
    std::vector<SenderEntry> entries_;
};

} // namespace corvanthelix
