#include "ui/options/SendersPage.h"

#include "ui/language/WindowTranslation.h"
#include "ui/options/FilterPageControls.h"
#include "ui/widgets/ControlNames.h"

#include <QLabel>
#include <QVBoxLayout>

namespace corvanthelix {

SendersPage::SendersPage(QWidget* parent) : OptionsPage(page::kSenders, parent) {
    setObjectName(controlObjectName(page::kSenders));
    auto* text = withControlId(
        new QLabel("Messages from blocked senders are always treated as spam. Messages from friends always reach your "
                   "mail program; no filter looks at them.\n\nYou can add senders on the pages \"Blocked Senders\" "
                   "and \"Friends\", import them from an address book or a text file, or drag messages onto these "
                   "pages to add their senders."),
        pageControl::kSendersText);
    text->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text);
    layout->addStretch();
    translateWindow(this);
}

} // namespace corvanthelix
