#pragma once
// The options pages of the filters and senders (Filter Properties and its sub-pages, Senders,
// Blocked Senders, Friends) and the pages plug-ins add. The options dialog asks here which of
// them this build has before it puts them in its tree, and creates them on first selection.
#include "filter/plugin_api/corvanthelix_plugin.h"

class QWidget;

namespace corvanthelix {

class OptionsPage;
struct PluginRecord;

/// Whether page `pageId` (4010, 4018, 4016, 4009, 4011, 4017, 4005, 4001 or 4006) can be created.
bool hasFilterOptionsPage(int pageId);
/// A new page `pageId` under `parent` (which owns it), loaded from the settings; null when
/// hasFilterOptionsPage(pageId) is false.
OptionsPage* createFilterOptionsPage(int pageId, QWidget* parent);

/// Whether plug-in pages can be shown in the options dialog.
bool hasPluginOptionsPages();
/// A page that hosts `page` of the loaded plug-in `plugin`: it creates the plug-in's widget
/// with CVX_PAGE_CREATE and sends it CVX_PAGE_STORE on store(). `parent` owns it; the host must
/// delete it before the plug-in is unloaded. Null when plug-in pages cannot be shown.
OptionsPage* createPluginOptionsPage(PluginRecord& plugin, const PageRecord& page, QWidget* parent);

} // namespace corvanthelix
