#pragma once
// Loads the filter plug-ins of the program folder ("plugins/*.so"), keeps them enabled or
// disabled as the user chose, runs their filter functions for the filter chain, runs the
// after-delivery pass of the commit, and answers the services plug-ins ask of the host.
//
// Locking: one re-entrant lock serialises loading, enabling, saving, filtering and the
// after-delivery pass. It comes after the filter manager's and the chain's locks. Message boxes
// and learning that plug-ins ask for while the lock is held wait until the calling thread has
// left it, so that neither a blocking box nor the filter manager's lock is taken under it.
//
// Every call into a plug-in is guarded: an exception it lets escape is caught here, shown to the
// user once per load with string 221, and the call counts as failed (for a filter: undecided).
#include "base/ProgramPaths.h"
#include "filter/ChainPluginHost.h"
#include "filter/PluginRecord.h"
#include "filter/plugin_api/corvanthelix_plugin.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

class MailMessage;
struct FilterVerdict;

class PluginManager final : public ChainPluginHost {
public:
    /// The host's version 0.9.8 as plug-ins state the version they need (major x 65536 +
    /// minor x 256 + build): 2312.
    static constexpr uint32_t kHostVersion = CVX_VERSION(0, 9, 8);
    /// The same version as the version service answers it (major x 4096 + minor x 16 + build).
    static constexpr intptr_t kServiceVersion = 0 * 4096 + 9 * 16 + 8;
    /// The folder of the program folder that holds the plug-ins, and their file suffix.
    static constexpr const char* kFolder = ProgramPaths::kPluginFolderName;
    static constexpr const char* kSuffix = ".so";

    /// The process-wide manager, created on first use. Thread-safe.
    static PluginManager& instance();
    /// Destroys the process-wide manager, unloading every plug-in (program exit; tests between
    /// cases). The filter chain must have been discarded first. No other thread may use it.
    static void destroyInstance();
    /// instance() as a chain host: the accessor the program installs with installChainPluginHost.
    static ChainPluginHost* chainHost();

    /// Window and menu translation for plug-ins (services 0x10000000 and 0x10000001): the desktop
    /// shell installs functions that translate a QWidget* window and a QMenu*/QMenuBar* menu.
    /// Without them these services do nothing. Null uninstalls.
    using WidgetTranslator = void (*)(void* widget);
    static void setWidgetTranslators(WidgetTranslator window, WidgetTranslator menu);

    PluginManager();
    /// Unloads every plug-in.
    ~PluginManager() override;
    PluginManager(const PluginManager&) = delete;
    PluginManager& operator=(const PluginManager&) = delete;

    // --- Loading --------------------------------------------------------------------------------

    /// When no plug-in is listed yet: adds every "*.so" file of "plugins/" in the program folder,
    /// in name order. A file that cannot be added is shown with string 200 and skipped.
    void loadAll();
    /// Loads the library at `path` and lists it at the head of the list; the plug-in is then
    /// unloaded again when the user disabled it (section PLUGINS). False when it cannot be loaded
    /// (nothing is listed; the caller tells the user).
    bool addPlugin(const std::string& path);
    /// Loads the record's library: the description, the host version check, service 0 with the
    /// host's service function, init. False when the library cannot be loaded, lacks
    /// GetSpamCheckPluginInfo, gives no description, needs a newer host, or fails or throws in
    /// init (a throw is shown with string 221); the record is then left unloaded. True at once when
    /// it is loaded already.
    bool load(PluginRecord& record);
    /// Calls cleanup, keeps a copy of the description for display and releases the library.
    /// Nothing when it is not loaded.
    void unload(PluginRecord& record);
    /// Enables (loading the library) or disables (unloading it) a plug-in. False when enabling
    /// failed to load it: the record then stays disabled and string 200 is shown.
    bool setEnabled(PluginRecord& record, bool on);
    /// Writes every plug-in's enabled flag (1 or 0) under its file name in section PLUGINS.
    void saveStates();

    /// The listed records, head first. Owned by the manager; valid until the manager goes away.
    std::vector<PluginRecord*> records();
    /// A version of a description as the user sees it: "%i.%i.%i" from bits 16-23, 8-15, 0-7.
    static std::string versionText(uint32_t version);

    // --- Filtering and the commit --------------------------------------------------------------

    /// Runs the plug-in's filters over message `messageNumber`: the part filter on the root and
    /// every other part depth first, then the text filter (decoded body text, HTML kept), the
    /// plain-text filter (tags removed) and the source filter, until one answers nonzero. Returns
    /// -1 spam, +1 non-spam or 0 (also for a missing record, message or content, a plug-in that is
    /// not loaded and enabled, and a plug-in that threw). The verdict's probability is set to 0
    /// first and to the plug-in's value before each part call; the plug-in may set the verdict's
    /// reason with service 0x10000003 during the call.
    int pluginVerdict(PluginRecord* plugin, int messageNumber, const MailMessage* message,
                      FilterVerdict& verdict) override;

    /// The after-delivery pass of one delivered message: each loaded plug-in in list order that
    /// takes services tells its mode (service 6) and sees the parts, the body text or the source
    /// (service 7). Returns the first nonzero result (CVX_DELIVERED_* flags), or 0.
    int afterDelivery(const MailMessage& message);

    /// Tells every loaded plug-in that the host has just learned the message with source `source`
    /// (service 5, argument 1 for spam). Called by the training area's learn operation.
    void notifyLearned(std::string_view source, bool asSpam);

    /// The language files of the loaded plug-ins for language `languageId` (service 4), in list
    /// order. Start-up adds each with CLanguage::AddLanguageFile(path, 0).
    std::vector<std::string> languageFiles(int languageId);

    /// The plug-in's settings pages (service 2), or null. Owned by the plug-in; valid while it
    /// stays loaded.
    const PageList* pages(PluginRecord& record);

    /// Opens the plug-in's own settings dialog over `parent` (a QWidget*). False when the plug-in
    /// is disabled, has no dialog or threw.
    bool configure(PluginRecord& record, void* parent);

    /// Sends service `code` to a loaded plug-in; its answer, or 0 when it is not loaded, takes no
    /// services or threw.
    intptr_t sendService(PluginRecord& record, uint32_t code, uint16_t argument, intptr_t data);

    // --- The chain's view ------------------------------------------------------------------------

    /// loadAll().
    void loadPlugins() override;
    /// Enabled, loaded records that offer at least one filter function, in list order.
    std::vector<PluginRecord*> filterPlugins() override;
    std::string pluginFileName(PluginRecord* plugin) override;
    bool pluginName(PluginRecord* plugin, std::string& name) override;
    /// True when the plug-in takes services and answers 1 to service 3.
    bool asksToRunFirst(PluginRecord* plugin) override;

    // --- Used by the host services -------------------------------------------------------------

    /// The settings section of the plug-in whose library holds `module` (any address inside it,
    /// or its handle): the library's file name. "" when no listed or loading plug-in holds it.
    std::string sectionForModule(const void* module);

    /// Learns a message on behalf of a plug-in through the training area. While the calling
    /// thread holds the manager's lock the learning is queued and runs when the thread leaves the
    /// lock. Returns 0, or -1 when no training area is installed (or learning at once failed).
    int learnForPlugin(std::string source, bool asSpam);

private:
    class Hold;
    struct PendingWork;

    void report(std::string text);
    void reportFault(PluginRecord& record);
    void reportLoadFailure(const std::string& path);
    bool guarded(PluginRecord& record, const std::function<void()>& call);
    int runFilters(PluginRecord& record, int messageNumber, const MailMessage& message, double* probability);
    intptr_t deliver(PluginRecord& record, const MailMessage& message);
    bool loadSteps(PluginRecord& record, CvxGetPluginInfoFunction getInfo);
    void failLoad(PluginRecord& record);
    void unloadAll();
    bool listed(const PluginRecord* record) const;

    std::recursive_mutex lock_;
    std::vector<std::unique_ptr<PluginRecord>> records_;
    PluginRecord* loading_ = nullptr;
    bool scanned_ = false;
    std::unique_ptr<PendingWork> pending_;
};

} // namespace corvanthelix
