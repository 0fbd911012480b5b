#include "ui/options/OptionsDialog.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/HelpPages.h"
#include "base/Shell.h"
#include "base/StringTable.h"
#include "base/TrayText.h"
#include "filter/PluginManager.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/ConnectionPage.h"
#include "ui/options/FilterOptionsPages.h"
#include "ui/options/GeneralPage.h"
#include "ui/options/LanguagePage.h"
#include "ui/options/PluginsPage.h"
#include "ui/options/SslTlsPage.h"
#include "ui/options/StatusWindowPage.h"
#include "ui/options/TrayAreaPage.h"
#include "ui/widgets/ControlNames.h"
#include "ui/widgets/WindowEffects.h"

#include <QApplication>
#include <QBitmap>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

namespace corvanthelix {

namespace {

struct BuiltInPage {
    int pageId;
    int parentId;
    int image;
    const char* helpFile;
};

// The built-in pages in table order; each page id is also the string id of its title.
constexpr BuiltInPage kBuiltInPages[] = {
    {4008, 0, 5, "configgeneral.htm"},      {4020, 4008, 13, "configstatuswindow.htm"},
    {4015, 4008, 9, "configtray.htm"},      {4007, 4008, 4, "configlang.htm"},
    {4003, 0, 3, "configconn.htm"},         {4021, 4003, 14, "configconnssl.htm"},
    {4010, 0, 7, "configfilter.htm"},       {4018, 4010, 12, "configpriorities.htm"},
    {4016, 4010, 10, "configtrainingarea.htm"}, {4009, 4010, 6, "configaggressiveness.htm"},
    {4011, 4010, 8, "configspamwords.htm"}, {4017, 4010, 11, "configplugins.htm"},
    {4005, 0, 2, "configsenders.htm"},      {4001, 4005, 1, "configblocked.htm"},
    {4006, 4005, 0, "configfriends.htm"},
};
constexpr int kTreeImageSize = 16;
constexpr int kTreeImageCount = 15;

QPointer<OptionsDialog>& openDialog() {
    static QPointer<OptionsDialog> dialog;
    return dialog;
}

OptionsDialog::Hooks& installedHooks() {
    static OptionsDialog::Hooks hooks;
    return hooks;
}

bool hasChildren(int pageId) {
    for (const BuiltInPage& page : kBuiltInPages)
        if (page.parentId == pageId) return true;
    return false;
}

// The pages this dialog makes itself; the filter and sender pages come from their factory.
OptionsPage* createBuiltInPage(int pageId, QWidget* parent) {
    switch (pageId) {
    case GeneralPage::kPageId: return new GeneralPage(parent);
    case StatusWindowPage::kPageId: return new StatusWindowPage(parent);
    case TrayAreaPage::kPageId: return new TrayAreaPage(parent);
    case LanguagePage::kPageId: return new LanguagePage(parent);
    case ConnectionPage::kPageId: return new ConnectionPage(parent);
    case SslTlsPage::kPageId: return new SslTlsPage(parent);
    default: return createFilterOptionsPage(pageId, parent);
    }
}

bool builtInPageExists(int pageId) {
    switch (pageId) {
    case GeneralPage::kPageId:
    case StatusWindowPage::kPageId:
    case TrayAreaPage::kPageId:
    case LanguagePage::kPageId:
    case ConnectionPage::kPageId:
    case SslTlsPage::kPageId: return true;
    default: return hasFilterOptionsPage(pageId);
    }
}

// The tree's pictures: 16 x 16 cells of "bitmaps/optionstree.bmp", magenta transparent. Empty
// when the file is missing.
std::vector<QIcon> treeImages(const std::string& resourceFolder) {
    std::vector<QIcon> images;
    QImage strip(QString::fromStdString(resourceFolder + "/bitmaps/optionstree.bmp"));
    if (strip.isNull()) return images;
    QPixmap pixmap = QPixmap::fromImage(strip);
    pixmap.setMask(pixmap.createMaskFromColor(QColor(255, 0, 255)));
    for (int i = 0; i < kTreeImageCount && (i + 1) * kTreeImageSize <= pixmap.width(); ++i)
        images.emplace_back(pixmap.copy(i * kTreeImageSize, 0, kTreeImageSize, kTreeImageSize));
    return images;
}

} // namespace

void OptionsDialog::setHooks(Hooks hooks) { installedHooks() = std::move(hooks); }

OptionsDialog::Hooks& OptionsDialog::hooks() { return installedHooks(); }

OptionsDialog* OptionsDialog::current() { return openDialog().data(); }

OptionsDialog* OptionsDialog::open(int pageId) {
    OptionsDialog* dialog = openDialog().data();
    if (!dialog) {
        dialog = new OptionsDialog(pageId);
        openDialog() = dialog;
    } else if (dialog->isMinimized()) {
        dialog->showNormal();
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

OptionsDialog::OptionsDialog(int pageId) : QDialog(nullptr), currentPageId_(pageId) {
    setObjectName(controlObjectName(resource::kOptionsDialog));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Settings");

    tree_ = withControlId(new QTreeWidget(this), control::kOptionsTree);
    tree_->setHeaderHidden(true);
    tree_->setFixedWidth(225);
    tree_->setIconSize(QSize(kTreeImageSize, kTreeImageSize));
    pageArea_ = withControlId(new QWidget(this), control::kOptionsPagePlace);
    pageArea_->setMinimumSize(500, 400);
    pageLayout_ = new QVBoxLayout(pageArea_);
    pageLayout_->setContentsMargins(0, 0, 0, 0);

    version_ = withControlId(new QLabel(this), control::kOptionsVersion);
    version_->setEnabled(false);
    ok_ = withControlId(new QPushButton("OK", this), control::kOk);
    ok_->setDefault(true);
    cancel_ = withControlId(new QPushButton("Cancel", this), control::kCancel);
    help_ = withControlId(new QPushButton("Help", this), control::kHelp);
    apply_ = withControlId(new QPushButton("Apply", this), control::kApply);
    connect(ok_, &QPushButton::clicked, this, &OptionsDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &OptionsDialog::reject);
    connect(help_, &QPushButton::clicked, this, &OptionsDialog::showHelp);
    connect(apply_, &QPushButton::clicked, this, &OptionsDialog::apply);

    auto* body = new QHBoxLayout;
    body->addWidget(tree_);
    body->addWidget(pageArea_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(version_);
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    buttons->addWidget(help_);
    buttons->addWidget(apply_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);

    translateWindow(this);
    version_->setText(QString::fromStdString(tray::versionTooltip()));
    apply_->setEnabled(false);
    buildTable();
    fillTree();
    connect(tree_, &QTreeWidget::currentItemChanged, this, &OptionsDialog::onSelectionChanged);
    if (!selectPage(currentPageId_) && !table_.empty()) {
        for (const PageEntry& row : table_)
            if (row.item && selectPage(row.pageId)) break;
    }
}

OptionsDialog::~OptionsDialog() {
    // Plug-in widgets must go before a plug-in could be unloaded; the built-in ones go with them.
    destroyPages();
    Application::instance().trimWorkingSet();
}

void OptionsDialog::buildTable() {
    table_.clear();
    for (const BuiltInPage& builtIn : kBuiltInPages) {
        PageEntry row;
        row.pageId = builtIn.pageId;
        row.parentId = builtIn.parentId;
        row.hasChildren = hasChildren(builtIn.pageId);
        row.image = builtIn.image;
        row.helpFile = builtIn.helpFile;
        row.title = loadString(builtIn.pageId);
        table_.push_back(std::move(row));
    }
    appendPluginRows();
}

void OptionsDialog::appendPluginRows() {
    for (PluginRecord* plugin : PluginManager::instance().records()) {
        const PageList* pages = plugin->loaded() ? PluginManager::instance().pages(*plugin) : nullptr;
        if (!pages) continue;
        for (uint32_t i = 0; i < pages->count; ++i) {
            const PageRecord& record = pages->pages[i];
            PageEntry row;
            row.pageId = static_cast<int>(record.dialogId);
            row.parentId = static_cast<int>(record.parentId);
            row.hasChildren = record.hasSubPages != 0;
            row.helpFile = record.helpFile ? record.helpFile : "";
            row.title = translatedText(record.title ? record.title : "").toStdString();
            row.plugin = plugin;
            row.pluginPage = &record;
            table_.push_back(std::move(row));
        }
    }
}

void OptionsDialog::fillTree() {
    tree_->blockSignals(true);
    tree_->clear();
    const std::vector<QIcon> images = treeImages(Application::instance().resourceFolder());
    // A plug-in numbers its pages on its own (its numbers may equal built-in ones): a parent is
    // looked up among the pages of the same list.
    std::map<std::pair<const PluginRecord*, int>, QTreeWidgetItem*> items;
    for (size_t index = 0; index < table_.size(); ++index) {
        PageEntry& row = table_[index];
        row.item = nullptr;
        const bool exists = row.plugin ? hasPluginOptionsPages() : builtInPageExists(row.pageId);
        if (!exists) continue;
        QTreeWidgetItem* parent = nullptr;
        if (auto found = items.find({row.plugin, row.parentId}); row.parentId != 0 && found != items.end())
            parent = found->second;
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
        item->setText(0, QString::fromStdString(row.title));
        item->setData(0, Qt::UserRole, row.pageId);
        item->setData(0, kRowRole, static_cast<int>(index));
        if (row.plugin && row.pluginPage && row.pluginPage->icon) {
            item->setIcon(0, QIcon(QString::fromUtf8(row.pluginPage->icon)));
        } else if (row.image >= 0 && static_cast<size_t>(row.image) < images.size()) {
            item->setIcon(0, images[static_cast<size_t>(row.image)]);
        }
        if (parent) parent->setExpanded(true);
        row.item = item;
        items.emplace(std::make_pair(static_cast<const PluginRecord*>(row.plugin), row.pageId), item);
    }
    tree_->blockSignals(false);
}

OptionsDialog::PageEntry* OptionsDialog::entry(int pageId) {
    if (PageEntry* builtIn = entry(nullptr, pageId)) return builtIn;
    for (PageEntry& row : table_)
        if (row.pageId == pageId && row.item) return &row;
    return nullptr;
}

OptionsDialog::PageEntry* OptionsDialog::entry(const PluginRecord* plugin, int pageId) {
    for (PageEntry& row : table_)
        if (row.plugin == plugin && row.pageId == pageId && row.item) return &row;
    return nullptr;
}

OptionsPage* OptionsDialog::page(int pageId) const {
    for (const PageEntry& row : table_)
        if (!row.plugin && row.pageId == pageId) return row.page;
    for (const PageEntry& row : table_)
        if (row.pageId == pageId) return row.page;
    return nullptr;
}

OptionsPage* OptionsDialog::createPage(PageEntry& row) {
    if (row.page) return row.page;
    if (row.plugin && row.pluginPage) row.page = createPluginOptionsPage(*row.plugin, *row.pluginPage, pageArea_);
    else row.page = createBuiltInPage(row.pageId, pageArea_);
    if (!row.page) return nullptr;
    row.page->setObjectName(controlObjectName(row.pageId));
    row.page->hide();
    pageLayout_->addWidget(row.page);
    connect(row.page, &OptionsPage::changed, this, &OptionsDialog::markChanged);
    if (auto* plugins = qobject_cast<PluginsPage*>(row.page))
        connect(plugins, &PluginsPage::pluginPagesChanged, this, &OptionsDialog::pluginPagesChanged);
    return row.page;
}

bool OptionsDialog::selectPage(int pageId) {
    PageEntry* row = entry(pageId == 0 && !table_.empty() ? table_.front().pageId : pageId);
    return row && showEntry(*row);
}

bool OptionsDialog::showEntry(PageEntry& entry) {
    PageEntry* row = &entry;
    OptionsPage* shown = createPage(*row);
    if (!shown) return false;
    for (PageEntry& other : table_)
        if (other.page && other.page != shown) other.page->hide();
    shown->show();
    currentPageId_ = row->pageId;
    currentPlugin_ = row->plugin;
    if (tree_->currentItem() != row->item) {
        tree_->blockSignals(true);
        tree_->setCurrentItem(row->item);
        tree_->blockSignals(false);
    }
    return true;
}

void OptionsDialog::onSelectionChanged() {
    QTreeWidgetItem* item = tree_->currentItem();
    if (!item) return;
    const bool byMouse = QApplication::mouseButtons() != Qt::NoButton;
    const int index = item->data(0, kRowRole).toInt();
    if (index < 0 || static_cast<size_t>(index) >= table_.size()) return;
    PageEntry& row = table_[static_cast<size_t>(index)];
    if (showEntry(row) && byMouse && row.page) row.page->setFocus();
}

void OptionsDialog::markChanged() { apply_->setEnabled(true); }

void OptionsDialog::pluginPagesChanged(bool aboutToUnload) {
    bool opened = false;
    for (const PageEntry& row : table_) opened = opened || (row.plugin && row.page);
    if (aboutToUnload && opened &&
        Application::instance().showMessage(kStringPluginChanged, mb::kYesNo | mb::kIconQuestion) == answer::kYes) {
        for (PageEntry& row : table_)
            if (row.plugin && row.page) row.page->store();
    }
    const bool pluginShown = currentPlugin_ != nullptr;
    for (PageEntry& row : table_) {
        if (!row.plugin) continue;
        delete row.page;
        row.page = nullptr;
    }
    table_.erase(std::remove_if(table_.begin(), table_.end(), [](const PageEntry& row) { return row.plugin != nullptr; }),
                 table_.end());
    if (!aboutToUnload) appendPluginRows();
    fillTree();
    PageEntry* again = pluginShown ? nullptr : entry(nullptr, currentPageId_);
    if (!again || !showEntry(*again)) selectPage(0);
}

void OptionsDialog::destroyPages() {
    for (PageEntry& row : table_) {
        delete row.page;
        row.page = nullptr;
    }
}

bool OptionsDialog::storePages() {
    bool restart = false;
    for (PageEntry& row : table_) {
        if (!row.plugin || !row.page) continue;
        const PageStoreResult result = row.page->store();
        if (result == PageStoreResult::Refused) {
            showEntry(row);
            return false;
        }
        restart = restart || result == PageStoreResult::RestartNeeded;
    }
    // The plug-in pages are made again when shown, so they load what their plug-in now holds.
    for (PageEntry& row : table_) {
        if (!row.plugin || !row.page) continue;
        delete row.page;
        row.page = nullptr;
    }
    for (PageEntry& row : table_) {
        if (row.plugin || !row.page) continue;
        const PageStoreResult result = row.page->store();
        if (result == PageStoreResult::Refused) {
            showEntry(row);
            return false;
        }
        restart = restart || result == PageStoreResult::RestartNeeded;
    }
    if (restart) {
        Application::instance().showMessage(kStringRestart, mb::kOk | mb::kIconInformation);
        if (hooks().restart) hooks().restart();
    }
    if (hooks().afterStore) hooks().afterStore();
    return true;
}

void OptionsDialog::accept() {
    if (!storePages()) return;
    QDialog::accept();
}

void OptionsDialog::apply() {
    if (!storePages()) return;
    const int shown = currentPageId_;
    const PluginRecord* shownPlugin = currentPlugin_;
    destroyPages();
    buildTable();
    fillTree();
    PageEntry* again = entry(shownPlugin, shown);
    if (!again || !showEntry(*again)) selectPage(0);
    apply_->setEnabled(false);
}

void OptionsDialog::showHelp() {
    std::string file = kDefaultHelpPage;
    for (const PageEntry& row : table_)
        if (row.pageId == currentPageId_ && row.plugin == currentPlugin_ && row.item && !row.helpFile.empty())
            file = row.helpFile;
    const std::string url = help::pageHelpUrl(Application::instance().resourceFolder(), file, help::germanLanguage());
    if (hooks().openUrl) hooks().openUrl(url);
    else QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void OptionsDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        showHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}

void OptionsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!faded_ && fadingWanted()) {
        faded_ = true;
        fadeWindow(this, true);
    }
}

} // namespace corvanthelix
