#include "ui/options/FilterOptionsPages.h"

namespace corvanthelix {

// None of these pages is built yet: the dialog leaves them out of its tree.
bool hasFilterOptionsPage(int) { return false; }
OptionsPage* createFilterOptionsPage(int, QWidget*) { return nullptr; }
bool hasPluginOptionsPages() { return false; }
OptionsPage* createPluginOptionsPage(PluginRecord&, const PageRecord&, QWidget*) { return nullptr; }

} // namespace corvanthelix
