#pragma once
// The page of one sender list (Blocked Senders, Friends): the list with its count in the group
// title, Add, Edit, Delete and "Import...", and messages dropped from a file manager or a mail
// program (.eml files or message/rfc822 data), whose senders are added to the list.
#include "filter/SenderLists.h"
#include "ui/options/OptionsPage.h"

#include <memory>
#include <string>
#include <vector>

class QGroupBox;
class QPushButton;
class QTableView;
class QVBoxLayout;

namespace corvanthelix {

class SenderListModel;

class SenderListPage : public OptionsPage {
    Q_OBJECT
public:
    static constexpr int kStringDeleteQuestion = 110;
    static constexpr int kStringEntries = 215;

    /// The page `pageId` for list `list` (SenderEntry::kBlocked or kFriend) titled `title`
    /// (English, translated here), over the program's sender lists.
    SenderListPage(int pageId, int list, const char* title, QWidget* parent);
    ~SenderListPage() override;

    /// The list is written as it is edited: nothing left to store.
    PageStoreResult store() override;

    /// Adds the senders of the messages `sources` (whole message texts) to the list; a message
    /// without a sender, or one already listed, is skipped. Returns the number added.
    int addSendersOf(const std::vector<std::string>& sources);
    /// Reads the list again and shows its count.
    void refill();
    SenderListModel* model() const { return model_; }

protected:
    /// The page's layout below the list, for the controls a subclass adds.
    QVBoxLayout* pageLayout() const { return layout_; }

    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void addSender();
    void editSender();
    void deleteSender();
    void importSenders();
    void updateButtons();
    int selectedRow() const;

    SenderLists lists_;
    int list_;
    QString title_;
    SenderListModel* model_ = nullptr;
    QGroupBox* group_ = nullptr;
    QTableView* view_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
};

} // namespace corvanthelix
