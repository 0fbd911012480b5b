#pragma once
// Page 4005 "Senders": what the two sender lists do; the lists are its sub-pages.
#include "ui/options/OptionsPage.h"

namespace corvanthelix {

class SendersPage : public OptionsPage {
    Q_OBJECT
public:
    explicit SendersPage(QWidget* parent);
    /// Nothing to store.
    PageStoreResult store() override { return PageStoreResult::Stored; }
};

} // namespace corvanthelix
