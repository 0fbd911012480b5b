#pragma once
// The known hosts dialog's table: one row per account of KnownHostRows with the columns SSL (a
// check box), host, user name, port and pinned certificate.
#include "proxy/KnownHostRows.h"

#include <QAbstractTableModel>

namespace corvanthelix {

class KnownHostsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Secure = 0, Host, User, Port, Certificate, ColumnCount };
    static constexpr int kStringSsl = 244;
    static constexpr int kStringHost = 231;
    static constexpr int kStringUser = 232;
    static constexpr int kStringPort = 233;

    /// A model over `rows` (not owned; outlives the model).
    explicit KnownHostsModel(KnownHostRows& rows, QObject* parent = nullptr);

    /// Call after `rows` changed outside the model.
    void refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    /// The SSL column's check box sets the row's TLS flag in memory.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    KnownHostRows& rows_;
};

} // namespace corvanthelix
