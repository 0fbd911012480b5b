#include "ui/options/SpamWordsPage.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "base/StringTable.h"
#include "base/TranslatedFormat.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/FilterPageControls.h"
#include "ui/options/SpamWordDialog.h"
#include "ui/widgets/ControlNames.h"

#include <QBrush>
#include <QCheckBox>
#include <QColor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <strings.h>

namespace corvanthelix {

namespace {
constexpr int kList = 1063;
constexpr int kShowPredefined = 1064;
constexpr int kAdd = 1013;
constexpr int kEdit = 1017;
constexpr int kDelete = 1012;
const QColor kPredefinedColour(128, 150, 192);
} // namespace

SpamWordModel::SpamWordModel(const SpamWordList& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {}

void SpamWordModel::reload(bool withPredefined) {
    beginResetModel();
    rows_ = list_.rows(withPredefined);
    endResetModel();
}

int SpamWordModel::rowOf(const std::string& word) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (strcasecmp(rows_[i].word.c_str(), word.c_str()) == 0) return static_cast<int>(i);
    return -1;
}

int SpamWordModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(rows_.size()); }
int SpamWordModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant SpamWordModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const SpamWordRow& r = row(index.row());
    if (role == Qt::DisplayRole)
        return index.column() == 0 ? QString::fromStdString(r.word) : QString("%1 %").arg(r.percent);
    if (role == Qt::ForegroundRole && r.predefined) return QBrush(kPredefinedColour);
    if (role == Qt::TextAlignmentRole && index.column() == 1) return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant SpamWordModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return translatedText(section == 0 ? "Expression" : "Probability");
}

SpamWordsPage::SpamWordsPage(QWidget* parent) : OptionsPage(page::kSpamWords, parent) {
    setObjectName(controlObjectName(page::kSpamWords));
    model_ = new SpamWordModel(list_, this);
    view_ = withControlId(new QTableView, kList);
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    // The translated heading of the percent column is wider than its numbers.
    view_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    showPredefined_ = withControlId(new QCheckBox("Show pre-defined expressions"), kShowPredefined);
    showPredefined_->setChecked(settings::showPredefinedWords() != 0);
    auto* add = withControlId(new QPushButton("&Add..."), kAdd);
    auto* edit = withControlId(new QPushButton("&Edit..."), kEdit);
    auto* remove = withControlId(new QPushButton("&Delete"), kDelete);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {add, edit, remove}) buttons->addWidget(b);
    buttons->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(view_, 1);
    row->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row, 1);
    layout->addWidget(showPredefined_);
    translateWindow(this);
    connect(add, &QPushButton::clicked, this, &SpamWordsPage::addWord);
    connect(edit, &QPushButton::clicked, this, &SpamWordsPage::editWord);
    connect(remove, &QPushButton::clicked, this, &SpamWordsPage::deleteWord);
    connect(view_, &QTableView::doubleClicked, this, &SpamWordsPage::editWord);
    connect(showPredefined_, &QCheckBox::toggled, this, [this] {
        refill({});
        emit changed();
    });
    refill({});
    if (settings::enable() == 0 || settings::filterWordEnable() == 0) setEnabled(false);
}

void SpamWordsPage::refill(const std::string& select) {
    model_->reload(showPredefined_->isChecked());
    if (!select.empty()) view_->selectRow(model_->rowOf(select));
}

int SpamWordsPage::selectedRow() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void SpamWordsPage::addWord() {
    SpamWordDialog dialog(this, list_, {}, false);
    if (dialog.exec() != QDialog::Accepted) return;
    refill(dialog.row().word);
    emit changed();
}

void SpamWordsPage::editWord() {
    const int row = selectedRow();
    if (row < 0) return;
    SpamWordDialog dialog(this, list_, model_->row(row), true);
    if (dialog.exec() != QDialog::Accepted) return;
    refill(dialog.row().word);
    emit changed();
}

void SpamWordsPage::deleteWord() {
    const int row = selectedRow();
    if (row < 0) return;
    const SpamWordRow word = model_->row(row);
    Application& app = Application::instance();
    if (word.predefined || list_.isPredefined(word.word)) {
        app.showMessage(SpamWordList::kStringPredefined, mb::kOk | mb::kIconExclamation);
        return;
    }
    const std::string question = TranslatedFormat::byId(SpamWordList::kStringDeleteQuestion, word.word.c_str());
    if (app.showMessageText(question, mb::kYesNo | mb::kIconQuestion) != answer::kYes) return;
    list_.remove(word.word);
    refill({});
    emit changed();
}

PageStoreResult SpamWordsPage::store() {
    settings::setShowPredefinedWords(showPredefined_->isChecked() ? 1 : 0);
    return PageStoreResult::Stored;
}

} // namespace corvanthelix
