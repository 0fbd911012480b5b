#include "app/Program.h"
#include "app/StoreRepair.h"

#include "base/Application.h"
#include "base/ProgramLanguage.h"
#include "app/ProgramShell.h"
#include "base/Shell.h"
#include "filter/ChainPluginHost.h"
#include "filter/FilterChain.h"
#include "filter/FilterManager.h"
#include "filter/PluginManager.h"
#include "filter/SpamWordFilter.h"
#include "language/CLanguage.h"
#include "net/LocalCertificate.h"
#include "proxy/ClientSession.h"
#include "proxy/Commit.h"
#include "proxy/HostList.h"
#include "proxy/MailCheck.h"
#include "proxy/ProxyServer.h"
#include "base/StringTable.h"
#include "base/TrayText.h"
#include "stores/RecycleBin.h"
#include "stores/TrainingArea.h"
#include "upstream/ServerMessage.h"

namespace corvanthelix {

namespace {
constexpr int kStringCrashed = 137;

void addPluginLanguageFiles(CLanguage* language) {
    if (language == nullptr) return;
    LANGUAGE information {};
    language->GetInformation(&information);
    // Entries of the main language file win over a plug-in's.
    for (const std::string& path : PluginManager::instance().languageFiles(information.languageId))
        language->AddLanguageFile(path.c_str(), 0);
}

// The recycle bin's download of a message it holds only in part, through the host list's account.
bool restoreFromServer(const std::string& user, const std::string& server, const std::string& uid,
                       MailMessage& message) {
    ServerMessage fetched;
    if (!HostList::downloadForRestore(server, user, uid, fetched) || !fetched.message) return false;
    message = std::move(*fetched.message);
    return true;
}

SessionServices sessionServices() {
    SessionServices services;
    services.runCheck = &MailCheck::run;
    services.commit = &Commit::run;
    services.learn = [](const MailMessage& message, bool spam) { return TrainingArea::instance().learn(message, spam); };
    return services;
}
} // namespace

Program::Program(Shell& shell) : shell_(shell) {}

Program::~Program() { shutDown(); }

bool Program::startUp() {
    Application& app = Application::instance();
    app.setShell(&shell_);
    started_ = true;
    ProxyServer& server = ProxyServer::instance();

    installProgramTranslation();
    CLanguage* language = loadProgramLanguage(app.resourceFolder(), app.settingsPath(), userLanguageId());
    shell_.traySetTooltip(tray::versionTooltip());

    StoreRepair::repairDamagedStores();
    RecycleBin::instance().rebuildIndex(false);
    RecycleBin::instance().setRestoreDownloader(&restoreFromServer);
    SpamWordFilter::convertOldWordFiles(app.programFolder(), app.settingsPath());

    installChainPluginHost(&PluginManager::chainHost);
    PluginManager::instance().loadAll();
    addPluginLanguageFiles(language);
    TrainingArea::instance();
    app.trimWorkingSet();

    crashText_ = loadString(kStringCrashed);
    // The filters' data stays loaded for the program's life, so a mail check does not read the
    // word lists again.
    FilterManager::instance().acquire(true);
    filtersHeld_ = true;

    ClientSession::install(server, sessionServices());
    // Each installation makes its own certificate for the TLS port; when that fails, the server
    // reports the missing certificate as it would any other.
    LocalCertificate::ensure(app.programFolder());
    const bool listening = server.start();
    if (server.closedPort() != 0) shell_.traySetTooltip(tray::restingTooltip(server.closedPort()));
    shell_.traySetSpamCounter(app.spamCount());
    return listening;
}

void Program::shutDown() {
    if (!started_) return;
    started_ = false;
    ProxyServer::instance().stop();
    TrainingArea::destroyInstance();
    RecycleBin::destroyInstance();
    if (filtersHeld_) FilterManager::instance().release();
    filtersHeld_ = false;
    FilterManager::destroyInstance();
    // The chain holds plug-in records: it goes before the plug-in manager that owns them.
    FilterChain::destroyInstance();
    installChainPluginHost(nullptr);
    PluginManager::destroyInstance();
    ProxyServer::destroyInstance();
    Application::instance().setShell(nullptr);
}

} // namespace corvanthelix
