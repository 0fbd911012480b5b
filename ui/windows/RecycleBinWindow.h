#pragma once
// Dialog 118 "Recycle bin": every message the filters hid, with a toolbar, a context menu, an
// information pane about the selected message and a status bar. At most one is open; the tray
// opens it. It shows the store and asks the person; what a command does to the store is decided
// by the store and the rules beside it (RecycleBinRules, RecycleRestore).
#include "base/Shell.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QTableView;
class QToolButton;

namespace corvanthelix {

class MessageViewer;
class RecycleBin;
class RecycleBinModel;
class RecycleBinSortModel;
struct RecycleRow;

class RecycleBinWindow : public QMainWindow {
    Q_OBJECT
public:
    /// Opens the window on `bin`, or brings the open one to the front (restoring it when
    /// minimised). The window deletes itself when closed. Returns it.
    static RecycleBinWindow* open(RecycleBin& bin, const std::string& programFolder);
    /// The open window, or null.
    static RecycleBinWindow* current();

    /// The window on `bin` (not owned; must outlive the window), filled and laid out, with its
    /// placement restored; not shown yet. Icons and bitmaps come from `programFolder`.
    RecycleBinWindow(RecycleBin& bin, std::string programFolder, QWidget* parent = nullptr);
    /// Clears the seen flags of the store (every listed message counts as seen from now on) and
    /// tells the store the window is gone.
    ~RecycleBinWindow() override;

    /// Runs command `id` (a toolbar button, menu item or key) as the person would; afterwards the
    /// toolbar, the pane and the status bar show the new state.
    void runCommand(int id);
    /// A row of the store changed (called on the GUI thread, posted by the shell).
    void rowChanged(RecycleRowChange change, const std::string& fileName);
    /// What command 1000 runs; while none is set the switch button is disabled.
    void setTrainingAreaOpener(std::function<void()> open);

    /// Rebuilds the list from the store.
    void fillList();
    /// Sorts by `column` (the last column chosen is kept for the next window).
    void sortBy(int column);
    /// Saves the window rectangle and the column widths under "RecycleBinWindow".
    void savePlacement() const;

    /// The file names of the selected rows, in list order.
    std::vector<std::string> selectedNames() const;
    /// Selects the rows named in `names` (others are deselected); the first becomes current.
    void selectNames(const std::vector<std::string>& names);
    RecycleBinModel* model() const { return model_; }
    QTableView* list() const { return list_; }
    MessageViewer* viewer() const;
    bool paneShown() const { return paneShown_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolbar();
    void buildPane();
    void buildMenu();
    void buildShortcuts();
    void restorePlacement();
    void setPaneShown(bool shown);
    void refresh();
    void showContextMenu(const QPoint& globalPosition);
    void reloadKeepingSelection();
    std::vector<const RecycleRow*> selectedRows() const;
    int currentSourceRow() const;

    void viewMessage();
    void restoreSelected();
    void deleteSelected();
    void emptyBin();
    void hideAccountOfSelected();
    void addSenders(int list);

    RecycleBin& bin_;
    std::string programFolder_;
    RecycleBinModel* model_ = nullptr;
    RecycleBinSortModel* sorted_ = nullptr;
    QTableView* list_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* view_ = nullptr;
    QAction* restore_ = nullptr;
    QAction* delete_ = nullptr;
    QAction* empty_ = nullptr;
    QToolButton* switch_ = nullptr;
    QToolButton* toggle_ = nullptr;
    QFrame* pane_ = nullptr;
    QFrame* separator_ = nullptr;
    std::vector<QLabel*> paneFields_;
    QLabel* ready_ = nullptr;
    QLabel* totals_ = nullptr;
    QPointer<MessageViewer> viewer_;
    std::function<void()> openTrainingArea_;
    bool paneShown_ = true;
};

} // namespace corvanthelix
