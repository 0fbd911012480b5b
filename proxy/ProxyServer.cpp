#include "proxy/ProxyServer.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "proxy/IdleWatchdog.h"
#include "proxy/ReadySession.h"
#include "proxy/SessionControl.h"
#include "base/StringTable.h"
#include "base/TranslatedFormat.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include <sys/resource.h>

namespace corvanthelix {

namespace {

constexpr int kSocketErrorCaption = 1;
constexpr int kPortInUseText = 247;
constexpr int kPortNeedsPrivilegesText = 256;
constexpr int kTlsPortShutText = 1403;

std::unique_ptr<ProxyServer>& instanceHolder() {
    static std::unique_ptr<ProxyServer> holder;
    return holder;
}
std::mutex& instanceMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

struct ProxyServer::Session {
    Session(std::unique_ptr<Connection> connection, bool tlsPort, ProxyServer& server)
        : client(std::move(connection)), control(*client, tlsPort, server) {}
    std::unique_ptr<Connection> client;
    SessionControl control;
    std::thread thread;
    std::atomic<bool> finished{false};
};

ProxyServer& ProxyServer::instance() {
    std::lock_guard<std::mutex> lock(instanceMutex());
    auto& holder = instanceHolder();
    if (!holder) holder = std::make_unique<ProxyServer>();
    return *holder;
}

void ProxyServer::destroyInstance() {
    std::unique_ptr<ProxyServer> server;
    {
        std::lock_guard<std::mutex> lock(instanceMutex());
        server = std::move(instanceHolder());
    }
    server.reset();
}

ProxyServer::ProxyServer() : sessionFunction_(runReadySession) {}

ProxyServer::~ProxyServer() { stop(); }

void ProxyServer::setSessionFunction(SessionFunction session) {
    sessionFunction_ = session ? std::move(session) : SessionFunction(runReadySession);
}

long ProxyServer::raiseOpenFilesLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? -1 : static_cast<long>(limit.rlim_cur);
}

bool ProxyServer::start() {
    if (started_) return false;
    raiseOpenFilesLimit();
    TlsContext::initialiseLibrary();
    clientContext_ = TlsContext::create(TlsContext::Side::Client);
    serverContext_ = TlsContext::create(TlsContext::Side::Server);
    if (!clientContext_ || !serverContext_) return false;
    Application& app = Application::instance();
    // Without a usable certificate and key only the TLS port stays shut: the plain port serves.
    const bool tlsReady = serverContext_.loadCertificate(app.paths().certificateFile(),
                                                         app.paths().keyFile());
    if (!tlsReady) serverContext_.reset();
    {
        std::lock_guard<std::mutex> lock(tableMutex_);
        stopping_ = false;
    }
    started_ = true;
    closedPort_ = 0;
    if (settings::enablePort() != 0) openPort(plainListener_, plainAcceptThread_, settings::port(), false);
    if (settings::enablePortSsl() != 0) {
        if (tlsReady)
            openPort(tlsListener_, tlsAcceptThread_, settings::portSsl(), true);
        else
            reportTlsPortShut(settings::portSsl());
    }
    openIpv6Twin(plainListener_, plainListener6_, plainAcceptThread6_, false);
    openIpv6Twin(tlsListener_, tlsListener6_, tlsAcceptThread6_, true);
    return true;
}

// Mail clients told "localhost" may try ::1 first: an open port listens there too when the
// system has an IPv6 loopback. Without one nothing is said; the IPv4 port serves alone.
void ProxyServer::openIpv6Twin(const Connection& ipv4, Connection& listener, std::thread& acceptThread, bool tlsPort) {
    const int port = ipv4.localPort();
    if (port == 0 || !listener.listenIpv6(port)) return;
    try {
        acceptThread = std::thread(&ProxyServer::acceptLoop, this, std::ref(listener), tlsPort);
    } catch (const std::system_error&) {
        listener.close();
    }
}

void ProxyServer::openPort(Connection& listener, std::thread& acceptThread, int port, bool tlsPort) {
    if (!listener.listen(port)) {
        int none = 0;
        closedPort_.compare_exchange_strong(none, port);
        Application::instance().shell().messageBox(bindFailureText(port, listener.lastError(), tlsPort),
                                                    loadString(kSocketErrorCaption), mb::kIconExclamation);
        return;
    }
    try {
        acceptThread = std::thread(&ProxyServer::acceptLoop, this, std::ref(listener), tlsPort);
    } catch (const std::system_error&) {
        listener.close();
    }
}

void ProxyServer::reportTlsPortShut(int port) {
    const std::string text = TranslatedFormat::byId(kTlsPortShutText, port);
    std::fprintf(stderr, "corvanthelix: %s\n", text.c_str());
    Shell& shell = Application::instance().shell();
    shell.traySetTooltip(text);
    shell.messageBox(text, loadString(kSocketErrorCaption), mb::kIconExclamation);
}

std::string ProxyServer::bindFailureText(int port, int error, bool tlsPort) {
    if (error == EACCES)
        return TranslatedFormat::byId(kPortNeedsPrivilegesText, port, tlsPort ? kSuggestedTlsPort : kSuggestedPlainPort);
    return TranslatedFormat::byId(kPortInUseText, port);
}

void ProxyServer::acceptLoop(Connection& listener, bool tlsPort) {
    while (std::unique_ptr<Connection> client = listener.accept()) {
        reapThreads(false);
        launchSession(std::move(client), tlsPort);
    }
    listener.close();
    reapThreads(true);
}

void ProxyServer::launchSession(std::unique_ptr<Connection> client, bool tlsPort) {
    auto session = std::make_unique<Session>(std::move(client), tlsPort, *this);
    std::lock_guard<std::mutex> lock(tableMutex_);
    if (stopping_) return; // the connection closes with the session object
    bool slotFree = false;
    for (const auto& slot : threadTable_) slotFree = slotFree || !slot;
    if (!slotFree) {
        // Told rather than dropped: the mail client shows the reason. A client on the TLS port
        // gets only the close, as its handshake has not been run.
        if (!tlsPort) session->client->writeText(kNoFreeSlotReply);
        return;
    }
    try {
        // The thread starts under the table lock, so its own reapThreads() at the end finds it
        // stored.
        session->thread = std::thread(&ProxyServer::runSession, this, std::ref(*session));
    } catch (const std::system_error&) {
        return;
    }
    for (auto& slot : threadTable_) {
        if (!slot) {
            slot = std::move(session);
            return;
        }
    }
    overflow_.push_back(std::move(session));
}

void ProxyServer::runSession(Session& session) {
    // The TLS handshake runs here rather than on the accept thread: a client that stalls in it
    // holds up only itself, and stop() can end it by closing its connection.
    bool ready = true;
    if (session.control.tlsPort()) {
        // A client that stalls in the handshake is closed once its time is up.
        IdleWatchdog watchdog(*session.client);
        watchdog.arm(tlsHandshakeLimit_);
        ready = session.client->startTls(serverContext_.get());
        watchdog.disarm();
    }
    try {
        if (ready) sessionFunction_(session.control);
    } catch (...) {
        std::fprintf(stderr, "corvanthelix: a client session ended with an exception\n");
    }
    session.client->close();
    reapThreads(false);
    session.finished = true;
}

std::vector<std::unique_ptr<ProxyServer::Session>> ProxyServer::takeSessionsLocked(bool finishedOnly) {
    std::vector<std::unique_ptr<Session>> taken;
    for (auto& slot : threadTable_)
        if (slot && (!finishedOnly || slot->finished)) taken.push_back(std::move(slot));
    for (auto& session : overflow_)
        if (!finishedOnly || session->finished) taken.push_back(std::move(session));
    std::erase(overflow_, nullptr);
    return taken;
}

void ProxyServer::reapThreads(bool terminate) {
    std::vector<std::unique_ptr<Session>> ended;
    {
        std::lock_guard<std::mutex> lock(tableMutex_);
        if (terminate) {
            for (auto& slot : threadTable_)
                if (slot) slot->control.closeAll();
            for (auto& session : overflow_) session->control.closeAll();
        }
        ended = takeSessionsLocked(true);
    }
    // A finished session's thread has nothing left to do; joining happens outside the lock,
    // which the ending threads take themselves.
    for (auto& session : ended) session->thread.join();
}

int ProxyServer::runningSessions() const {
    std::lock_guard<std::mutex> lock(tableMutex_);
    int running = 0;
    for (const auto& slot : threadTable_)
        if (slot && !slot->finished) ++running;
    for (const auto& session : overflow_)
        if (!session->finished) ++running;
    return running;
}

void ProxyServer::stop() {
    {
        std::lock_guard<std::mutex> lock(tableMutex_);
        stopping_ = true;
    }
    plainListener_.close();
    tlsListener_.close();
    plainListener6_.close();
    tlsListener6_.close();
    if (plainAcceptThread_.joinable()) plainAcceptThread_.join();
    if (tlsAcceptThread_.joinable()) tlsAcceptThread_.join();
    if (plainAcceptThread6_.joinable()) plainAcceptThread6_.join();
    if (tlsAcceptThread6_.joinable()) tlsAcceptThread6_.join();

    // Every session still running, in the table or not, is ended and waited for.
    std::vector<std::unique_ptr<Session>> remaining;
    {
        std::lock_guard<std::mutex> lock(tableMutex_);
        remaining = takeSessionsLocked(false);
        for (auto& session : remaining) session->control.closeAll();
    }
    for (auto& session : remaining) session->thread.join();

    clientContext_.reset();
    serverContext_.reset();
    started_ = false;
}

} // namespace corvanthelix
