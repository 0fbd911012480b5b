#include "ui/options/PrioritiesPage.h"

#include "base/Settings.h"
#include "base/StringTable.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/FilterPageControls.h"
#include "ui/widgets/ControlNames.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {
constexpr int kSpinControl = 1107;
constexpr int kSpamCombo = 1045;
constexpr int kNonSpamCombo = 1109;

QString text(int id) { return QString::fromStdString(loadString(id)); }
} // namespace

FilterPriorityModel::FilterPriorityModel(QObject* parent) : QAbstractTableModel(parent) { reload(); }

void FilterPriorityModel::reload() {
    beginResetModel();
    entries_ = FilterChain::instance().entries();
    endResetModel();
}

int FilterPriorityModel::rowOfKey(const std::string& key) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].key == key) return static_cast<int>(i);
    return -1;
}

int FilterPriorityModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}
int FilterPriorityModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant FilterPriorityModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    const ChainEntry& e = entry(index.row());
    if (index.column() == 0) return e.position;
    std::string name;
    FilterChain::filterName(e, name);
    return QString::fromStdString(name);
}

QVariant FilterPriorityModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return text(section == 0 ? PrioritiesPage::kStringPriority : PrioritiesPage::kStringFilterName);
}

PrioritiesPage::PrioritiesPage(QWidget* parent) : OptionsPage(page::kPriorities, parent) {
    setObjectName(controlObjectName(page::kPriorities));
    model_ = new FilterPriorityModel(this);
    view_ = withControlId(new QTableView, 1106);
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setStretchLastSection(true);
    auto* spin = withControlId(new QWidget, kSpinControl);
    auto* spinLayout = new QVBoxLayout(spin);
    spinLayout->setContentsMargins(0, 0, 0, 0);
    auto* up = new QToolButton;
    up->setObjectName("up");
    up->setArrowType(Qt::UpArrow);
    auto* down = new QToolButton;
    down->setObjectName("down");
    down->setArrowType(Qt::DownArrow);
    spinLayout->addWidget(up);
    spinLayout->addWidget(down);
    spinLayout->addStretch();
    onSpam_ = withControlId(new QComboBox, kSpamCombo);
    onNonSpam_ = withControlId(new QComboBox, kNonSpamCombo);
    for (QComboBox* combo : {onSpam_, onNonSpam_}) combo->addItems({text(kStringFinish), text(kStringContinue)});
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(view_, 1);
    listRow->addWidget(spin);
    auto* form = new QFormLayout;
    form->addRow(new QLabel("When the filter finds spam:"), onSpam_);
    form->addRow(new QLabel("When the filter finds no spam:"), onNonSpam_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel("The filters judge a message in this order:"));
    layout->addLayout(listRow, 1);
    layout->addLayout(form);
    translateWindow(this);
    view_->setColumnWidth(0, 80);

    connect(up, &QToolButton::clicked, this, [this] { moveSelected(true); });
    connect(down, &QToolButton::clicked, this, [this] { moveSelected(false); });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &PrioritiesPage::showBehaviour);
    for (QComboBox* combo : {onSpam_, onNonSpam_})
        connect(combo, &QComboBox::currentIndexChanged, this, &PrioritiesPage::storeBehaviour);
    refill({});
    if (settings::enable() == 0) setEnabled(false);
}

void PrioritiesPage::showEvent(QShowEvent* event) {
    // Another page (Plugins) may have changed the chain meanwhile.
    const ChainEntry* selected = selectedEntry();
    refill(selected ? selected->key : std::string());
    OptionsPage::showEvent(event);
}

void PrioritiesPage::refill(const std::string& selectKey) {
    model_->reload();
    const int row = model_->rowOfKey(selectKey);
    view_->selectRow(row >= 0 ? row : 0);
    showBehaviour();
}

ChainEntry* PrioritiesPage::selectedEntry() const {
    const QModelIndexList rows = view_->selectionModel() ? view_->selectionModel()->selectedRows() : QModelIndexList();
    if (rows.isEmpty()) return nullptr;
    const std::string key = model_->entry(rows.first().row()).key;
    for (ChainEntry* e = FilterChain::instance().Next(nullptr); e; e = FilterChain::instance().Next(e))
        if (e->key == key) return e;
    return nullptr;
}

void PrioritiesPage::showBehaviour() {
    const ChainEntry* entry = selectedEntry();
    filling_ = true;
    onSpam_->setCurrentIndex(entry && entry->continueOnSpam ? 1 : 0);
    onNonSpam_->setCurrentIndex(entry && entry->continueOnNonSpam ? 1 : 0);
    onSpam_->setEnabled(entry != nullptr);
    onNonSpam_->setEnabled(entry != nullptr);
    filling_ = false;
}

void PrioritiesPage::storeBehaviour() {
    if (filling_) return;
    ChainEntry* entry = selectedEntry();
    if (!entry) return;
    entry->continueOnSpam = onSpam_->currentIndex();
    entry->continueOnNonSpam = onNonSpam_->currentIndex();
    emit changed();
}

void PrioritiesPage::moveSelected(bool up) {
    ChainEntry* entry = selectedEntry();
    if (!entry) return;
    const std::string key = entry->key;
    if (!(up ? FilterChain::instance().moveUp(entry) : FilterChain::instance().moveDown(entry))) return;
    refill(key);
    emit changed();
}

PageStoreResult PrioritiesPage::store() {
    FilterChain::instance().save();
    return PageStoreResult::Stored;
}

} // namespace corvanthelix
