#include "filter/PluginManager.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "filter/FilterVerdict.h"
#include "upstream/MailMessage.h"
#include "filter/PluginHostServices.h"
#include "filter/PluginLearning.h"
#include "base/StringTable.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
#include <utility>

namespace corvanthelix {

namespace {

constexpr int kStringCouldNotLoad = 200;
constexpr int kStringPluginException = 221;

std::mutex gInstanceMutex;
std::unique_ptr<PluginManager> gInstance;

/// How many Holds of a plug-in manager the thread is inside.
thread_local int tHoldDepth = 0;

/// String-table entry `id` with its "%s" replaced by `argument`. Not printf: the text comes from a
/// language file and the argument from a plug-in.
std::string withArgument(int id, const std::string& argument) {
    std::string text = loadString(id);
    if (auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
    return text;
}

/// A message's text as plug-ins read it: a NUL-terminated text in which a NUL byte of the message
/// is a space, so the text does not end early (the message itself keeps its bytes).
std::string textForPlugins(std::string_view source) {
    std::string text(source);
    for (std::size_t at = text.find('\0'); at != std::string::npos; at = text.find('\0', at + 1)) text[at] = ' ';
    return text;
}

/// Calls `visit` with `root`, then with every other part depth first (a part before its children,
/// children in order), until it answers nonzero; returns that answer or 0. Iterative, so a deeply
/// nested message cannot exhaust the stack.
template <class Visit>
intptr_t eachPartDepthFirst(MessagePart* root, Visit&& visit) {
    std::vector<MessagePart*> pending{root};
    std::vector<MessagePart*> children;
    while (!pending.empty()) {
        MessagePart* part = pending.back();
        pending.pop_back();
        if (intptr_t answer = visit(part)) return answer;
        children.clear();
        for (MessagePart* child = part->firstChild; child; child = child->next) children.push_back(child);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return 0;
}

intptr_t send(CvxServiceFunction service, uint32_t code, uint16_t argument, intptr_t data) {
    ServiceRequest request{sizeof(ServiceRequest), nullptr, code, argument, data};
    return service(&request);
}

bool offersFiltering(const PluginInfo& info) {
    return info.partFilter || info.textFilter || info.plainTextFilter || info.sourceFilter;
}

/// The "*.so" regular files of `folder`, in name order.
std::vector<std::string> pluginFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return names;
    const std::string suffix = PluginManager::kSuffix;
    while (dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        struct stat st {};
        if (stat((folder + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

struct PluginManager::PendingWork {
    std::vector<std::function<void()>> tasks;
};

// Holds the manager's lock. When the thread leaves its outermost Hold, the work queued meanwhile
// (message boxes, learning) runs after the lock is released.
class PluginManager::Hold {
public:
    explicit Hold(PluginManager& manager) : manager_(manager) {
        manager_.lock_.lock();
        ++tHoldDepth;
    }
    ~Hold() {
        std::vector<std::function<void()>> tasks;
        if (--tHoldDepth == 0) tasks.swap(manager_.pending_->tasks);
        manager_.lock_.unlock();
        for (auto& task : tasks) {
            try {
                task();
            } catch (...) {
                // A box or a learning request that failed must not stop the others.
            }
        }
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    PluginManager& manager_;
};

PluginManager& PluginManager::instance() {
    std::lock_guard<std::mutex> guard(gInstanceMutex);
    if (!gInstance) gInstance = std::make_unique<PluginManager>();
    return *gInstance;
}

void PluginManager::destroyInstance() {
    PluginManager* current = nullptr;
    {
        std::lock_guard<std::mutex> guard(gInstanceMutex);
        current = gInstance.get();
    }
    if (!current) return;
    // Unloaded while still reachable: a plug-in's cleanup may ask for services, which reach the
    // manager through instance().
    current->unloadAll();
    std::unique_ptr<PluginManager> gone;
    {
        std::lock_guard<std::mutex> guard(gInstanceMutex);
        gone = std::move(gInstance);
    }
}

ChainPluginHost* PluginManager::chainHost() { return &instance(); }

void PluginManager::setWidgetTranslators(WidgetTranslator window, WidgetTranslator menu) {
    pluginhost::setWidgetTranslators(window, menu);
}

PluginManager::PluginManager() : pending_(std::make_unique<PendingWork>()) {}

PluginManager::~PluginManager() { unloadAll(); }

void PluginManager::unloadAll() {
    Hold hold(*this);
    for (auto& record : records_) unload(*record);
}

// --- Loading ------------------------------------------------------------------------------------

void PluginManager::loadAll() {
    Hold hold(*this);
    // Once per manager, not "while the list is empty": a folder whose only plug-ins fail would
    // otherwise show its failures again at every mail check.
    if (scanned_ || !records_.empty()) return;
    scanned_ = true;
    std::string folder = Application::instance().pluginFolder();
    for (const std::string& name : pluginFiles(folder)) {
        std::string path = folder + "/" + name;
        if (!addPlugin(path)) reportLoadFailure(path);
    }
}

bool PluginManager::addPlugin(const std::string& path) {
    Hold hold(*this);
    auto record = std::make_unique<PluginRecord>();
    record->path = path;
    if (!load(*record)) return false;
    PluginRecord& added = **records_.insert(records_.begin(), std::move(record));
    added.enabled = settings::pluginEnabled(added.fileName()) == 1;
    // Listed first, so that its cleanup can still reach its settings.
    if (!added.enabled) unload(added);
    return true;
}

bool PluginManager::load(PluginRecord& record) {
    Hold hold(*this);
    if (record.loaded()) return true;
    if (!record.module.Open(record.path)) return false;
    auto getInfo = reinterpret_cast<CvxGetPluginInfoFunction>(record.module.symbol(CVX_GET_PLUGIN_INFO_NAME));
    if (!getInfo) {
        failLoad(record);
        return false;
    }
    // Services the plug-in asks for while it loads (its settings, mostly) must find it.
    PluginRecord* outer = std::exchange(loading_, &record);
    bool loaded = false;
    try {
        loaded = loadSteps(record, getInfo);
    } catch (...) {
        std::string name = record.info && record.info != record.infoCopy.get() ? record.name() : record.fileName();
        report(withArgument(kStringPluginException, name));
    }
    loading_ = outer;
    if (!loaded) {
        failLoad(record);
        return false;
    }
    record.getInfo = getInfo;
    record.infoCopy.reset();
    record.faultReported = false;
    return true;
}

bool PluginManager::loadSteps(PluginRecord& record, CvxGetPluginInfoFunction getInfo) {
    const PluginInfo* info = getInfo();
    if (!info) return false;
    record.info = info;
    if (info->neededHostVersion > kHostVersion) return false;
    record.receiveService = reinterpret_cast<CvxServiceFunction>(record.module.symbol(CVX_RECEIVE_SERVICE_NAME));
    if (record.receiveService)
        send(record.receiveService, CVX_SERVICE_HOST_CALLBACK, 0, reinterpret_cast<intptr_t>(&pluginhost::service));
    return !info->init || info->init() == 0;
}

void PluginManager::failLoad(PluginRecord& record) {
    record.module.close();
    record.getInfo = nullptr;
    record.receiveService = nullptr;
    // A record that loaded before keeps what it showed then.
    record.info = record.infoCopy.get();
}

void PluginManager::unload(PluginRecord& record) {
    Hold hold(*this);
    if (!record.loaded()) return;
    if (record.info && record.info->cleanup) {
        CvxCleanupFunction cleanup = record.info->cleanup;
        guarded(record, [cleanup] { cleanup(); });
    }
    if (record.info) {
        auto copy = std::make_unique<PluginInfo>(*record.info);
        // The functions go with the library; the copy is for display only.
        copy->init = nullptr;
        copy->cleanup = nullptr;
        copy->configure = nullptr;
        copy->partFilter = nullptr;
        copy->textFilter = nullptr;
        copy->plainTextFilter = nullptr;
        copy->sourceFilter = nullptr;
        record.infoCopy = std::move(copy);
    }
    record.info = record.infoCopy.get();
    record.module.close();
    record.getInfo = nullptr;
    record.receiveService = nullptr;
}

bool PluginManager::setEnabled(PluginRecord& record, bool on) {
    Hold hold(*this);
    if (on && !record.enabled) {
        if (!load(record)) {
            reportLoadFailure(record.path);
            return false;
        }
    } else if (!on && record.enabled) {
        unload(record);
    }
    record.enabled = on;
    return true;
}

void PluginManager::saveStates() {
    Hold hold(*this);
    for (auto& record : records_) settings::setPluginEnabled(record->fileName(), record->enabled ? 1 : 0);
}

std::vector<PluginRecord*> PluginManager::records() {
    Hold hold(*this);
    std::vector<PluginRecord*> list;
    for (auto& record : records_) list.push_back(record.get());
    return list;
}

std::string PluginManager::versionText(uint32_t version) {
    char text[32];
    std::snprintf(text, sizeof text, "%i.%i.%i", static_cast<int>((version >> 16) & 0xFF),
                  static_cast<int>((version >> 8) & 0xFF), static_cast<int>(version & 0xFF));
    return text;
}

bool PluginManager::listed(const PluginRecord* record) const {
    return std::any_of(records_.begin(), records_.end(), [record](const auto& r) { return r.get() == record; });
}

// --- Reports ------------------------------------------------------------------------------------

void PluginManager::report(std::string text) {
    auto show = [text = std::move(text)] { Application::instance().showMessageText(text, mb::kIconExclamation); };
    if (tHoldDepth == 0) {
        show();
        return;
    }
    Hold hold(*this);
    pending_->tasks.push_back(std::move(show));
}

void PluginManager::reportFault(PluginRecord& record) {
    if (record.faultReported) return;
    record.faultReported = true;
    std::string name = record.name();
    report(withArgument(kStringPluginException, name.empty() ? record.fileName() : name));
}

void PluginManager::reportLoadFailure(const std::string& path) {
    auto slash = path.rfind('/');
    report(withArgument(kStringCouldNotLoad, slash == std::string::npos ? path : path.substr(slash + 1)));
}

bool PluginManager::guarded(PluginRecord& record, const std::function<void()>& call) {
    try {
        call();
        return true;
    } catch (...) {
        reportFault(record);
        return false;
    }
}

// --- Filtering and the commit -----------------------------------------------------------------

int PluginManager::pluginVerdict(PluginRecord* plugin, int messageNumber, const MailMessage* message,
                                 FilterVerdict& verdict) {
    if (!plugin || !message || !message->root()) return FilterVerdict::kUndecided;
    Hold hold(*this);
    if (!listed(plugin) || !plugin->loaded() || !plugin->enabled || !plugin->info) return FilterVerdict::kUndecided;
    verdict.probability = 0;
    pluginhost::ReasonTarget target(messageNumber, verdict);
    int answer = 0;
    if (!guarded(*plugin, [&] { answer = runFilters(*plugin, messageNumber, *message, &verdict.probability); }))
        return FilterVerdict::kUndecided;
    if (answer < 0) return FilterVerdict::kSpam;
    return answer > 0 ? FilterVerdict::kNonSpam : FilterVerdict::kUndecided;
}

int PluginManager::runFilters(PluginRecord& record, int messageNumber, const MailMessage& message,
                              double* probability) {
    const PluginInfo& info = *record.info;
    if (info.partFilter) {
        intptr_t answer = eachPartDepthFirst(message.root(), [&](MessagePart* part) -> intptr_t {
            *probability = 0;
            return info.partFilter(messageNumber, part, probability);
        });
        if (answer) return static_cast<int>(answer);
    }
    auto bodyTextFilter = [&](CvxTextFilterFunction filter, bool stripHtml) {
        if (!filter) return 0;
        std::optional<std::string> text = message.bodyText(stripHtml);
        return text && !text->empty() ? filter(messageNumber, text->c_str(), probability) : 0;
    };
    if (int answer = bodyTextFilter(info.textFilter, false)) return answer;
    if (int answer = bodyTextFilter(info.plainTextFilter, true)) return answer;
    if (info.sourceFilter && !message.source().empty())
        return info.sourceFilter(messageNumber, textForPlugins(message.source()).c_str(), probability);
    return 0;
}

int PluginManager::afterDelivery(const MailMessage& message) {
    Hold hold(*this);
    if (!message.root()) return 0;
    for (auto& record : records_) {
        if (!record->loaded() || !record->enabled || !record->receiveService) continue;
        intptr_t result = 0;
        guarded(*record, [&] { result = deliver(*record, message); });
        if (result) return static_cast<int>(result);
    }
    return 0;
}

intptr_t PluginManager::deliver(PluginRecord& record, const MailMessage& message) {
    CvxServiceFunction service = record.receiveService;
    auto deliverText = [&](const std::string& text) {
        return text.empty() ? 0 : send(service, CVX_SERVICE_DELIVERED, 0, reinterpret_cast<intptr_t>(text.c_str()));
    };
    switch (send(service, CVX_SERVICE_DELIVERY_MODE, 0, 0)) {
    case CVX_DELIVERY_PARTS:
        return eachPartDepthFirst(message.root(), [&](MessagePart* part) {
            return send(service, CVX_SERVICE_DELIVERED, 0, reinterpret_cast<intptr_t>(part));
        });
    case CVX_DELIVERY_BODY_TEXT: return deliverText(message.bodyText(false).value_or(std::string()));
    case CVX_DELIVERY_SOURCE: return deliverText(textForPlugins(message.source()));
    default: return 0;
    }
}

void PluginManager::notifyLearned(std::string_view source, bool asSpam) {
    Hold hold(*this);
    const std::string text = textForPlugins(source);
    for (auto& record : records_)
        sendService(*record, CVX_SERVICE_LEARNED, asSpam ? 1 : 0, reinterpret_cast<intptr_t>(text.c_str()));
}

std::vector<std::string> PluginManager::languageFiles(int languageId) {
    Hold hold(*this);
    std::vector<std::string> files;
    for (auto& record : records_) {
        intptr_t path = sendService(*record, CVX_SERVICE_LANGUAGE_FILE, 0, languageId);
        if (path) files.emplace_back(reinterpret_cast<const char*>(path));
    }
    return files;
}

const PageList* PluginManager::pages(PluginRecord& record) {
    return reinterpret_cast<const PageList*>(sendService(record, CVX_SERVICE_PAGES, 0, 0));
}

bool PluginManager::configure(PluginRecord& record, void* parent) {
    Hold hold(*this);
    if (!record.enabled || !record.loaded() || !record.info || !record.info->configure) return false;
    CvxConfigureFunction configure = record.info->configure;
    return guarded(record, [&] { configure(parent); });
}

intptr_t PluginManager::sendService(PluginRecord& record, uint32_t code, uint16_t argument, intptr_t data) {
    Hold hold(*this);
    if (!record.loaded() || !record.enabled || !record.receiveService) return 0;
    intptr_t answer = 0;
    guarded(record, [&] { answer = send(record.receiveService, code, argument, data); });
    return answer;
}

// --- The chain's view ---------------------------------------------------------------------------

void PluginManager::loadPlugins() { loadAll(); }

std::vector<PluginRecord*> PluginManager::filterPlugins() {
    Hold hold(*this);
    std::vector<PluginRecord*> list;
    for (auto& record : records_)
        if (record->info && record->enabled && record->loaded() && offersFiltering(*record->info))
            list.push_back(record.get());
    return list;
}

std::string PluginManager::pluginFileName(PluginRecord* plugin) {
    return plugin ? plugin->fileName() : std::string();
}

bool PluginManager::pluginName(PluginRecord* plugin, std::string& name) {
    Hold hold(*this);
    if (!plugin || !plugin->info) return false;
    name = plugin->name();
    return true;
}

bool PluginManager::asksToRunFirst(PluginRecord* plugin) {
    return plugin && sendService(*plugin, CVX_SERVICE_RUN_FIRST, 0, 0) == 1;
}

// --- Used by the host services ----------------------------------------------------------------

std::string PluginManager::sectionForModule(const void* module) {
    Hold hold(*this);
    if (!module) return {};
    if (loading_ && loading_->module.contains(module)) return loading_->fileName();
    for (auto& record : records_)
        if (record->module.contains(module)) return record->fileName();
    return {};
}

int PluginManager::learnForPlugin(std::string source, bool asSpam) {
    PluginLearning* learning = pluginLearning();
    if (!learning) return -1;
    if (tHoldDepth == 0) return learning->learnNow(source, asSpam) == 0 ? 0 : -1;
    // Learning takes the filter manager's lock, which must never be taken under this one.
    Hold hold(*this);
    pending_->tasks.push_back([source = std::move(source), asSpam] {
        if (PluginLearning* later = pluginLearning()) later->learnNow(source, asSpam);
    });
    return 0;
}

} // namespace corvanthelix
