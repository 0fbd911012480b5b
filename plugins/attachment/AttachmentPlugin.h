#pragma once
// The attachment filter plug-in ("quillatrest"): declares a message spam when one of its parts
// carries an attached file whose extension is on the user's list of blocked extensions. The list
// lives in "quillatrest.txt" beside the library and is read when the library is loaded.
#include "common/HostLink.h"
#include "common/TextLineList.h"
#include "corvanthelix_plugin.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace corvanthelix::quillatrest {

class AttachmentPlugin {
public:
    /// The name the plug-in answers service 1 with and the caption of its messages.
    static constexpr const char* kName = "Attachment Filter";
    /// The extension list's file, in the folder of the library.
    static constexpr const char* kListFile = "quillatrest.txt";
    /// The longest extension read from the file.
    static constexpr size_t kMaxExtension = 259;

    /// The plug-in of this library (one per process).
    static AttachmentPlugin& instance();

    /// The description record the host reads (GetSpamCheckPluginInfo). Owned by the plug-in.
    PluginInfo* Info() { return &info_; }

    /// Reads the extension list from its file unless it is read already (when the library is
    /// loaded, and again after a cleanup freed it while the library stayed in the process).
    void LoadData();
    /// Frees the extension list (the cleanup function).
    void FreeData();
    /// Writes the extension list to its file (what the settings page does when the user confirms).
    /// False when it could not be written.
    bool SaveList() const;
    /// The blocked extensions, without their leading dot.
    plugin::TextLineList& Extensions() { return extensions_; }
    /// Full path of the extension list's file in the plug-in's data folder (the one a saved list
    /// goes to); "" when no folder is known.
    std::string ListPath() const;

    /// The link to the host, set by service 0.
    const plugin::HostLink& Host() const { return host_; }

    /// The part filter: -1 (spam) when a header of `part` names a blocked attachment, after
    /// reporting the extension (".PIF") as the reason of message `messageNumber`; else 0. Sets the
    /// probability to 0.
    int PartFilter(int messageNumber, const MessagePart* part, double* probability);

    /// The settings page list (service 2): one page, dialog 4005 "Attachments"; null in a build
    /// without the desktop toolkit.
    const PageList* Pages();
    /// Answers a service of the host: 0 keeps the host callback, 1 gives the name, 2 the page
    /// list; 0 for others.
    intptr_t Service(const ServiceRequest& request);

private:
    AttachmentPlugin();

    PluginInfo info_{};
    plugin::HostLink host_;
    plugin::TextLineList extensions_{kMaxExtension};
    std::mutex loadLock_;
    bool listLoaded_ = false;
    std::string iconPath_;
};

} // namespace corvanthelix::quillatrest
