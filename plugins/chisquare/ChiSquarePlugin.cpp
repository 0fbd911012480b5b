#include "chisquare/ChiSquarePlugin.h"

#include "common/PluginEntry.h"
#include "common/PluginFiles.h"

#if CORVANTHELIX_CHISQUARE_PAGE
#include "chisquare/ui/ChiSquarePageProcedure.h"
#endif

#include <cstddef>

namespace corvanthelix::chisquare {

namespace {

int guardedSourceFilter(int messageNumber, const char* text, double* probability) {
    try {
        return ChiSquarePlugin::instance().SourceFilter(messageNumber, text, probability);
    } catch (...) {
        return CVX_UNDECIDED;
    }
}

#if CORVANTHELIX_CHISQUARE_PAGE
// The page list of service 2: a count and its records, laid out as PageList.
struct ChiSquarePageList {
    uint32_t count;
    PageRecord pages[1];
};
static_assert(offsetof(ChiSquarePageList, pages) == offsetof(PageList, pages));

ChiSquarePageList gPages = {1, {{sizeof(PageRecord), &gPages, ChiSquarePlugin::kPageDialogId,
                                 chiSquarePageProcedure, ChiSquarePlugin::kName, 0, 0, nullptr, nullptr}}};
#endif

} // namespace

ChiSquarePlugin& ChiSquarePlugin::instance() {
    static ChiSquarePlugin plugin;
    return plugin;
}

ChiSquarePlugin::ChiSquarePlugin() : filter_(shippedParameters()) {
    info_.version = CVX_VERSION(1, 0, 0);
    info_.neededHostVersion = CVX_VERSION(0, 9, 8);
    plugin::CopyInfoText(info_.name, kName);
    plugin::CopyInfoText(info_.author, "The Corvanthelix developers");
    plugin::CopyInfoText(info_.description, "Learns from your mail and spots spam by its words and headers.");
    info_.cleanup = plugin::GuardedCleanup<ChiSquarePlugin>;
    info_.sourceFilter = guardedSourceFilter;
}

std::string ChiSquarePlugin::DataFolder() const {
    std::string folder = host_.DataFolder(&info_);
    return folder.empty() ? folder : folder + "/" + kDataFolder;
}

void ChiSquarePlugin::LoadData() {
    std::lock_guard<std::mutex> hold(loadLock_);
    if (loaded_ || !host_.Attached()) return;
    loaded_ = true;
    std::string folder = DataFolder();
    if (folder.empty() || !plugin::EnsureFolder(folder)) {
        filter_.open("");
        return;
    }
    filter_.open(folder + "/" + kDatabaseFile);
    filter_.setParameters(ChiSquareSettings::parametersFor(aggressiveness()));
}

Aggressiveness ChiSquarePlugin::aggressiveness() const {
    std::string stored;
    host_.ReadSetting(&info_, ChiSquareSettings::kAggressivenessKey, stored);
    return ChiSquareSettings::parse(stored);
}

bool ChiSquarePlugin::setAggressiveness(Aggressiveness choice) {
    filter_.setParameters(ChiSquareSettings::parametersFor(choice));
    SettingWrite write{sizeof write, &info_, ChiSquareSettings::kAggressivenessKey,
                       ChiSquareSettings::storedValue(choice), 0};
    return host_.Ask(CVX_HOST_WRITE_SETTING, 0, reinterpret_cast<intptr_t>(&write)) == 0;
}

std::string ChiSquarePlugin::translate(const char* text) const {
    char buffer[1024];
    TextRequest request{sizeof request, text, buffer, static_cast<int32_t>(sizeof buffer)};
    if (host_.Ask(CVX_HOST_TRANSLATE_TEXT, 0, reinterpret_cast<intptr_t>(&request)) != 0) return text;
    return buffer;
}

void ChiSquarePlugin::FreeData() {
    std::lock_guard<std::mutex> hold(loadLock_);
    filter_.save();
    filter_.close();
    loaded_ = false;
}

int ChiSquarePlugin::SourceFilter(int messageNumber, const char* text, double* probability) {
    if (!text) return CVX_UNDECIDED;
    ChiSquareFilter::Judgement judgement = filter_.judge(text);
    if (probability) *probability = judgement.indicator;
    switch (judgement.verdict) {
    case ChiSquareVerdict::Spam:
        host_.Ask(CVX_HOST_SET_REASON, static_cast<uint16_t>(messageNumber),
                  reinterpret_cast<intptr_t>(judgement.reason.c_str()));
        return CVX_SPAM;
    case ChiSquareVerdict::NonSpam: return CVX_NON_SPAM;
    case ChiSquareVerdict::Undecided: return CVX_UNDECIDED;
    }
    return CVX_UNDECIDED;
}

intptr_t ChiSquarePlugin::Service(const ServiceRequest& request) {
    switch (request.code) {
    case CVX_SERVICE_HOST_CALLBACK:
        host_.Attach(reinterpret_cast<CvxServiceFunction>(request.data));
        // Only the host knows where the data lives (beside the library, or the user's folder).
        LoadData();
        return 0;
    case CVX_SERVICE_NAME: return reinterpret_cast<intptr_t>(kName);
    case CVX_SERVICE_PAGES:
#if CORVANTHELIX_CHISQUARE_PAGE
        return reinterpret_cast<intptr_t>(&gPages);
#else
        return 0;
#endif
    case CVX_SERVICE_RUN_FIRST: return 1;
    case CVX_SERVICE_LANGUAGE_FILE: {
        if (request.data != kGermanLanguageId) return 0;
        std::string folder = plugin::ModuleFolder(&info_);
        if (folder.empty()) return 0;
        std::lock_guard<std::mutex> hold(loadLock_);
        languageFile_ = folder + "/" + kGermanLanguageFile;
        return reinterpret_cast<intptr_t>(languageFile_.c_str());
    }
    case CVX_SERVICE_LEARNED:
        if (request.data && request.argument <= 1)
            filter_.learn(reinterpret_cast<const char*>(request.data), request.argument == 1);
        return 0;
    default: return 0;
    }
}

} // namespace corvanthelix::chisquare

using corvanthelix::chisquare::ChiSquarePlugin;

// The database is read when the library is loaded into the process.
__attribute__((constructor)) static void attachToProcess() {
    corvanthelix::plugin::AttachToProcess<ChiSquarePlugin>();
}

extern "C" PluginInfo* GetSpamCheckPluginInfo(void) {
    return corvanthelix::plugin::InfoForHost<ChiSquarePlugin>();
}

extern "C" intptr_t ReceiveService(ServiceRequest* request) {
    return corvanthelix::plugin::ServiceForHost<ChiSquarePlugin>(request);
}
