#include "common/ui/EntryListPage.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace corvanthelix::plugin {

EntryListPage::EntryListPage(QWidget* parent, const HostLink& host, const char* text, const std::vector<const char*>& headers)
    : QWidget(parent), host_(host) {
    auto* explanation = new QLabel(text);
    explanation->setWordWrap(true);
    model_ = new QStandardItemModel(0, static_cast<int>(headers.size()), this);
    view_ = new QTreeView;
    view_->setObjectName("entries");
    view_->setModel(model_);
    view_->setRootIsDecorated(false);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* add = new QPushButton("&Add...");
    add->setObjectName("add");
    delete_ = new QPushButton("&Delete");
    delete_->setObjectName("delete");
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(delete_);
    buttons->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(view_, 1);
    row->addLayout(buttons);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->addWidget(explanation);
    layout_->addLayout(row, 1);
    connect(add, &QPushButton::clicked, this, &EntryListPage::addRequested);
    connect(delete_, &QPushButton::clicked, this, &EntryListPage::deleteRequested);
    auto* key = new QShortcut(QKeySequence::Delete, view_);
    key->setContext(Qt::WidgetShortcut);
    connect(key, &QShortcut::activated, this, [this] {
        if (delete_->isEnabled()) emit deleteRequested();
    });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &EntryListPage::UpdateButtons);
    // The header texts are items of the model: set before the host translates the page's labels.
    QStringList titles;
    for (const char* header : headers) titles << header;
    model_->setHorizontalHeaderLabels(titles);
    host.TranslateWindow(this);
    for (int i = 0; i < titles.size(); ++i)
        model_->setHeaderData(i, Qt::Horizontal, QString::fromStdString(host.TranslateText(headers[static_cast<size_t>(i)])));
    if (headers.size() > 1) view_->setColumnWidth(0, 180);
    UpdateButtons();
}

void EntryListPage::Show(const std::vector<Row>& rows, const std::string& select, int keyColumn) {
    model_->removeRows(0, model_->rowCount());
    int selected = -1;
    for (const Row& row : rows) {
        QList<QStandardItem*> items;
        for (const std::string& text : row) items << new QStandardItem(QString::fromStdString(text));
        model_->appendRow(items);
        if (!select.empty() && static_cast<size_t>(keyColumn) < row.size() && row[static_cast<size_t>(keyColumn)] == select)
            selected = model_->rowCount() - 1;
    }
    if (selected >= 0) view_->setCurrentIndex(model_->index(selected, 0));
    UpdateButtons();
}

std::string EntryListPage::Selected(int column) const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows(column);
    return rows.isEmpty() ? std::string() : rows.first().data().toString().toStdString();
}

void EntryListPage::UpdateButtons() { delete_->setEnabled(view_->selectionModel()->hasSelection()); }

} // namespace corvanthelix::plugin
