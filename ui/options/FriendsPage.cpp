#include "ui/options/FriendsPage.h"

#include "ui/options/FilterPageControls.h"

namespace corvanthelix {

FriendsPage::FriendsPage(QWidget* parent) : SenderListPage(page::kFriends, SenderEntry::kFriend, "Friends", parent) {}

} // namespace corvanthelix
