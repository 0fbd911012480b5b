#pragma once
// Page 4017 "Plugins": every plug-in library with a check box that loads and enables or disables
// it, the details of the selected one, Reload, Disable and Configure.
#include "ui/options/OptionsPage.h"

#include <QAbstractTableModel>

#include <vector>

class QLabel;
class QTableView;

namespace corvanthelix {

struct PluginRecord;

/// The plug-in manager's records: name (checkable: enabled) and file name.
class PluginListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PluginListModel(QObject* parent = nullptr);
    /// Reads the records again; `listed` false leaves the list empty (plug-ins switched off).
    void reload(bool listed);
    PluginRecord* record(int row) const { return records_.at(static_cast<size_t>(row)); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    /// Checking a row loads and enables the plug-in, unchecking disables it.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    /// A plug-in is about to be disabled: its library goes right after this returns.
    void pluginAboutToUnload(PluginRecord* record);
    /// A plug-in was enabled or disabled (`enabled` the new state; false also when enabling failed).
    void pluginSwitched(PluginRecord* record, bool enabled);

private:
    std::vector<PluginRecord*> records_;
};

class PluginsPage : public OptionsPage {
    Q_OBJECT
public:
    static constexpr int kStringName = 201;
    static constexpr int kStringFileName = 205;

    explicit PluginsPage(QWidget* parent);
    /// Writes the plug-ins' enabled flags and has the filter chain write its settings.
    PageStoreResult store() override;

    PluginListModel* model() const { return model_; }
    /// Selects the plug-in in row `row` and shows its details.
    void selectRow(int row);
    /// Reload: every plug-in library is loaded again and the list refilled.
    void reloadPlugins();

signals:
    /// Plug-ins came or went: the dialog removes and adds their pages. Sent before any library is
    /// unloaded (Reload, unchecking, Disable; `aboutToUnload` true: delete the plug-in pages now)
    /// and after the list changed (false).
    void pluginPagesChanged(bool aboutToUnload);

private:
    void showDetails();
    void switched(PluginRecord* record, bool enabled);
    int selectedRow() const;

    PluginListModel* model_ = nullptr;
    QTableView* view_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* author_ = nullptr;
    QLabel* description_ = nullptr;
};

} // namespace corvanthelix
