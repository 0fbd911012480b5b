#include "ui/windows/RecycleBinWindow.h"

#include "base/Application.h"
#include "base/Shell.h"
#include "base/ControlIds.h"
#include "base/HelpPages.h"
#include "base/Settings.h"
#include "base/TranslatedFormat.h"
#include "base/StringTable.h"
#include "filter/SenderAdding.h"
#include "stores/RecycleBin.h"
#include "stores/RecycleBinRules.h"
#include "stores/RecycleRestore.h"
#include "ui/language/WindowTranslation.h"
#include "ui/widgets/ControlNames.h"
#include "ui/widgets/ListWindowPlacement.h"
#include "ui/widgets/MultipleSendersDialog.h"
#include "ui/widgets/WindowEffects.h"
#include "ui/windows/MessageViewer.h"
#include "ui/windows/RecycleBinModel.h"
#include "ui/windows/RecycleBinSortModel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <vector>

namespace corvanthelix {

namespace {

constexpr const char* kHelpPage = "recycle.htm";
constexpr int kToolbarImage = 32;
constexpr int kStatusRightPart = 200;
const QSize kInitialSize(960, 580);
const QColor kTransparent(255, 0, 255);

// The column the list was last sorted by; kept for the run, like the store.
int gSortColumn = RecycleBinRules::kColumnDate;
QPointer<RecycleBinWindow> gOpenWindow;

struct ToolbarButton {
    int command;
    int image;
    int text;
};
constexpr ToolbarButton kToolbar[] = {
    {command::kViewMessage, 2, 139},  {command::kRestoreMessages, 3, 142}, {command::kDeleteMessages, 0, 140},
    {command::kEmptyBin, 1, 125},     {command::kDocumentation, 4, 147},
};

struct PaneField {
    int id;
    const char* caption;
};
// In the order of RecyclePaneTexts.
constexpr PaneField kPaneFields[] = {
    {control::kRecyclePaneSender, "Sender:"},
    {control::kRecyclePaneSubject, "Subject:"},
    {control::kRecyclePaneFilter, "Blocked by:"},
    {control::kRecyclePaneWords, "Spam Words:"},
    {control::kRecyclePaneProbability, "Probability of Spam:"},
    {control::kRecyclePaneSize, "Size:"},
    {control::kRecyclePaneAccount, "Mail account:"},
};

struct MenuItem {
    int command; // 0: separator
    const char* text;
    int key = 0; // shown beside the text; the list's own shortcuts run it
};
constexpr MenuItem kMenu[] = {
    {command::kViewMessage, "&View message", Qt::Key_Return},
    {0, nullptr},
    {command::kAddToBlocked, "&Add sender to blocked senders list"},
    {command::kAddToFriends, "Add sender to my &friends"},
    {0, nullptr},
    {command::kRestoreMessages, "&Restore"},
    {command::kDeleteMessages, "&Delete", Qt::Key_Delete},
    {0, nullptr},
    {command::kResetAccount, "&Reset account information"},
    {0, nullptr},
    {command::kEmptyBin, "&Empty bin"},
};

QString qText(const std::string& text) { return QString::fromStdString(text); }

QIcon toolbarImage(const QImage& strip, int image) {
    if (strip.isNull()) return {};
    QImage part = strip.copy(image * kToolbarImage, 0, kToolbarImage, kToolbarImage).convertToFormat(QImage::Format_ARGB32);
    // The bitmap marks its transparent pixels in magenta.
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            if (part.pixelColor(x, y) == kTransparent) part.setPixelColor(x, y, Qt::transparent);
    return QIcon(QPixmap::fromImage(part));
}

int ask(const std::string& text, const char* key) {
    return Application::instance().shell().optionalMessageBox(text, Application::kName, mb::kYesNo | mb::kIconQuestion,
                                                              key, answer::kYes);
}

// The restore command's questions, put to the person through the shell.
class RestoreQuestions : public RecycleRestoreQuestions {
public:
    bool confirmRestore(int stringId) override {
        return ask(loadString(stringId), settings::optionalBox::kRecycleBinRestoreQuestion) == answer::kYes;
    }
    bool confirmDownload(const std::string& sender, const std::string& subject) override {
        const std::string text = TranslatedFormat::byId(RecycleRestore::kStringDownloadFirst, sender.c_str(), subject.c_str());
        return Application::instance().showMessageText(text, mb::kYesNo | mb::kIconQuestion) == answer::kYes;
    }
    void cannotRestore(const std::string& sender, const std::string& subject) override {
        const std::string text = TranslatedFormat::byId(RecycleRestore::kStringDeletedFromServer, sender.c_str(), subject.c_str());
        Application::instance().showMessageText(text, mb::kOk | mb::kIconStop);
    }
    void restored(int stringId) override {
        Application::instance().shell().optionalMessageBox(loadString(stringId), Application::kName,
                                                           mb::kOk | mb::kIconInformation,
                                                           settings::optionalBox::kRecycleBinRestoredInformation,
                                                           answer::kOk);
    }
    void downloading(bool running) override {
        if (running) QApplication::setOverrideCursor(Qt::WaitCursor);
        else QApplication::restoreOverrideCursor();
    }
};

} // namespace

RecycleBinWindow* RecycleBinWindow::open(RecycleBin& bin, const std::string& programFolder) {
    if (RecycleBinWindow* window = gOpenWindow.data()) {
        if (window->isMinimized()) window->showNormal();
        window->show();
        window->raise();
        window->activateWindow();
        return window;
    }
    auto* window = new RecycleBinWindow(bin, programFolder);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (fadingWanted()) fadeWindow(window, true);
    else window->show();
    window->raise();
    window->activateWindow();
    return window;
}

RecycleBinWindow* RecycleBinWindow::current() { return gOpenWindow.data(); }

MessageViewer* RecycleBinWindow::viewer() const { return viewer_.data(); }

RecycleBinWindow::RecycleBinWindow(RecycleBin& bin, std::string programFolder, QWidget* parent)
    : QMainWindow(parent), bin_(bin), programFolder_(std::move(programFolder)) {
    gOpenWindow = this;
    setObjectName(controlObjectName(resource::kRecycleBinWindow));
    setWindowTitle("Recycle bin");
    setWindowIcon(QIcon(qText(programFolder_ + "/icons/recycle.ico")));

    model_ = new RecycleBinModel(QIcon(qText(programFolder_ + "/icons/restore.ico")), this);
    sorted_ = new RecycleBinSortModel(model_, this);
    list_ = withControlId(new QTableView, control::kRecycleList);
    list_->setModel(sorted_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    list_->horizontalHeader()->setSectionsClickable(true);
    list_->horizontalHeader()->setSortIndicatorShown(true);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->horizontalHeader()->setStretchLastSection(false);
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);
    connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) { sortBy(column); });
    connect(list_, &QTableView::doubleClicked, this, [this] { runCommand(command::kViewMessage); });

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(list_, 1);
    setCentralWidget(central);

    buildToolbar();
    buildPane();
    layout->addWidget(separator_);
    layout->addWidget(pane_);
    buildMenu();
    buildShortcuts();

    ready_ = new QLabel;
    ready_->setObjectName("idStatusReady");
    totals_ = new QLabel;
    totals_->setObjectName("idStatusTotals");
    totals_->setMinimumWidth(kStatusRightPart);
    statusBar()->addWidget(ready_, 1);
    statusBar()->addPermanentWidget(totals_);

    translateWindow(this);
    translateMenu(menu_);
    // String-table texts are translated already; they are set after the window's translation.
    ready_->setText(qText(loadString(RecycleBinRules::kStringReady)));
    setTrainingAreaOpener(nullptr);

    resize(kInitialSize);
    bin_.setWindowOpen(true);
    fillList();
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { refresh(); });
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { refresh(); });
    if (sorted_->rowCount() > 0) list_->selectRow(0);
    setPaneShown(settings::recycleBinShowInfo() == 1);
    restorePlacement();
    refresh();
}

RecycleBinWindow::~RecycleBinWindow() {
    delete viewer_.data();
    bin_.setWindowOpen(false);
    bin_.clearSeenFlags();
    Application::instance().trimWorkingSet();
}

// --- building --------------------------------------------------------------------------------------

void RecycleBinWindow::buildToolbar() {
    auto* toolbar = new QToolBar;
    toolbar->setObjectName("idToolbar");
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(kToolbarImage, kToolbarImage));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    const QImage strip(qText(programFolder_ + "/bitmaps/recycletoolbar.bmp"));
    for (const ToolbarButton& button : kToolbar) {
        QAction* action = toolbar->addAction(toolbarImage(strip, button.image), qText(loadString(button.text)));
        action->setObjectName(controlObjectName(button.command));
        const int id = button.command;
        connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
        if (id == command::kViewMessage) view_ = action;
        if (id == command::kRestoreMessages) restore_ = action;
        if (id == command::kDeleteMessages) delete_ = action;
        if (id == command::kEmptyBin) empty_ = action;
    }
    // The switch to the training area window sits at the right end, where the title bar's extra
    // button stands on systems that draw one.
    auto* spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    switch_ = withControlId(new QToolButton, command::kSwitchWindow);
    switch_->setIcon(QIcon(qText(programFolder_ + "/icons/switchto_tb.ico")));
    switch_->setIconSize(QSize(24, 24));
    switch_->setAutoRaise(true);
    connect(switch_, &QToolButton::clicked, this, [this] { runCommand(command::kSwitchWindow); });
    toolbar->addWidget(switch_);
    addToolBar(Qt::TopToolBarArea, toolbar);
}

void RecycleBinWindow::buildPane() {
    toggle_ = withControlId(new QToolButton, control::kRecyclePaneToggle);
    toggle_->setAutoRaise(true);
    toggle_->setIconSize(QSize(16, 16));
    connect(toggle_, &QToolButton::clicked, this, [this] { runCommand(control::kRecyclePaneToggle); });

    pane_ = withControlId(new QFrame, control::kRecyclePaneShown);
    pane_->setAutoFillBackground(true);
    QPalette white = pane_->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    pane_->setPalette(white);
    auto* grid = new QGridLayout(pane_);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(2);
    QFont bold = font();
    bold.setBold(true);
    const int rows = (std::size(kPaneFields) + 1) / 2;
    int index = 0;
    for (const PaneField& field : kPaneFields) {
        auto* caption = new QLabel(field.caption);
        caption->setFont(bold);
        auto* value = withControlId(new QLabel, field.id);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        value->setMinimumWidth(80);
        const int row = index % rows;
        const int column = index / rows * 2 + 1;
        grid->addWidget(caption, row, column);
        grid->addWidget(value, row, column + 1);
        paneFields_.push_back(value);
        ++index;
    }
    grid->addWidget(toggle_, 0, 0, Qt::AlignTop);
    grid->setColumnStretch(2, 3);
    grid->setColumnStretch(4, 2);

    // While the pane is hidden, a thin bar with the toggle stands in its place.
    separator_ = withControlId(new QFrame, control::kRecyclePaneHidden);
    separator_->setFrameShape(QFrame::StyledPanel);
    auto* bar = new QHBoxLayout(separator_);
    bar->setContentsMargins(8, 0, 8, 0);
    bar->addStretch();
}

void RecycleBinWindow::buildMenu() {
    menu_ = new QMenu("Mail", this);
    menu_->setObjectName(controlObjectName(resource::kRecycleBinMenu));
    for (const MenuItem& item : kMenu) {
        if (item.command == 0) {
            menu_->addSeparator();
            continue;
        }
        QAction* action = menu_->addAction(item.text);
        action->setObjectName(controlObjectName(item.command));
        if (item.key) {
            action->setShortcut(QKeySequence(item.key));
            // Only shown in the menu: the list's shortcuts are the ones that act.
            action->setShortcutContext(Qt::WidgetShortcut);
        }
        const int id = item.command;
        connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    }
}

void RecycleBinWindow::buildShortcuts() {
    struct Key {
        QKeySequence keys;
        int command;
    };
    const Key keys[] = {
        {QKeySequence(Qt::Key_Return), command::kViewMessage},
        {QKeySequence(Qt::Key_Enter), command::kViewMessage},
        {QKeySequence(Qt::Key_Delete), command::kDeleteMessages},
        {QKeySequence(Qt::CTRL | Qt::Key_T), command::kSwitchWindow},
        {QKeySequence(Qt::Key_F1), command::kDocumentation},
    };
    for (const Key& key : keys) {
        auto* shortcut = new QShortcut(key.keys, list_);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        const int id = key.command;
        connect(shortcut, &QShortcut::activated, this, [this, id] { runCommand(id); });
    }
    // Ctrl+A selects every row: the list's own select-all.
}

// --- placement --------------------------------------------------------------------------------------

void RecycleBinWindow::restorePlacement() {
    using namespace settings;
    // Before the first show the list has no width of its own yet; the window has.
    const int viewWidth = (isVisible() ? list_->viewport()->width() : width() - 4);
    const int scroll = list_->verticalScrollBar()->sizeHint().width();
    // Date, probability and size get what their header and a typical value need; sender, subject,
    // filter and account share the rest as 3 : 4 : 2 : 2, so every column is in view and the
    // filter's longest usual text ("(Blocked Sender)") fits.
    const QFontMetrics header = list_->horizontalHeader()->fontMetrics();
    auto fitted = [&](int column, const char* sample) {
        const QString title = model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        return std::max(header.horizontalAdvance(title), list_->fontMetrics().horizontalAdvance(sample)) + 24;
    };
    int initial[RecycleBinRules::kColumnCount] = {};
    initial[RecycleBinRules::kColumnDate] = fitted(RecycleBinRules::kColumnDate, "00.00.0000, 00:00");
    initial[RecycleBinRules::kColumnProbability] = fitted(RecycleBinRules::kColumnProbability, "100.00 %");
    initial[RecycleBinRules::kColumnSize] = fitted(RecycleBinRules::kColumnSize, "0000.00 KB");
    const int rest = std::max(200, viewWidth - scroll - initial[2] - initial[4] - initial[6]);
    initial[RecycleBinRules::kColumnSender] = rest * 3 / 11;
    initial[RecycleBinRules::kColumnSubject] = rest * 4 / 11;
    initial[RecycleBinRules::kColumnFilter] = rest * 2 / 11;
    initial[RecycleBinRules::kColumnAccount] = rest * 2 / 11;
    restoreListWindowPlacement(*this, *list_, section::kRecycleBinWindow,
                               std::vector<int>(std::begin(initial), std::end(initial)));
}

void RecycleBinWindow::savePlacement() const {
    saveListWindowPlacement(*this, *list_, settings::section::kRecycleBinWindow, RecycleBinRules::kColumnCount);
}

void RecycleBinWindow::closeEvent(QCloseEvent* event) {
    savePlacement();
    QMainWindow::closeEvent(event);
}

// --- list -------------------------------------------------------------------------------------------

void RecycleBinWindow::fillList() {
    std::lock_guard lock(bin_.lock());
    std::vector<RecycleEntry> entries = bin_.entries();
    if (entries.empty()) {
        // An index without entries may have lost them: look at the folder's files.
        bin_.rebuildIndex(true);
        bin_.clearSeenFlags();
        entries = bin_.entries();
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    model_->setRows(RecycleBinRules::rowsFor(entries));
    sortBy(gSortColumn);
    QApplication::restoreOverrideCursor();
    refresh();
}

void RecycleBinWindow::sortBy(int column) {
    if (column < 0 || column >= RecycleBinRules::kColumnCount) return;
    gSortColumn = column;
    sorted_->sort(column, Qt::AscendingOrder);
    list_->horizontalHeader()->setSortIndicator(column, Qt::AscendingOrder);
}

void RecycleBinWindow::reloadKeepingSelection() {
    const std::vector<std::string> selected = selectedNames();
    const QModelIndex current = list_->currentIndex();
    const std::string currentName =
        current.isValid() ? model_->rows()[sorted_->mapToSource(current).row()].name : std::string();
    {
        std::lock_guard lock(bin_.lock());
        model_->setRows(RecycleBinRules::rowsFor(bin_.entries()));
    }
    std::vector<std::string> names = selected;
    // The current row first, so it stays the selection mark.
    auto at = std::find(names.begin(), names.end(), currentName);
    if (at != names.end()) std::rotate(names.begin(), at, at + 1);
    selectNames(names);
}

void RecycleBinWindow::rowChanged(RecycleRowChange change, const std::string& fileName) {
    switch (change) {
    case RecycleRowChange::Added:
    case RecycleRowChange::Changed: {
        std::lock_guard lock(bin_.lock());
        for (const RecycleEntry& entry : bin_.entries()) {
            if (entry.name != fileName) continue;
            if (std::optional<RecycleRow> row = RecycleBinRules::rowFor(entry)) model_->putRow(std::move(*row));
            else model_->removeRow(fileName);
            break;
        }
        break;
    }
    case RecycleRowChange::Removed: model_->removeRow(fileName); break;
    case RecycleRowChange::Reloaded: fillList(); break;
    }
    refresh();
}

std::vector<std::string> RecycleBinWindow::selectedNames() const {
    std::vector<std::string> names;
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows) names.push_back(model_->rows()[sorted_->mapToSource(index).row()].name);
    return names;
}

void RecycleBinWindow::selectNames(const std::vector<std::string>& names) {
    QItemSelectionModel* selection = list_->selectionModel();
    selection->clearSelection();
    bool first = true;
    for (const std::string& name : names) {
        const int sourceRow = model_->find(name);
        if (sourceRow < 0) continue;
        const QModelIndex index = sorted_->mapFromSource(model_->index(sourceRow, 0));
        const auto flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
        if (first) selection->setCurrentIndex(index, flags);
        else selection->select(index, flags);
        first = false;
    }
}

std::vector<const RecycleRow*> RecycleBinWindow::selectedRows() const {
    std::vector<const RecycleRow*> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        rows.push_back(&model_->rows()[sorted_->mapToSource(index).row()]);
    return rows;
}

int RecycleBinWindow::currentSourceRow() const {
    const QModelIndex current = list_->currentIndex();
    if (current.isValid() && list_->selectionModel()->isRowSelected(current.row(), {}))
        return sorted_->mapToSource(current).row();
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : sorted_->mapToSource(rows.front()).row();
}

// --- state ------------------------------------------------------------------------------------------

void RecycleBinWindow::refresh() {
    const int rows = model_->rowCount();
    const std::vector<const RecycleRow*> selected = selectedRows();
    const RecycleToolbarState state = RecycleBinRules::toolbarState(static_cast<int>(selected.size()), rows);
    view_->setEnabled(state.view);
    restore_->setEnabled(state.restore);
    delete_->setEnabled(state.remove);
    empty_->setEnabled(state.emptyBin);
    for (QAction* action : menu_->actions()) {
        const int id = action->objectName().mid(2).toInt();
        if (id == command::kEmptyBin) action->setEnabled(state.emptyBin);
        else if (!action->isSeparator()) action->setEnabled(state.view);
    }
    const RecyclePaneTexts texts = RecycleBinRules::paneTexts(selected);
    const std::string* values[] = {&texts.sender,      &texts.subject, &texts.filterName, &texts.spamWords,
                                   &texts.probability, &texts.size,    &texts.account};
    for (size_t i = 0; i < paneFields_.size(); ++i) {
        paneFields_[i]->setText(qText(*values[i]));
        paneFields_[i]->setToolTip(qText(*values[i]));
    }
    totals_->setText(qText(RecycleBinRules::statusTotals(rows, model_->totalSize())));
}

void RecycleBinWindow::setPaneShown(bool shown) {
    paneShown_ = shown;
    // The toggle stays in front of whichever of the two is shown.
    QLayout* target = shown ? pane_->layout() : separator_->layout();
    if (auto* grid = qobject_cast<QGridLayout*>(target)) grid->addWidget(toggle_, 0, 0, Qt::AlignTop);
    else if (auto* box = qobject_cast<QBoxLayout*>(target)) box->insertWidget(0, toggle_);
    toggle_->show();
    pane_->setVisible(shown);
    separator_->setVisible(!shown);
    toggle_->setIcon(QIcon(qText(programFolder_ + (shown ? "/icons/down.ico" : "/icons/up.ico"))));
}

void RecycleBinWindow::setTrainingAreaOpener(std::function<void()> open) {
    openTrainingArea_ = std::move(open);
    switch_->setEnabled(static_cast<bool>(openTrainingArea_));
    switch_->setToolTip(openTrainingArea_ ? translatedText("Switch to the training area (Ctrl+T)")
                                          : translatedText("The training area window is not available yet."));
}

// --- commands ---------------------------------------------------------------------------------------

void RecycleBinWindow::runCommand(int id) {
    switch (id) {
    case control::kOk:
    case command::kViewMessage: viewMessage(); break;
    case command::kDocumentation:
        QDesktopServices::openUrl(QUrl(qText(help::pageHelpUrl(programFolder_, kHelpPage, help::germanLanguage()))));
        break;
    case command::kSwitchWindow:
        if (openTrainingArea_) openTrainingArea_();
        break;
    case command::kEmptyBin: emptyBin(); break;
    case control::kRecyclePaneToggle:
        setPaneShown(!paneShown_);
        settings::setRecycleBinShowInfo(paneShown_ ? 1 : 0);
        break;
    case command::kDeleteMessages: deleteSelected(); break;
    case command::kRestoreMessages: restoreSelected(); break;
    case command::kAddToBlocked: addSenders(SenderEntry::kBlocked); break;
    case command::kAddToFriends: addSenders(SenderEntry::kFriend); break;
    case command::kResetAccount: hideAccountOfSelected(); break;
    default: return;
    }
    // The window may have been closed by the command's boxes; it is deleted later, not yet.
    refresh();
}

void RecycleBinWindow::viewMessage() {
    const int row = currentSourceRow();
    if (row < 0) return;
    const std::string name = model_->rows()[row].name;
    const std::optional<ViewerDecision> decision = bin_.viewerChoiceFor(name);
    if (!decision) return;
    if (!viewer_) viewer_ = new MessageViewer(this);
    switch (decision->choice) {
    case ViewerChoice::ShowFile: viewer_->showFile(bin_.folder() + name); break;
    case ViewerChoice::ShowDeleted: viewer_->showDeleted(); break;
    case ViewerChoice::ShowNotDownloaded:
        viewer_->showNotDownloaded([bin = &bin_, name] {
            std::string newName;
            return bin->downloadComplete(name, &newName) ? bin->folder() + newName : std::string();
        });
        break;
    }
}

void RecycleBinWindow::restoreSelected() {
    const std::vector<std::string> selected = selectedNames();
    if (selected.empty()) return;
    RestoreQuestions questions;
    const RecycleRestoreResult result = RecycleRestore::run(bin_, selected, questions);
    reloadKeepingSelection();
    // A downloaded message has a new row: keep it selected in place of the old one.
    std::vector<std::string> names = selectedNames();
    for (const std::string& name : result.restored)
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    selectNames(names);
}

void RecycleBinWindow::deleteSelected() {
    const std::vector<std::string> selected = selectedNames();
    if (selected.empty()) return;
    const int question = selected.size() > 1 ? 150 : 119;
    if (ask(loadString(question), settings::optionalBox::kRecycleBinDeleteQuestion) != answer::kYes) return;
    bin_.deleteEntries(selected);
    for (const std::string& name : selected) model_->removeRow(name);
}

void RecycleBinWindow::emptyBin() {
    if (model_->rowCount() == 0) return;
    if (ask(loadString(120), settings::optionalBox::kRecycleBinEmptyQuestion) != answer::kYes) return;
    bin_.emptyBin();
    fillList();
}

void RecycleBinWindow::hideAccountOfSelected() {
    const std::vector<std::string> selected = selectedNames();
    if (selected.empty()) return;
    bin_.hideAccounts(selected);
    reloadKeepingSelection();
}

void RecycleBinWindow::addSenders(int list) {
    std::vector<std::string> paths;
    for (const std::string& name : selectedNames()) paths.push_back(bin_.folder() + name);
    if (paths.empty()) return;
    const std::vector<SenderEntry> senders = SenderAdding::sendersOfFiles(paths, list);
    MultipleSendersDialog::addSenders(this, senders, list, SenderLists());
}

// --- mouse and keys ---------------------------------------------------------------------------------

void RecycleBinWindow::showContextMenu(const QPoint& globalPosition) {
    refresh();
    menu_->popup(globalPosition);
}

bool RecycleBinWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ContextMenu) {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        if (menuEvent->reason() == QContextMenuEvent::Keyboard) {
            // The menu key opens the menu at the selected row.
            const QRect row = list_->visualRect(list_->currentIndex());
            const QPoint at = row.isValid() ? row.bottomLeft() : QPoint(0, 0);
            showContextMenu(list_->viewport()->mapToGlobal(at));
        } else {
            showContextMenu(menuEvent->globalPos());
        }
        return true;
    }
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress) {
        // A click on empty space keeps the selection.
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!list_->indexAt(mouse->position().toPoint()).isValid()) return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace corvanthelix
