#include "newsletter/NewsletterPlugin.h"

#include "common/PluginEntry.h"
#include "common/PluginFiles.h"
#include "newsletter/NewsletterCheck.h"

#include <cstddef>

#ifdef CORVANTHELIX_PLUGIN_UI
#include "newsletter/ui/NewsletterPages.h"
#endif


namespace corvanthelix::newsletter {

#ifdef CORVANTHELIX_PLUGIN_UI
namespace {
// The page list as the host reads it: a count followed by the records.
struct ThreePageList {
    uint32_t count;
    PageRecord pages[3];
};
static_assert(offsetof(ThreePageList, pages) == offsetof(PageList, pages));
ThreePageList gPages{};
} // namespace
#endif

NewsletterPlugin& NewsletterPlugin::instance() {
    static NewsletterPlugin plugin;
    return plugin;
}

NewsletterPlugin::NewsletterPlugin() {
    info_.version = CVX_VERSION(1, 0, 0);
    info_.neededHostVersion = CVX_VERSION(0, 9, 8);
    plugin::CopyInfoText(info_.name, kName);
    plugin::CopyInfoText(info_.author, "The Corvanthelix developers");
    plugin::CopyInfoText(info_.description, "Define newsletters that will never be treated as Spam.");
    info_.cleanup = plugin::GuardedCleanup<NewsletterPlugin>;
    info_.partFilter = plugin::GuardedPartFilter<NewsletterPlugin>;
}

const PageList* NewsletterPlugin::Pages() {
#ifdef CORVANTHELIX_PLUGIN_UI
    struct Page {
        uint32_t dialog;
        const char* title;
        uint32_t parent;
        uint8_t hasSubPages;
        const char* icon;
        const char* help;
    };
    static const Page kPages[3] = {
        {4005, "Newsletters", 0, 1, "newsletter.ico", "confignewsletters.htm"},
        {4006, "Signatures", 4005, 0, "signature.ico", "configsignatures.htm"},
        {4007, "Newsgroups", 4005, 0, "recipients.ico", "confignewsgroups.htm"},
    };
    // The icons ship beside the library (the data folder may be the user's, which holds no icons).
    const std::string folder = plugin::ModuleFolder(&info_);
    for (size_t i = 0; i < 3; ++i) {
        icons_[i] = folder.empty() ? std::string() : folder + "/" + kPages[i].icon;
        PageRecord& record = gPages.pages[i];
        record.size = sizeof(PageRecord);
        record.instance = &info_;
        record.dialogId = kPages[i].dialog;
        record.procedure = NewsletterPageProcedure;
        record.title = kPages[i].title;
        record.parentId = kPages[i].parent;
        record.hasSubPages = kPages[i].hasSubPages;
        record.icon = icons_[i].empty() ? nullptr : icons_[i].c_str();
        record.helpFile = kPages[i].help;
    }
    gPages.count = 3;
    return reinterpret_cast<const PageList*>(&gPages);
#else
    return nullptr;
#endif
}

std::string NewsletterPlugin::DataFolder() const {
    std::string folder = host_.DataFolder(&info_);
    return folder.empty() ? folder : folder + "/" + kDataFolder;
}

std::string NewsletterPlugin::dataFile(const char* name) const {
    std::string folder = DataFolder();
    return folder.empty() ? folder : folder + "/" + name;
}

void NewsletterPlugin::LoadData() {
    std::lock_guard<std::mutex> hold(loadLock_);
    if (listsLoaded_ || !host_.Attached()) return;
    listsLoaded_ = true;
    std::string folder = DataFolder();
    if (folder.empty()) return;
    plugin::EnsureFolder(folder);
    signatures_.Load(dataFile(kSignatureFile));
    recipients_.Load(dataFile(kRecipientFile));
}

void NewsletterPlugin::FreeData() {
    std::lock_guard<std::mutex> hold(loadLock_);
    signatures_.Clear();
    recipients_.Clear();
    listsLoaded_ = false;
}

bool NewsletterPlugin::SaveSignatures() const {
    std::string path = dataFile(kSignatureFile);
    return !path.empty() && signatures_.Save(path);
}

bool NewsletterPlugin::SaveRecipients() const {
    std::string path = dataFile(kRecipientFile);
    return !path.empty() && recipients_.Save(path);
}

bool NewsletterPlugin::Setting(const char* key, bool fallback) const {
    std::string value;
    if (!host_.ReadSetting(&info_, key, value)) return false;
    // The host answers a key it does not store with an empty text.
    if (value.empty()) return fallback;
    return value[0] == '1';
}

bool NewsletterPlugin::matches(const MessagePart& part) const {
    return PartMatches(part, signatures_, recipients_,
                       [this](const std::string& value) { return host_.DecodeHeader(value); });
}

int NewsletterPlugin::PartFilter(int messageNumber, const MessagePart* part, double* probability) {
    if (probability) *probability = 0.0;
    if (!part || !matches(*part)) return CVX_UNDECIDED;
    if (Setting(kNoTraining, kNoTrainingDefault)) {
        // Data 0 also has the host learn the message as non-spam; any other value only marks it.
        intptr_t learn = Setting(kAutoLearn, kAutoLearnDefault) ? 0 : -1;
        host_.Ask(CVX_HOST_MARK_HANDLED, static_cast<uint16_t>(messageNumber), learn);
    }
    return CVX_NON_SPAM;
}

intptr_t NewsletterPlugin::AfterDelivery(const MessagePart* part) const {
    if (!part || !Setting(kNoTraining, kNoTrainingDefault) || !matches(*part)) return 0;
    intptr_t result = CVX_DELIVERED_HANDLED;
    if (Setting(kAutoLearn, kAutoLearnDefault)) result |= CVX_DELIVERED_LEARN;
    return result;
}

intptr_t NewsletterPlugin::Service(const ServiceRequest& request) {
    switch (request.code) {
    case CVX_SERVICE_HOST_CALLBACK:
        host_.Attach(reinterpret_cast<CvxServiceFunction>(request.data));
        // Only the host knows where the data lives (beside the library, or the user's folder).
        LoadData();
        return 0;
    case CVX_SERVICE_NAME: return reinterpret_cast<intptr_t>(kName);
    case CVX_SERVICE_PAGES: return reinterpret_cast<intptr_t>(Pages());
    case CVX_SERVICE_RUN_FIRST: return 1;
    case CVX_SERVICE_DELIVERY_MODE: return CVX_DELIVERY_PARTS;
    case CVX_SERVICE_DELIVERED: return AfterDelivery(reinterpret_cast<const MessagePart*>(request.data));
    default: return 0;
    }
}

} // namespace corvanthelix::newsletter

using corvanthelix::newsletter::NewsletterPlugin;

// The data folder is made and the lists are read when the library is loaded into the process.
__attribute__((constructor)) static void attachToProcess() {
    corvanthelix::plugin::AttachToProcess<NewsletterPlugin>();
}

extern "C" PluginInfo* GetSpamCheckPluginInfo(void) {
    return corvanthelix::plugin::InfoForHost<NewsletterPlugin>();
}

extern "C" intptr_t ReceiveService(ServiceRequest* request) {
    return corvanthelix::plugin::ServiceForHost<NewsletterPlugin>(request);
}
