#pragma once
// Page 4006 "Friends": the friends list.
#include "ui/options/SenderListPage.h"

namespace corvanthelix {

class FriendsPage : public SenderListPage {
    Q_OBJECT
public:
    explicit FriendsPage(QWidget* parent);
};

} // namespace corvanthelix
