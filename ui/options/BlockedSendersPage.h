#pragma once
// Page 4001 "Blocked Senders": the blocked-senders list and the box "Don't download messages from
// blocked senders", which warns (string 229) when it is checked.
#include "ui/options/SenderListPage.h"

class QCheckBox;

namespace corvanthelix {

class BlockedSendersPage : public SenderListPage {
    Q_OBJECT
public:
    static constexpr int kStringDontDownloadWarning = 229;

    explicit BlockedSendersPage(QWidget* parent);
    /// Writes `DontDownloadBlockedSenders`.
    PageStoreResult store() override;

private:
    QCheckBox* dontDownload_ = nullptr;
};

} // namespace corvanthelix
