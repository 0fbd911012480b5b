#pragma once
// An options page that hosts a page of a loaded plug-in: the plug-in makes its widget when the
// page procedure gets CVX_PAGE_CREATE and stores its data on CVX_PAGE_STORE. The host page must be
// deleted (or releasePage() called) before the plug-in's library is unloaded.
#include "filter/plugin_api/corvanthelix_plugin.h"
#include "ui/options/OptionsPage.h"

#include <string>

namespace corvanthelix {

struct PluginRecord;

class PluginOptionsPage : public OptionsPage {
    Q_OBJECT
public:
    /// Creates the plug-in's widget for `page` of `plugin` inside this page. The page id is the
    /// plug-in page's dialog id.
    PluginOptionsPage(PluginRecord& plugin, const PageRecord& page, QWidget* parent);
    /// Deletes the plug-in's widget first.
    ~PluginOptionsPage() override;

    /// Sends CVX_PAGE_STORE with a result the plug-in may set: 1 restart, 2 refuse.
    PageStoreResult store() override;
    /// Deletes the plug-in's widget now (before its library is unloaded); store() then does nothing.
    void releasePage();

    /// The plug-in's widget, null when it made none or after releasePage().
    QWidget* pluginWidget() const { return widget_; }
    const std::string& title() const { return title_; }
    const std::string& iconPath() const { return icon_; }
    const std::string& helpFile() const { return help_; }
    uint32_t parentDialogId() const { return parentId_; }
    const PluginRecord& plugin() const { return plugin_; }

private:
    PluginRecord& plugin_;
    CvxPageProcedure procedure_ = nullptr;
    QWidget* widget_ = nullptr;
    std::string title_, icon_, help_;
    uint32_t parentId_ = 0;
};

} // namespace corvanthelix
