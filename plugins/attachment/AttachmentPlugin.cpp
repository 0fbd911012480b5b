#include "attachment/AttachmentPlugin.h"

#include "attachment/AttachmentCheck.h"
#include "common/PluginEntry.h"
#include "common/PluginFiles.h"

#include <unistd.h>

#include <cstddef>

#ifdef CORVANTHELIX_PLUGIN_UI
#include "attachment/ui/AttachmentPage.h"
#endif

namespace corvanthelix::quillatrest {

namespace {
constexpr uint32_t kPageDialog = 4005;

#ifdef CORVANTHELIX_PLUGIN_UI
// The page list as the host reads it: a count followed by the records.
struct OnePageList {
    uint32_t count;
    PageRecord pages[1];
};
static_assert(offsetof(OnePageList, pages) == offsetof(PageList, pages));
OnePageList gPages{};

void Configure(void* parent) {
    try {
        ShowConfigureDialog(static_cast<QWidget*>(parent));
    } catch (...) {
    }
}
#endif
} // namespace

AttachmentPlugin& AttachmentPlugin::instance() {
    static AttachmentPlugin plugin;
    return plugin;
}

AttachmentPlugin::AttachmentPlugin() {
    info_.version = CVX_VERSION(0, 9, 0);
    info_.neededHostVersion = CVX_VERSION(0, 9, 6);
    plugin::CopyInfoText(info_.name, kName);
    plugin::CopyInfoText(info_.author, "The Corvanthelix developers");
    plugin::CopyInfoText(info_.description,
                         "Protects your computer from some e-mail viruses. Now fully configurable!");
    info_.cleanup = plugin::GuardedCleanup<AttachmentPlugin>;
    info_.partFilter = plugin::GuardedPartFilter<AttachmentPlugin>;
#ifdef CORVANTHELIX_PLUGIN_UI
    info_.configure = Configure;
#endif
}

const PageList* AttachmentPlugin::Pages() {
#ifdef CORVANTHELIX_PLUGIN_UI
    std::string folder = plugin::ModuleFolder(&info_);
    iconPath_ = folder.empty() ? std::string() : folder + "/quillatrest.ico";
    PageRecord& page = gPages.pages[0];
    page.size = sizeof(PageRecord);
    page.instance = &info_;
    page.dialogId = kPageDialog;
    page.procedure = AttachmentPageProcedure;
    page.title = "Attachments";
    page.parentId = 0;
    page.hasSubPages = 0;
    page.icon = iconPath_.empty() ? nullptr : iconPath_.c_str();
    page.helpFile = "configattachments.htm";
    gPages.count = 1;
    return reinterpret_cast<const PageList*>(&gPages);
#else
    return nullptr;
#endif
}

std::string AttachmentPlugin::ListPath() const {
    std::string folder = host_.DataFolder(&info_);
    return folder.empty() ? folder : folder + "/" + kListFile;
}

void AttachmentPlugin::LoadData() {
    std::lock_guard<std::mutex> hold(loadLock_);
    if (listLoaded_ || !host_.Attached()) return;
    listLoaded_ = true;
    std::string path = ListPath();
    // Until the user saves a list of their own, the one shipped beside the library holds.
    std::string shipped = plugin::ModuleFolder(&info_);
    if (!shipped.empty()) shipped += std::string("/") + kListFile;
    if (!path.empty() && access(path.c_str(), F_OK) == 0) extensions_.Load(path);
    else if (!shipped.empty()) extensions_.Load(shipped);
}

void AttachmentPlugin::FreeData() {
    std::lock_guard<std::mutex> hold(loadLock_);
    extensions_.Clear();
    listLoaded_ = false;
}

bool AttachmentPlugin::SaveList() const {
    std::string path = ListPath();
    return !path.empty() && extensions_.Save(path);
}

int AttachmentPlugin::PartFilter(int messageNumber, const MessagePart* part, double* probability) {
    if (probability) *probability = 0.0;
    if (!part) return CVX_UNDECIDED;
    std::optional<std::string> extension = PartBlockedExtension(
        *part, extensions_, [this](const std::string& value) { return host_.DecodeHeader(value); });
    if (!extension) return CVX_UNDECIDED;
    std::string reason = ReasonFor(*extension);
    host_.Ask(CVX_HOST_SET_REASON, static_cast<uint16_t>(messageNumber),
              reinterpret_cast<intptr_t>(reason.c_str()));
    return CVX_SPAM;
}

intptr_t AttachmentPlugin::Service(const ServiceRequest& request) {
    switch (request.code) {
    case CVX_SERVICE_HOST_CALLBACK:
        host_.Attach(reinterpret_cast<CvxServiceFunction>(request.data));
        // Only the host knows where the data lives (beside the library, or the user's folder).
        LoadData();
        return 0;
    case CVX_SERVICE_NAME: return reinterpret_cast<intptr_t>(kName);
    case CVX_SERVICE_PAGES: return reinterpret_cast<intptr_t>(Pages());
    default: return 0;
    }
}

} // namespace corvanthelix::quillatrest

using corvanthelix::quillatrest::AttachmentPlugin;

// The list is read when the library is loaded into the process.
__attribute__((constructor)) static void attachToProcess() {
    corvanthelix::plugin::AttachToProcess<AttachmentPlugin>();
}

extern "C" PluginInfo* GetSpamCheckPluginInfo(void) {
    return corvanthelix::plugin::InfoForHost<AttachmentPlugin>();
}

extern "C" intptr_t ReceiveService(ServiceRequest* request) {
    return corvanthelix::plugin::ServiceForHost<AttachmentPlugin>(request);
}
