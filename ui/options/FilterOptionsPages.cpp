#include "ui/options/FilterOptionsPages.h"

#include "ui/options/AggressivenessPage.h"
#include "ui/options/BlockedSendersPage.h"
#include "ui/options/FilterPageControls.h"
#include "ui/options/FilterPropertiesPage.h"
#include "ui/options/FriendsPage.h"
#include "ui/options/PluginOptionsPage.h"
#include "ui/options/PluginsPage.h"
#include "ui/options/PrioritiesPage.h"
#include "ui/options/SendersPage.h"
#include "ui/options/SpamWordsPage.h"
#include "ui/options/TrainingAreaPage.h"

namespace corvanthelix {

bool hasFilterOptionsPage(int pageId) {
    switch (pageId) {
    case page::kFilterProperties:
    case page::kPriorities:
    case page::kTrainingArea:
    case page::kAggressiveness:
    case page::kSpamWords:
    case page::kPlugins:
    case page::kSenders:
    case page::kBlockedSenders:
    case page::kFriends: return true;
    default: return false;
    }
}

OptionsPage* createFilterOptionsPage(int pageId, QWidget* parent) {
    switch (pageId) {
    case page::kFilterProperties: return new FilterPropertiesPage(parent);
    case page::kPriorities: return new PrioritiesPage(parent);
    case page::kTrainingArea: return new TrainingAreaPage(parent);
    case page::kAggressiveness: return new AggressivenessPage(parent);
    case page::kSpamWords: return new SpamWordsPage(parent);
    case page::kPlugins: return new PluginsPage(parent);
    case page::kSenders: return new SendersPage(parent);
    case page::kBlockedSenders: return new BlockedSendersPage(parent);
    case page::kFriends: return new FriendsPage(parent);
    default: return nullptr;
    }
}

bool hasPluginOptionsPages() { return true; }

OptionsPage* createPluginOptionsPage(PluginRecord& plugin, const PageRecord& page, QWidget* parent) {
    if (!page.procedure) return nullptr;
    return new PluginOptionsPage(plugin, page, parent);
}

} // namespace corvanthelix
