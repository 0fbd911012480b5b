#pragma once
// Dialog 4013 "Training Area (Recently Received Messages)": the messages the filters judged
// lately, which the person marks as spam or non-spam and lets the learning filter and the
// plug-ins learn from. At most one is open; the tray and the recycle bin window open it. It
// shows the store and asks the person; the rules live in TrainingAreaRules and TrainingLearning.
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QProgressDialog;
class QTableView;
class QThread;
class QToolButton;

namespace corvanthelix {

class MessageViewer;
class RecycleBin;
class TrainingArea;
class TrainingAreaModel;
class TrainingAreaSortModel;
struct TrainingLearnResult;
struct TrainingRow;

class TrainingAreaWindow : public QMainWindow {
    Q_OBJECT
public:
    /// Opens the window on `area` (and `bin` for restoring learned non-spam; may be null), or
    /// brings the open one to the front (restoring it when minimised). The window deletes itself
    /// when closed. Returns it.
    static TrainingAreaWindow* open(TrainingArea& area, RecycleBin* bin, const std::string& programFolder);
    /// The open window, or null.
    static TrainingAreaWindow* current();

    /// The window on `area` and `bin` (not owned; both must outlive the window; `bin` may be
    /// null), filled, pre-marked when "TrainingAreaPremarkAuto" says so, with its placement
    /// restored; not shown yet. Icons and bitmaps come from `programFolder`.
    TrainingAreaWindow(TrainingArea& area, RecycleBin* bin, std::string programFolder, QWidget* parent = nullptr);
    /// Waits for a learn run that is still going (serving the questions it still puts).
    ~TrainingAreaWindow() override;

    /// Runs command `id` (a toolbar button, menu item or key) as the person would; afterwards the
    /// toolbar and the status bar show the new state. Ignored while learning.
    void runCommand(int id);
    /// What command 1000 runs (open the recycle bin window); while none is set it does nothing.
    void setRecycleBinOpener(std::function<void()> open);

    /// Rebuilds the list from the store (every row unmarked).
    void fillList();
    /// Sorts by `column` (the last column chosen is kept for the next window).
    void sortBy(int column);
    /// Saves the window rectangle and the column widths under "TrainingAreaWindow".
    void savePlacement() const;

    /// The file names of the selected rows, in list order.
    std::vector<std::string> selectedNames() const;
    /// Selects the rows named in `names` (others are deselected); the first becomes current.
    void selectNames(const std::vector<std::string>& names);
    /// Marks the selected rows as `markCommand` (1045 spam, 40015 non-spam) says, as a toggle; unless
    /// `keepSelection`, the selection then moves one row down.
    void markSelected(int markCommand, bool keepSelection);

    TrainingAreaModel* model() const { return model_; }
    QTableView* list() const { return list_; }
    MessageViewer* viewer() const;
    /// The progress dialog of a running learn run, or null.
    QProgressDialog* progress() const;
    /// True while a learn run is going.
    bool learning() const { return learnThread_ != nullptr; }

signals:
    /// A learn run ended (after its closing notice); `learned` messages left the training area.
    void learnFinished(int learned);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolbar();
    void buildMenu();
    void buildShortcuts();
    void restorePlacement();
    void refresh();
    void showContextMenu(const QPoint& globalPosition);
    std::vector<int> selectedSourceRows() const;
    int currentSourceRow() const;

    void viewMessage();
    void premark(int mark);
    void premarkBySettings();
    void deleteSelected();
    void addSenders(int list);
    void learn();
    void rowLearned(const std::string& fileName, bool learned, int done);
    void learnEnded(int learned);

    TrainingArea& area_;
    RecycleBin* bin_;
    std::string programFolder_;
    TrainingAreaModel* model_ = nullptr;
    TrainingAreaSortModel* sorted_ = nullptr;
    QTableView* list_ = nullptr;
    QMenu* menu_ = nullptr;
    QMenu* premarkMenu_ = nullptr;
    std::vector<QAction*> selectionActions_; ///< enabled with a selection
    QAction* premark_ = nullptr;
    QAction* learn_ = nullptr;
    QToolButton* switch_ = nullptr;
    QLabel* ready_ = nullptr;
    QLabel* totals_ = nullptr;
    QPointer<MessageViewer> viewer_;
    QPointer<QProgressDialog> progress_;
    QThread* learnThread_ = nullptr;
    std::function<void()> openRecycleBin_;
    bool closeAfterLearning_ = false;
    bool destroying_ = false;
};

} // namespace corvanthelix
