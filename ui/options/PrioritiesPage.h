#pragma once
// Page 4018 "Priorities": the filters in the order they judge a message, moved one place at a
// time, and what follows a spam or a non-spam answer of the selected filter. Changes go to the
// filter chain at once; store() has the chain write them to the settings.
#include "filter/FilterChain.h"
#include "ui/options/OptionsPage.h"

#include <QAbstractTableModel>

#include <vector>

class QComboBox;
class QTableView;

namespace corvanthelix {

/// The filter chain's entries as rows: priority (slot) and filter name.
class FilterPriorityModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FilterPriorityModel(QObject* parent = nullptr);
    /// Reads the chain's entries again.
    void reload();
    const ChainEntry& entry(int row) const { return entries_.at(static_cast<size_t>(row)); }
    int rowOfKey(const std::string& key) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<ChainEntry> entries_;
};

class PrioritiesPage : public OptionsPage {
    Q_OBJECT
public:
    static constexpr int kStringPriority = 206;
    static constexpr int kStringFilterName = 208;
    static constexpr int kStringContinue = 209;
    static constexpr int kStringFinish = 210;

    explicit PrioritiesPage(QWidget* parent);
    /// Has the filter chain write its order and behaviours.
    PageStoreResult store() override;

    /// Moves the selected filter one place up (towards the first) or down.
    void moveSelected(bool up);
    FilterPriorityModel* model() const { return model_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refill(const std::string& selectKey);
    void showBehaviour();
    void storeBehaviour();
    ChainEntry* selectedEntry() const;

    FilterPriorityModel* model_ = nullptr;
    QTableView* view_ = nullptr;
    QComboBox* onSpam_ = nullptr;
    QComboBox* onNonSpam_ = nullptr;
    bool filling_ = false;
};

} // namespace corvanthelix
