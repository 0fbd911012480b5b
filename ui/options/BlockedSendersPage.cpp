#include "ui/options/BlockedSendersPage.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "ui/language/WindowTranslation.h"
#include "ui/options/FilterPageControls.h"
#include "ui/widgets/ControlNames.h"

#include <QCheckBox>
#include <QVBoxLayout>

namespace corvanthelix {

BlockedSendersPage::BlockedSendersPage(QWidget* parent)
    : SenderListPage(page::kBlockedSenders, SenderEntry::kBlocked, "Blocked Senders", parent) {
    dontDownload_ = withControlId(new QCheckBox("Don't download messages from blocked senders"),
                                  pageControl::kDontDownloadBlocked);
    dontDownload_->setText(translatedText("Don't download messages from blocked senders"));
    dontDownload_->setChecked(settings::dontDownloadBlockedSenders() == 1);
    pageLayout()->addWidget(dontDownload_);
    connect(dontDownload_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) Application::instance().showMessage(kStringDontDownloadWarning, mb::kOk | mb::kIconExclamation);
        emit changed();
    });
}

PageStoreResult BlockedSendersPage::store() {
    settings::setDontDownloadBlockedSenders(dontDownload_->isChecked() ? 1 : 0);
    return PageStoreResult::Stored;
}

} // namespace corvanthelix
