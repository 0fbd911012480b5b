#include "ui/options/SenderListPage.h"

#include "base/Application.h"
#include "base/Shell.h"
#include "base/TranslatedFormat.h"
#include "filter/SenderAdding.h"
#include "filter/SenderImport.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/FilterPageControls.h"
#include "ui/options/SenderImporter.h"
#include "ui/options/SenderListModel.h"
#include "ui/widgets/ControlNames.h"
#include "ui/widgets/SenderDialog.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

namespace corvanthelix {

namespace {

constexpr const char* kMessageMime = "message/rfc822";

// The local .eml files among the dragged URLs.
QStringList messageFiles(const QMimeData* data) {
    QStringList files;
    if (!data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && url.toLocalFile().endsWith(".eml", Qt::CaseInsensitive)) files << url.toLocalFile();
    return files;
}

} // namespace

SenderListPage::SenderListPage(int pageId, int list, const char* title, QWidget* parent)
    : OptionsPage(pageId, parent), list_(list) {
    setObjectName(controlObjectName(pageId));
    setAcceptDrops(true);
    model_ = new SenderListModel(lists_, list, this);
    group_ = withControlId(new QGroupBox(title), pageControl::kSenderGroup);
    view_ = withControlId(new QTableView, pageControl::kSenderList);
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->setColumnWidth(SenderListModel::NameColumn, 180);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* add = withControlId(new QPushButton("&Add..."), pageControl::kSenderAdd);
    edit_ = withControlId(new QPushButton("&Edit..."), pageControl::kSenderEdit);
    delete_ = withControlId(new QPushButton("&Delete"), pageControl::kSenderDelete);
    auto* import = withControlId(new QPushButton("Import..."), pageControl::kSenderImport);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {add, edit_, delete_, import}) buttons->addWidget(b);
    buttons->addStretch();
    auto* inGroup = new QHBoxLayout(group_);
    inGroup->addWidget(view_, 1);
    inGroup->addLayout(buttons);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->addWidget(group_, 1);
    connect(add, &QPushButton::clicked, this, &SenderListPage::addSender);
    connect(edit_, &QPushButton::clicked, this, &SenderListPage::editSender);
    connect(delete_, &QPushButton::clicked, this, &SenderListPage::deleteSender);
    connect(import, &QPushButton::clicked, this, &SenderListPage::importSenders);
    connect(view_, &QTableView::doubleClicked, this, &SenderListPage::editSender);
    translateWindow(this);
    title_ = group_->title();
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &SenderListPage::updateButtons);
    connect(model_, &QAbstractItemModel::modelReset, this, &SenderListPage::updateButtons);
    refill();
}

SenderListPage::~SenderListPage() = default;

PageStoreResult SenderListPage::store() { return PageStoreResult::Stored; }

void SenderListPage::refill() {
    model_->reload();
    group_->setTitle(title_ + " (" + QString::fromStdString(TranslatedFormat::byId(kStringEntries, model_->rowCount())) + ")");
    updateButtons();
}

int SenderListPage::selectedRow() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void SenderListPage::updateButtons() {
    const bool selected = selectedRow() >= 0;
    edit_->setEnabled(selected);
    delete_->setEnabled(selected);
}

void SenderListPage::addSender() {
    SenderEntry proposal;
    proposal.list = list_;
    if (!SenderDialog::addOne(this, proposal, lists_)) return;
    refill();
    emit changed();
}

void SenderListPage::editSender() {
    const int row = selectedRow();
    if (row < 0) return;
    const SenderEntry stored = SenderDialog::edit(this, model_->entry(row), lists_);
    refill();
    view_->selectRow(model_->rowOf(stored.address));
    emit changed();
}

void SenderListPage::deleteSender() {
    const int row = selectedRow();
    if (row < 0) return;
    const SenderEntry entry = model_->entry(row);
    const std::string question = TranslatedFormat::byId(kStringDeleteQuestion, entry.address.c_str());
    if (Application::instance().showMessageText(question, mb::kYesNo | mb::kIconQuestion) != answer::kYes) return;
    lists_.remove(entry.address);
    refill();
    emit changed();
}

void SenderListPage::importSenders() {
    if (SenderImporter::run(this, lists_, list_) < 0) return;
    refill();
    emit changed();
}

int SenderListPage::addSendersOf(const std::vector<std::string>& sources) {
    int added = 0;
    for (const std::string& source : sources) {
        SenderEntry sender;
        if (!SenderImport::senderOfSource(source, list_, sender)) continue;
        if (SenderAdding::add(lists_, sender) == SenderAddOutcome::Added) ++added;
    }
    refill();
    if (added > 0) emit changed();
    return added;
}

void SenderListPage::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    if (isEnabled() && (data->hasFormat(kMessageMime) || !messageFiles(data).isEmpty())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void SenderListPage::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    std::vector<std::string> sources;
    if (data->hasFormat(kMessageMime)) sources.push_back(data->data(kMessageMime).toStdString());
    for (const QString& path : messageFiles(data)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) sources.push_back(file.readAll().toStdString());
    }
    if (sources.empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    addSendersOf(sources);
}

} // namespace corvanthelix
