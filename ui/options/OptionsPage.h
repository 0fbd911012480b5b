#pragma once
// One page of the options dialog. A page loads its controls from the settings and stores in its
// constructor, tells the dialog about every change with changed(), and writes its controls back
// when the dialog calls store(). Pages reach the program's stores through their instance()
// accessors; their rules (what a control state writes, when a restart is needed) live in Qt-free
// classes with unit tests.
#include <QWidget>

namespace corvanthelix {

/// What a page answers to "store your data now".
enum class PageStoreResult {
    Stored = 0,        ///< written; nothing else to do
    RestartNeeded = 1, ///< written; the program must restart for it to take effect
    Refused = 2,       ///< nothing written: the dialog shows this page and stays open
};

class OptionsPage : public QWidget {
    Q_OBJECT
public:
    /// `pageId` is the page's dialog id (4008, 4020, ...), also the string id of its tree title.
    OptionsPage(int pageId, QWidget* parent) : QWidget(parent), pageId_(pageId) {}
    ~OptionsPage() override = default;

    int pageId() const { return pageId_; }

    /// Writes the controls to the settings and stores. Called for every created page in table
    /// order on OK and Apply; a page that refuses has shown the reason to the user already.
    virtual PageStoreResult store() = 0;

signals:
    /// A control changed: the dialog enables Apply.
    void changed();

private:
    int pageId_;
};

} // namespace corvanthelix
