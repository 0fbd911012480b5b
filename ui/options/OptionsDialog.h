#pragma once
// The options dialog ("Settings", dialog 108): the tree of pages on the left, the selected page on
// the right, OK, Cancel, Help and Apply. One exists at a time; open() brings it to the front.
// The page table holds the fifteen built-in pages in their fixed order and after them the pages
// of the loaded plug-ins; a page appears in the tree only when it can be created, and is created
// on its first selection. OK and Apply ask every created page to store (plug-in pages first, then
// the built-in ones in table order); a page that refuses is shown and the dialog stays open; a
// page that needs a restart makes the program restart after string 113.
#include "filter/plugin_api/corvanthelix_plugin.h"
#include "ui/options/OptionsPage.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;

namespace corvanthelix {

struct PluginRecord;

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kStringRestart = 113;
    static constexpr int kStringVersion = 133;
    /// "The settings of this plugin may have been changed. ..." asked when an opened plug-in page
    /// must go because its plug-in is unloaded.
    static constexpr int kStringPluginChanged = 216;
    static constexpr const char* kDefaultHelpPage = "configgeneral.htm";

    /// What the pages and the store reach in the running program; every member may be empty.
    struct Hooks {
        std::function<void()> checkForUpdates;      ///< General: "Check now!" (command 40006)
        std::function<void(bool import)> openBackup; ///< General: "Export..." / "Import..."
        std::function<void()> checkLanguagePack;    ///< Language: "Check now!"
        std::function<void()> restart;              ///< after string 113: end and start again
        std::function<void()> afterStore;           ///< set up the update timer and tray menu again
        std::function<void(const std::string& url)> openUrl; ///< help pages; empty: the desktop's
    };
    /// Installs the hooks (the main window and the update controller do at start-up).
    static void setHooks(Hooks hooks);
    /// The installed hooks; callers may set single members.
    static Hooks& hooks();

    /// One row of the page table.
    struct PageEntry {
        int pageId = 0;
        int parentId = 0;
        bool hasChildren = false;
        int image = -1;         ///< index into the tree's pictures; -1 none
        std::string helpFile;
        std::string title;      ///< translated
        PluginRecord* plugin = nullptr;        ///< for a plug-in page
        const PageRecord* pluginPage = nullptr;
        OptionsPage* page = nullptr;           ///< made on first selection
        QTreeWidgetItem* item = nullptr;       ///< null when the page is not in the tree
    };

    /// Opens the dialog on `pageId` (0: the first page), or brings the open one to the front
    /// (restored when minimised) and returns it. The dialog deletes itself when closed.
    static OptionsDialog* open(int pageId = 0);
    /// The open dialog, or null.
    static OptionsDialog* current();

    ~OptionsDialog() override;

    /// The page table, in table order.
    const std::vector<PageEntry>& pageTable() const { return table_; }
    /// The page id shown now.
    int currentPageId() const { return currentPageId_; }
    /// The page widget of `pageId`, or null while it is not created.
    OptionsPage* page(int pageId) const;
    /// Shows page `pageId` (creating it when needed); false when it is not in the tree.
    bool selectPage(int pageId);

    /// The store of OK and Apply: true when every created page stored.
    bool storePages();
    /// Apply: stores; on success makes the table and tree anew, shows the same page again and
    /// disables Apply.
    void apply();
    /// Help (and F1): opens the current page's help page.
    void showHelp();

    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    explicit OptionsDialog(int pageId);
    void buildTable();
    void fillTree();
    void destroyPages();
    OptionsPage* createPage(PageEntry& entry);
    /// The row of `pageId` in the tree, a built-in page before a plug-in page of the same number.
    PageEntry* entry(int pageId);
    /// The row of `pageId` of `plugin`'s list (null: the built-in pages) in the tree.
    PageEntry* entry(const PluginRecord* plugin, int pageId);
    bool showEntry(PageEntry& entry);
    void appendPluginRows();
    /// The Plugins page is about to unload plug-ins (true: their pages go now, after the question
    /// whether to store the opened ones) or has changed the list (false: their pages come again).
    void pluginPagesChanged(bool aboutToUnload);
    void onSelectionChanged();
    void markChanged();

    std::vector<PageEntry> table_;
    int currentPageId_ = 0;
    PluginRecord* currentPlugin_ = nullptr;
    /// Item data of a tree item: its row in the table.
    static constexpr int kRowRole = Qt::UserRole + 1;
    QTreeWidget* tree_;
    QWidget* pageArea_;
    QVBoxLayout* pageLayout_;
    QLabel* version_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QPushButton* help_;
    QPushButton* apply_;
    bool faded_ = false;
};

} // namespace corvanthelix
