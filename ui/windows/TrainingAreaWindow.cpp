#include "ui/windows/TrainingAreaWindow.h"

#include "base/Application.h"
#include "base/ControlIds.h"
#include "base/HelpPages.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "base/StringTable.h"
#include "base/TranslatedFormat.h"
#include "filter/SenderAdding.h"
#include "stores/RecycleBin.h"
#include "stores/TrainingArea.h"
#include "stores/TrainingAreaRules.h"
#include "stores/TrainingLearning.h"
#include "ui/language/WindowTranslation.h"
#include "ui/widgets/ControlNames.h"
#include "ui/widgets/ListWindowPlacement.h"
#include "ui/widgets/MultipleSendersDialog.h"
#include "ui/widgets/WindowEffects.h"
#include "ui/windows/MessageViewer.h"
#include "ui/windows/TrainingAreaModel.h"
#include "ui/windows/TrainingAreaSortModel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QProgressDialog>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTableView>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <iterator>
#include <vector>

namespace corvanthelix {

namespace {

constexpr const char* kHelpPage = "trainingarea.htm";
constexpr int kToolbarImage = 32;
constexpr int kStatusLeftPart = 100;
constexpr int kStatusRightPart = 200;
constexpr int kStringRestoreQuestion = 222;
constexpr int kStringDownloadFirst = 246;
constexpr int kStringLearned = 178;
constexpr int kStringLearnOnClosing = 171;
constexpr int kStringDeleteOne = 119;
constexpr int kStringDeleteMany = 150;
const QSize kInitialSize(820, 520);
const QColor kTransparent(255, 0, 255);

int gSortColumn = TrainingAreaRules::kColumnDate;
QPointer<TrainingAreaWindow> gOpenWindow;

struct ToolbarButton {
    int command;
    int image;
    int text;
};
constexpr ToolbarButton kToolbar[] = {
    {command::kViewMessage, 0, 139}, {command::kMarkSpam, 1, 167},       {command::kMarkNonSpam, 2, 166},
    {command::kPremark, 6, 223},     {command::kLearn, 3, 168},          {command::kDeleteMessages, 5, 140},
    {command::kDocumentation, 4, 147},
};

struct MenuItem {
    int command;
    const char* text;
    int key = 0; // shown beside the text; the list's own shortcuts run it
};
constexpr MenuItem kMenu[] = {
    {command::kViewMessage, "&View message", Qt::Key_Return},
    {command::kAddToBlocked, "&Add sender to blocked senders list"},
    {command::kAddToFriends, "Add sender to my &friends"},
    {command::kMarkSpam, "Mark as &Spam", Qt::Key_S},
    {command::kMarkNonSpam, "Mark as &Non-Spam", Qt::Key_N},
    {command::kLearn, "&Learn"},
    {command::kDeleteMessages, "&Delete", Qt::Key_Delete},
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

// The learn run's questions, put from the worker thread through the shell, which brings them to
// the person on the GUI thread and waits for the answer.
class LearnQuestions : public TrainingLearnQuestions {
public:
    explicit LearnQuestions(std::function<void(const std::string&, bool, int)> rowDone) : rowDone_(std::move(rowDone)) {}
    bool confirmRestore(const std::string& sender, const std::string& subject) override {
        const std::string text = TranslatedFormat::byId(kStringRestoreQuestion, sender.c_str(), subject.c_str());
        return Application::instance().shell().optionalMessageBox(
                   text, Application::kName, mb::kYesNo | mb::kIconQuestion,
                   settings::optionalBox::kTrainingAreaOnLearnRecycleMessage, answer::kYes) == answer::kYes;
    }
    bool confirmDownload(const std::string& sender, const std::string& subject) override {
        const std::string text = TranslatedFormat::byId(kStringDownloadFirst, sender.c_str(), subject.c_str());
        return Application::instance().showMessageText(text, mb::kYesNo | mb::kIconQuestion) == answer::kYes;
    }
    void rowDone(const std::string& fileName, bool learned, int done) override { rowDone_(fileName, learned, done); }

private:
    std::function<void(const std::string&, bool, int)> rowDone_;
};

} // namespace

TrainingAreaWindow* TrainingAreaWindow::open(TrainingArea& area, RecycleBin* bin, const std::string& programFolder) {
    if (TrainingAreaWindow* window = gOpenWindow.data()) {
        if (window->isMinimized()) window->showNormal();
        window->show();
        window->raise();
        window->activateWindow();
        return window;
    }
    auto* window = new TrainingAreaWindow(area, bin, programFolder);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (fadingWanted()) fadeWindow(window, true);
    else window->show();
    window->raise();
    window->activateWindow();
    return window;
}

TrainingAreaWindow* TrainingAreaWindow::current() { return gOpenWindow.data(); }

MessageViewer* TrainingAreaWindow::viewer() const { return viewer_.data(); }

QProgressDialog* TrainingAreaWindow::progress() const { return progress_.data(); }

TrainingAreaWindow::TrainingAreaWindow(TrainingArea& area, RecycleBin* bin, std::string programFolder, QWidget* parent)
    : QMainWindow(parent), area_(area), bin_(bin), programFolder_(std::move(programFolder)) {
    gOpenWindow = this;
    setObjectName(controlObjectName(resource::kTrainingAreaWindow));
    setWindowTitle("Training Area (Recently Received Messages)");
    setWindowIcon(QIcon(qText(programFolder_ + "/icons/learn.ico")));

    model_ = new TrainingAreaModel(QIcon(qText(programFolder_ + "/icons/spam.ico")),
                                   QIcon(qText(programFolder_ + "/icons/nonspam.ico")), this);
    sorted_ = new TrainingAreaSortModel(model_, this);
    list_ = withControlId(new QTableView, control::kTrainingList);
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
    // Right click and the menu key both ask for the menu; at the selected row for the key.
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showContextMenu(list_->viewport()->mapToGlobal(at)); });
    connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) { sortBy(column); });
    connect(list_, &QTableView::doubleClicked, this, [this] { runCommand(command::kViewMessage); });
    setCentralWidget(list_);

    buildToolbar();
    buildMenu();
    buildShortcuts();

    ready_ = new QLabel;
    ready_->setObjectName("idStatusReady");
    ready_->setMinimumWidth(kStatusLeftPart);
    totals_ = new QLabel;
    totals_->setObjectName("idStatusTotals");
    totals_->setMinimumWidth(kStatusRightPart);
    statusBar()->addWidget(ready_);
    statusBar()->addWidget(totals_, 1);

    translateWindow(this);
    translateMenu(menu_);
    translateMenu(premarkMenu_);
    ready_->setText(qText(loadString(TrainingAreaRules::kStringReady)));
    setRecycleBinOpener(nullptr);

    resize(kInitialSize);
    fillList();
    if (TrainingAreaRules::premarkOnOpening()) premarkBySettings();
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { refresh(); });
    if (sorted_->rowCount() > 0) list_->selectRow(0);
    restorePlacement();
    refresh();
}

TrainingAreaWindow::~TrainingAreaWindow() {
    destroying_ = true;
    if (learnThread_) {
        // A question of the run waits for an answer on this thread: keep serving events until
        // the run has ended, or both would wait for each other.
        while (!learnThread_->wait(50)) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        delete learnThread_;
    }
    delete viewer_.data();
    Application::instance().trimWorkingSet();
}

// --- building --------------------------------------------------------------------------------------

void TrainingAreaWindow::buildToolbar() {
    auto* toolbar = new QToolBar;
    toolbar->setObjectName("idToolbar");
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(kToolbarImage, kToolbarImage));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    premarkMenu_ = new QMenu(this);
    premarkMenu_->setObjectName(controlObjectName(resource::kPremarkMenu));
    for (auto [id, text] : {std::pair{command::kPremarkSpam, "... all &Spam Mail"},
                            std::pair{command::kPremarkNonSpam, "... all &Non-Spam Mail"}}) {
        QAction* action = premarkMenu_->addAction(text);
        action->setObjectName(controlObjectName(id));
        connect(action, &QAction::triggered, this, [this, id = id] { runCommand(id); });
    }
    const QImage strip(qText(programFolder_ + "/bitmaps/trainingtoolbar.bmp"));
    for (const ToolbarButton& button : kToolbar) {
        QAction* action = toolbar->addAction(toolbarImage(strip, button.image), qText(loadString(button.text)));
        action->setObjectName(controlObjectName(button.command));
        const int id = button.command;
        connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
        switch (id) {
        case command::kViewMessage:
        case command::kMarkSpam:
        case command::kMarkNonSpam:
        case command::kDeleteMessages: selectionActions_.push_back(action); break;
        case command::kPremark:
            premark_ = action;
            action->setMenu(premarkMenu_);
            if (auto* tool = qobject_cast<QToolButton*>(toolbar->widgetForAction(action)))
                tool->setPopupMode(QToolButton::MenuButtonPopup);
            break;
        case command::kLearn: learn_ = action; break;
        default: break;
        }
    }
    auto* spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    switch_ = withControlId(new QToolButton, command::kSwitchWindow);
    switch_->setIcon(QIcon(qText(programFolder_ + "/icons/recyclemail.ico")));
    switch_->setIconSize(QSize(24, 24));
    switch_->setAutoRaise(true);
    connect(switch_, &QToolButton::clicked, this, [this] { runCommand(command::kSwitchWindow); });
    toolbar->addWidget(switch_);
    addToolBar(Qt::TopToolBarArea, toolbar);
}

void TrainingAreaWindow::buildMenu() {
    menu_ = new QMenu("Mail", this);
    menu_->setObjectName(controlObjectName(resource::kTrainingAreaMenu));
    for (const MenuItem& item : kMenu) {
        QAction* action = menu_->addAction(item.text);
        action->setObjectName(controlObjectName(item.command));
        if (item.key) {
            action->setShortcut(QKeySequence(item.key));
            // Only shown in the menu: the list's shortcuts are the ones that act.
            action->setShortcutContext(Qt::WidgetShortcut);
        }
        const int id = item.command;
        connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
        if (id != command::kLearn) selectionActions_.push_back(action);
    }
}

void TrainingAreaWindow::buildShortcuts() {
    struct Key {
        QKeySequence keys;
        std::function<void()> run;
    };
    const Key keys[] = {
        {QKeySequence(Qt::Key_Return), [this] { runCommand(command::kViewMessage); }},
        {QKeySequence(Qt::Key_Enter), [this] { runCommand(command::kViewMessage); }},
        {QKeySequence(Qt::Key_Delete), [this] { runCommand(command::kDeleteMessages); }},
        {QKeySequence(Qt::CTRL | Qt::Key_R), [this] { runCommand(command::kSwitchWindow); }},
        {QKeySequence(Qt::Key_F1), [this] { runCommand(command::kDocumentation); }},
        // S and N move on to the next row, so a person can go down the list marking; with Ctrl
        // the selection stays.
        {QKeySequence(Qt::Key_S), [this] { markSelected(command::kMarkSpam, false); }},
        {QKeySequence(Qt::Key_N), [this] { markSelected(command::kMarkNonSpam, false); }},
        {QKeySequence(Qt::CTRL | Qt::Key_S), [this] { markSelected(command::kMarkSpam, true); }},
        {QKeySequence(Qt::CTRL | Qt::Key_N), [this] { markSelected(command::kMarkNonSpam, true); }},
    };
    for (const Key& key : keys) {
        auto* shortcut = new QShortcut(key.keys, list_);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, key.run);
    }
}

// --- placement --------------------------------------------------------------------------------------

void TrainingAreaWindow::restorePlacement() {
    using namespace settings;
    const int viewWidth = (isVisible() ? list_->viewport()->width() : width() - 4);
    const int scroll = list_->verticalScrollBar()->sizeHint().width();
    const int w = std::max(400, viewWidth - 20);
    const int initial[TrainingAreaRules::kColumnCount] = {24, w / 4 - scroll, w / 4 + 60, w / 4 - 20, w / 4 - 40};
    restoreListWindowPlacement(*this, *list_, section::kTrainingAreaWindow,
                               std::vector<int>(std::begin(initial), std::end(initial)));
}

void TrainingAreaWindow::savePlacement() const {
    saveListWindowPlacement(*this, *list_, settings::section::kTrainingAreaWindow, TrainingAreaRules::kColumnCount);
}

void TrainingAreaWindow::closeEvent(QCloseEvent* event) {
    if (learning()) {
        // The run ends by itself; the window goes when it has.
        closeAfterLearning_ = true;
        event->ignore();
        return;
    }
    if (TrainingAreaRules::learnableCount(model_->rows()) > 0 &&
        Application::instance().showMessageText(loadString(kStringLearnOnClosing), mb::kYesNo | mb::kIconQuestion) ==
            answer::kYes) {
        closeAfterLearning_ = true;
        learn();
        event->ignore();
        return;
    }
    savePlacement();
    QMainWindow::closeEvent(event);
}

// --- list -------------------------------------------------------------------------------------------

void TrainingAreaWindow::fillList() {
    std::vector<TrainingEntry> entries;
    area_.listEntries(entries);
    model_->setRows(TrainingAreaRules::rowsFor(entries));
    sortBy(gSortColumn);
    refresh();
}

void TrainingAreaWindow::sortBy(int column) {
    if (column < 0 || column >= TrainingAreaRules::kColumnCount) return;
    gSortColumn = column;
    sorted_->sort(column, Qt::AscendingOrder);
    list_->horizontalHeader()->setSortIndicator(column, Qt::AscendingOrder);
}

std::vector<std::string> TrainingAreaWindow::selectedNames() const {
    std::vector<std::string> names;
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows) names.push_back(model_->rows()[sorted_->mapToSource(index).row()].fileName);
    return names;
}

void TrainingAreaWindow::selectNames(const std::vector<std::string>& names) {
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

std::vector<int> TrainingAreaWindow::selectedSourceRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        rows.push_back(sorted_->mapToSource(index).row());
    return rows;
}

int TrainingAreaWindow::currentSourceRow() const {
    const QModelIndex current = list_->currentIndex();
    if (current.isValid() && list_->selectionModel()->isRowSelected(current.row(), {}))
        return sorted_->mapToSource(current).row();
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : sorted_->mapToSource(rows.front()).row();
}

// --- state ------------------------------------------------------------------------------------------

void TrainingAreaWindow::refresh() {
    const int selected = static_cast<int>(list_->selectionModel()->selectedRows().size());
    TrainingToolbarState state = TrainingAreaRules::toolbarState(selected, model_->rows());
    if (learning()) state = {};
    for (QAction* action : selectionActions_) action->setEnabled(state.view);
    premark_->setEnabled(state.premark);
    learn_->setEnabled(state.learn);
    for (QAction* action : menu_->actions())
        if (action->objectName() == controlObjectName(command::kLearn)) action->setEnabled(state.learn);
    switch_->setEnabled(openRecycleBin_ && !learning());
    totals_->setText(qText(TrainingAreaRules::statusTotals(model_->rowCount(), model_->totalSize())));
}

void TrainingAreaWindow::setRecycleBinOpener(std::function<void()> open) {
    openRecycleBin_ = std::move(open);
    switch_->setToolTip(translatedText("Switch to the recycle bin (Ctrl+R)"));
    refresh();
}

// --- commands ---------------------------------------------------------------------------------------

void TrainingAreaWindow::runCommand(int id) {
    if (learning()) return;
    switch (id) {
    case control::kOk:
    case command::kViewMessage: viewMessage(); break;
    case command::kDocumentation:
        QDesktopServices::openUrl(QUrl(qText(help::pageHelpUrl(programFolder_, kHelpPage, help::germanLanguage()))));
        break;
    case command::kSwitchWindow:
        if (openRecycleBin_) openRecycleBin_();
        break;
    case command::kPremark: premarkBySettings(); break;
    case command::kPremarkSpam: premark(TrainingArea::kVerdictSpam); break;
    case command::kPremarkNonSpam: premark(TrainingArea::kVerdictNonSpam); break;
    case command::kMarkSpam:
    case command::kMarkNonSpam: markSelected(id, true); return;
    case command::kLearn: learn(); break;
    case command::kDeleteMessages: deleteSelected(); break;
    case command::kAddToBlocked: addSenders(SenderEntry::kBlocked); break;
    case command::kAddToFriends: addSenders(SenderEntry::kFriend); break;
    default: return;
    }
    refresh();
}

void TrainingAreaWindow::markSelected(int markCommand, bool keepSelection) {
    if (learning()) return;
    const TrainingMark mark = markCommand == command::kMarkSpam ? TrainingMark::Spam : TrainingMark::NonSpam;
    const std::vector<int> rows = selectedSourceRows();
    if (rows.empty()) return;
    // The row below the last selected one, in the order shown; taken before a re-sort by mark.
    int below = -1;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) below = std::max(below, index.row());
    const QModelIndex next = sorted_->index(below + 1, 0);
    const std::string nextName = next.isValid() ? model_->rows()[sorted_->mapToSource(next).row()].fileName : std::string();
    model_->changeMarks([&](std::vector<TrainingRow>& all) { TrainingAreaRules::toggleMark(all, rows, mark); });
    if (!keepSelection && !nextName.empty()) selectNames({nextName});
    refresh();
}

void TrainingAreaWindow::premark(int verdict) {
    std::vector<TrainingEntry> entries;
    area_.listEntries(entries);
    model_->changeMarks([&](std::vector<TrainingRow>& all) {
        TrainingAreaRules::premark(all, entries, static_cast<TrainingMark>(verdict));
    });
}

void TrainingAreaWindow::premarkBySettings() {
    for (TrainingMark mark : TrainingAreaRules::premarksBySettings()) premark(static_cast<int>(mark));
}

void TrainingAreaWindow::viewMessage() {
    const int row = currentSourceRow();
    if (row < 0) return;
    if (!viewer_) viewer_ = new MessageViewer(this);
    viewer_->showFile(area_.messagePath(model_->rows()[row].fileName));
}

void TrainingAreaWindow::deleteSelected() {
    const std::vector<std::string> selected = selectedNames();
    if (selected.empty()) return;
    const int question = selected.size() > 1 ? kStringDeleteMany : kStringDeleteOne;
    if (Application::instance().shell().optionalMessageBox(loadString(question), Application::kName,
                                                           mb::kYesNo | mb::kIconQuestion,
                                                           settings::optionalBox::kTrainingDeleteQuestion,
                                                           answer::kYes) != answer::kYes)
        return;
    for (const std::string& name : selected) {
        area_.removeMessage(name);
        model_->removeRow(name);
    }
}

void TrainingAreaWindow::addSenders(int list) {
    std::vector<std::string> paths;
    for (const std::string& name : selectedNames()) paths.push_back(area_.messagePath(name));
    if (paths.empty()) return;
    const std::vector<SenderEntry> senders = SenderAdding::sendersOfFiles(paths, list);
    MultipleSendersDialog::addSenders(this, senders, list, SenderLists());
}

// --- learning ---------------------------------------------------------------------------------------

void TrainingAreaWindow::learn() {
    if (learning()) return;
    std::vector<TrainingLearnItem> items;
    // In the order the list shows.
    for (int row = 0; row < sorted_->rowCount(); ++row) {
        const TrainingRow& source = model_->rows()[sorted_->mapToSource(sorted_->index(row, 0)).row()];
        if (source.mark == TrainingMark::None || source.fileName.empty()) continue;
        items.push_back({source.fileName, source.mark == TrainingMark::Spam, source.recycleFileName,
                         source.senderName, source.subject});
    }
    if (items.empty()) return;

    progress_ = new QProgressDialog(this);
    progress_->setObjectName(controlObjectName(resource::kLearnProgress));
    progress_->setWindowTitle(translatedText("Learning..."));
    progress_->setLabelText(translatedText("Please wait...\nCorvanthelix is learning from marked messages..."));
    progress_->setCancelButton(nullptr);
    progress_->setRange(0, static_cast<int>(items.size()));
    progress_->setValue(0);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setWindowModality(Qt::NonModal);
    progress_->show();
    ready_->setText(qText(loadString(TrainingAreaRules::kStringLearning)));

    // Learning reads and writes the word lists for every message: off the GUI thread, so the
    // window keeps drawing and the bar moves. Rows leave the list as their messages are learned.
    learnThread_ = QThread::create([this, items = std::move(items)] {
        LearnQuestions questions([this](const std::string& fileName, bool learned, int done) {
            QMetaObject::invokeMethod(this, [this, fileName, learned, done] { rowLearned(fileName, learned, done); },
                                      Qt::QueuedConnection);
        });
        const TrainingLearnResult result = TrainingLearning::run(area_, bin_, items, questions);
        const int learned = static_cast<int>(result.learned.size());
        QMetaObject::invokeMethod(this, [this, learned] { learnEnded(learned); }, Qt::QueuedConnection);
    });
    learnThread_->start();
    refresh();
}

void TrainingAreaWindow::rowLearned(const std::string& fileName, bool learned, int done) {
    if (destroying_) return;
    if (learned) model_->removeRow(fileName);
    if (progress_) progress_->setValue(done);
    refresh();
}

void TrainingAreaWindow::learnEnded(int learned) {
    if (destroying_) return; // the destructor waits for the run itself
    learnThread_->wait();
    delete learnThread_;
    learnThread_ = nullptr;
    delete progress_.data();
    ready_->setText(qText(loadString(TrainingAreaRules::kStringReady)));
    refresh();
    if (learned > 0)
        Application::instance().shell().optionalMessageBox(loadString(kStringLearned), Application::kName,
                                                           mb::kOk | mb::kIconInformation,
                                                           settings::optionalBox::kTrainingAreaHasLearned, answer::kOk);
    emit learnFinished(learned);
    if (closeAfterLearning_) {
        closeAfterLearning_ = false;
        savePlacement();
        // Marks left (messages that could not be read) are not asked about again.
        hide();
        if (testAttribute(Qt::WA_DeleteOnClose)) deleteLater();
    }
}

// --- mouse and keys ---------------------------------------------------------------------------------

void TrainingAreaWindow::showContextMenu(const QPoint& globalPosition) {
    refresh();
    menu_->popup(globalPosition);
}

} // namespace corvanthelix
