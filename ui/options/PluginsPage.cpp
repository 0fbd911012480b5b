#include "ui/options/PluginsPage.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "filter/FilterChain.h"
#include "filter/PluginManager.h"
#include "filter/PluginRecord.h"
#include "language/Vexolindra.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/FilterPageControls.h"
#include "ui/widgets/ControlNames.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {
constexpr int kList = 1062;
constexpr int kName = 1060;
constexpr int kVersion = 1002;
constexpr int kAuthor = 1018;
constexpr int kDescription = 1004;
constexpr int kReload = 1014;
constexpr int kDisable = 1109;
constexpr int kConfigure = 40004;

// The loaded plug-ins' language files for the current language; entries of the program's own
// language file win.
void addPluginLanguageFiles() {
    CLanguage* language = GetLanguage();
    if (!language) return;
    LANGUAGE information{};
    language->GetInformation(&information);
    for (const std::string& path : PluginManager::instance().languageFiles(information.languageId))
        language->AddLanguageFile(path.c_str(), 0);
}

// The hourglass while libraries load or unload.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};
} // namespace

PluginListModel::PluginListModel(QObject* parent) : QAbstractTableModel(parent) {}

void PluginListModel::reload(bool listed) {
    beginResetModel();
    records_.clear();
    if (listed) {
        PluginManager::instance().loadAll();
        records_ = PluginManager::instance().records();
    }
    endResetModel();
}

int PluginListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(records_.size()); }
int PluginListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant PluginListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const PluginRecord* r = record(index.row());
    if (role == Qt::DisplayRole) {
        if (index.column() == 1) return QString::fromStdString(r->fileName());
        const std::string name = r->name();
        return QString::fromStdString(name.empty() ? r->fileName() : name);
    }
    if (role == Qt::CheckStateRole && index.column() == 0) return r->enabled ? Qt::Checked : Qt::Unchecked;
    return {};
}

QVariant PluginListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return QString::fromStdString(loadString(section == 0 ? PluginsPage::kStringName : PluginsPage::kStringFileName));
}

Qt::ItemFlags PluginListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

bool PluginListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole) return false;
    PluginRecord* r = record(index.row());
    const bool on = value.toInt() == Qt::Checked;
    if (on == r->enabled) return true;
    {
        WaitCursor wait;
        // The chain holds the record's filters: it is built again from the settings next time.
        FilterChain::instance().discard();
        if (!on) emit pluginAboutToUnload(r);
        PluginManager::instance().setEnabled(*r, on);
        PluginManager::instance().saveStates();
    }
    emit dataChanged(index, this->index(index.row(), 1));
    emit pluginSwitched(r, r->enabled);
    return true;
}

PluginsPage::PluginsPage(QWidget* parent) : OptionsPage(page::kPlugins, parent) {
    setObjectName(controlObjectName(page::kPlugins));
    model_ = new PluginListModel(this);
    view_ = withControlId(new QTableView, kList);
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    name_ = withControlId(new QLabel, kName);
    version_ = withControlId(new QLabel, kVersion);
    author_ = withControlId(new QLabel, kAuthor);
    description_ = withControlId(new QLabel, kDescription);
    description_->setWordWrap(true);
    auto* reload = withControlId(new QPushButton("Reload"), kReload);
    auto* disable = withControlId(new QPushButton("Disable"), kDisable);
    auto* configure = withControlId(new QPushButton("Configure..."), kConfigure);
    auto* details = new QFormLayout;
    details->addRow(new QLabel("Name:"), name_);
    details->addRow(new QLabel("Version:"), version_);
    details->addRow(new QLabel("Author:"), author_);
    details->addRow(new QLabel("Description:"), description_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(reload);
    buttons->addStretch();
    buttons->addWidget(disable);
    buttons->addWidget(configure);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_, 1);
    layout->addLayout(details);
    layout->addLayout(buttons);
    translateWindow(this);

    connect(model_, &PluginListModel::pluginSwitched, this, &PluginsPage::switched);
    connect(model_, &PluginListModel::pluginAboutToUnload, this, [this] { emit pluginPagesChanged(true); });
    connect(reload, &QPushButton::clicked, this, &PluginsPage::reloadPlugins);
    connect(disable, &QPushButton::clicked, this, [this] {
        const int row = selectedRow();
        if (row >= 0) model_->setData(model_->index(row, 0), Qt::Unchecked, Qt::CheckStateRole);
    });
    connect(configure, &QPushButton::clicked, this, [this] {
        const int row = selectedRow();
        if (row >= 0) PluginManager::instance().configure(*model_->record(row), this);
    });
    const bool listed = settings::enable() != 0 && settings::filterPluginEnable() != 0;
    model_->reload(listed);
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &PluginsPage::showDetails);
    if (model_->rowCount() > 0) selectRow(0);
    if (!listed) setEnabled(false);
}

int PluginsPage::selectedRow() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void PluginsPage::selectRow(int row) {
    view_->selectRow(row);
    showDetails();
}

void PluginsPage::showDetails() {
    const int row = selectedRow();
    const PluginRecord* r = row >= 0 ? model_->record(row) : nullptr;
    const PluginInfo* info = r ? r->info : nullptr;
    name_->setText(info ? QString::fromUtf8(info->name) : QString());
    version_->setText(info ? QString::fromStdString(PluginManager::versionText(info->version)) : QString());
    author_->setText(info ? QString::fromUtf8(info->author) : QString());
    description_->setText(info ? translatedText(info->description) : QString());
}

void PluginsPage::switched(PluginRecord* record, bool enabled) {
    // A plug-in that is loaded now brings its language file along.
    if (enabled) addPluginLanguageFiles();
    (void)record;
    showDetails();
    emit pluginPagesChanged(false);
    emit changed();
}

void PluginsPage::reloadPlugins() {
    emit pluginPagesChanged(true);
    {
        WaitCursor wait;
        FilterChain::instance().discard();
        PluginManager& manager = PluginManager::instance();
        for (PluginRecord* r : manager.records()) {
            manager.unload(*r);
            if (r->enabled) manager.load(*r);
        }
    }
    const int row = selectedRow();
    model_->reload(true);
    if (model_->rowCount() > 0) selectRow(row >= 0 && row < model_->rowCount() ? row : 0);
    emit pluginPagesChanged(false);
}

PageStoreResult PluginsPage::store() {
    PluginManager::instance().saveStates();
    FilterChain::instance().save();
    return PageStoreResult::Stored;
}

} // namespace corvanthelix
