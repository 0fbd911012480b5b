#include "proxy/HostList.h"

#include "base/Application.h"
#include "base/Shell.h"
#include "base/TextUtils.h"
#include "upstream/Mailbox.h"
#include "proxy/ProxyServer.h"
#include "upstream/UpstreamHandlers.h"
#include "base/StringTable.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <openssl/evp.h>

namespace corvanthelix {

namespace {

constexpr const char* kRootName = "hostlist";
constexpr const char* kHostName = "host";
constexpr const char* kServer = "server";
constexpr const char* kUser = "user";
constexpr const char* kPort = "port";
constexpr const char* kSecure = "secure";
constexpr const char* kTried = "try";
constexpr const char* kPassword = "id";
constexpr const char* kDigitAlphabet = "0123456789AbCdEf";

constexpr int kStringConnecting = 114;
constexpr int kStringReceiving = 115;
constexpr int kStringNoConnection = 126;
constexpr int kStringNotOnServer = 230;

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 0;
}

bool FlagValue(const XmlElement& host, const char* name) {
    const XmlAttribute* a = host.FindAttribute(name);
    return a && !a->Value().empty() && a->Value()[0] == '1';
}

void FillFromElement(HostEntry& entry, const XmlElement& host) {
    if (const XmlAttribute* port = host.FindAttribute(kPort))
        entry.port = static_cast<int32_t>(std::atoi(port->Value().c_str()));
    entry.secure = FlagValue(host, kSecure);
    entry.tested = FlagValue(host, kTried);
    entry.obscuredPassword = host.CopyAttributeValue(kPassword);
}

} // namespace

bool HostList::storePassword(const std::string& path, const std::string& server, const std::string& user,
                             std::string_view password) {
    const std::optional<PasswordKey> key = passwordKey(user, server);
    HostList hosts;
    if (!key || !hosts.load(path)) return false;
    HostEntry entry;
    hosts.find(entry, server, user);
    entry.obscuredPassword = obscurePassword(password, *key);
    return hosts.update(entry) && hosts.save();
}

std::optional<HostList::PasswordKey> HostList::passwordKey(std::string_view user, std::string_view server) {
    std::string material = "wq52";
    material.append(user).append("zorab41736").append(server);
    PasswordKey key{};
    unsigned int length = 0;
    if (EVP_Digest(material.data(), material.size(), key.data(), &length, EVP_md5(), nullptr) != 1 ||
        length != key.size())
        return std::nullopt;
    return key;
}

std::string HostList::obscurePassword(std::string_view password, const PasswordKey& key) {
    std::string out;
    out.reserve(password.size() * 2);
    for (size_t i = 0; i < password.size(); ++i) {
        // The first character is written last.
        unsigned char c = static_cast<unsigned char>(password[(i + 1) % password.size()]);
        unsigned v = (c + key[i % key.size()]) & 0xFFu;
        out += kDigitAlphabet[v & 0x0F];
        out += kDigitAlphabet[v >> 4];
    }
    return out;
}

std::optional<std::string> HostList::revealPassword(std::string_view id, const PasswordKey& key) {
    size_t n = id.size() / 2;
    if (n == 0) return std::nullopt;
    std::string rotated(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        int v = DigitValue(id[2 * i + 1]) * 16 + DigitValue(id[2 * i]) - key[i % key.size()];
        rotated[i] = static_cast<char>(v & 0xFF);
    }
    return rotated.back() + rotated.substr(0, n - 1);
}

bool HostList::load(const std::string& path) {
    close();
    path_ = path;
    // Without a root there would be nowhere to add an account, and the next save would keep it so.
    if (!document_.Load(path) || !document_.Root()) {
        document_.Clear();
        document_.CreateRoot(kRootName);
    }
    loaded_ = true;
    return true;
}

XmlElement* HostList::findElement(const std::string& server, const std::string& user) const {
    if (!loaded_ || !document_.Root()) return nullptr;
    const std::string encodedServer = QEncode(server);
    const std::string encodedUser = QEncode(user);
    for (XmlElement* host = document_.Root()->FirstChild(); host; host = host->Next()) {
        if (host->Name() != kHostName) continue;
        const XmlAttribute* s = host->FindAttribute(kServer);
        const XmlAttribute* u = host->FindAttribute(kUser);
        if (s && u && s->Value() == encodedServer && u->Value() == encodedUser) return host;
    }
    return nullptr;
}

bool HostList::find(HostEntry& entry, const std::string& server, const std::string& user) const {
    entry = HostEntry{};
    entry.server = server;
    entry.user = user;
    const XmlElement* host = findElement(server, user);
    if (host) FillFromElement(entry, *host);
    return host != nullptr;
}

bool HostList::update(const HostEntry& entry) {
    if (!loaded_ || !document_.Root()) return false;
    XmlElement* host = findElement(entry.server, entry.user);
    if (!host) {
        host = document_.Root()->AddChild(kHostName);
        host->SetAttribute(kServer, QEncode(entry.server));
        host->SetAttribute(kUser, QEncode(entry.user));
    }
    host->SetAttribute(kPort, std::to_string(entry.port));
    host->SetAttribute(kSecure, entry.secure ? "1" : "0");
    host->SetAttribute(kTried, entry.tested ? "1" : "0");
    if (entry.obscuredPassword) host->SetAttribute(kPassword, *entry.obscuredPassword);
    return true;
}

bool HostList::remove(const std::string& server, const std::string& user) {
    XmlElement* host = findElement(server, user);
    if (!host) return false;
    document_.Root()->RemoveChild(host);
    return true;
}

void HostList::list(std::vector<HostEntry>& out) const {
    if (!loaded_ || !document_.Root()) return;
    for (const XmlElement* host = document_.Root()->FirstChild(); host; host = host->Next()) {
        if (host->Name() != kHostName) continue;
        HostEntry entry;
        entry.server = QuotedPrintableDecode(host->CopyAttributeValue(kServer).value_or(""));
        entry.user = QuotedPrintableDecode(host->CopyAttributeValue(kUser).value_or(""));
        FillFromElement(entry, *host);
        out.push_back(std::move(entry));
    }
}

bool HostList::save() const {
    return loaded_ && document_.Save(path_);
}

void HostList::close() {
    document_.Clear();
    path_.clear();
    loaded_ = false;
}

namespace {

std::string FormatStatus(int id, const char* text) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, loadString(id).c_str(), text);
    return buffer;
}

std::string FormatReceiving(std::uint32_t size) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, loadString(kStringReceiving).c_str(), 1, static_cast<int>(size >> 10), 1);
    return buffer;
}

void CloseMailbox(Mailbox& mailbox) {
    if (mailbox.isConnected()) mailbox.quit();
    mailbox.disconnect();
}

enum class Outcome { Downloaded, NotOnServer, Failed, Cancelled };

// Steps after a successful login: find the message by UID and download it whole.
Outcome FetchByUid(Mailbox& mailbox, const std::string& uid, ServerMessage& binEntry) {
    ServerMessage* found = nullptr;
    ServerMessage* first = mailbox.messages();
    // An empty list and a list that could not be read look alike here; only the first means the
    // message is gone.
    if (!first && !mailbox.client().listEmpty()) return Outcome::Failed;
    for (ServerMessage* m = first; m; m = m->next)
        if (m->uid && *m->uid == uid) {
            found = m;
            break;
        }
    if (!found) return Outcome::NotOnServer;

    StatusState& status = Application::instance().status();
    status.setTotal(found->size);
    status.setStatusText(FormatReceiving(found->size));
    mailbox.setProgressCallback(addReceivedToStatus);
    ServerMessage* downloaded = mailbox.retr(found->number);
    if (!downloaded || !downloaded->message) return Outcome::Failed;
    binEntry.number = downloaded->number;
    binEntry.size = downloaded->size;
    binEntry.message = std::move(downloaded->message);
    binEntry.uid = downloaded->uid;
    return Outcome::Downloaded;
}

// Connects and logs in with `user`/`password`. Returns the login's code, or the connect's code
// when the connection failed (then never -3, so a refused greeting is not taken for a refused
// password). A failed login ends the connection with QUIT.
int ConnectAndLogIn(Mailbox& mailbox, const std::string& server, int port, SSL_CTX* tls, const std::string& user,
                    const std::string& password) {
    int rc = mailbox.connect(server, port, tls);
    if (rc != upstream::kOk) {
        mailbox.disconnect();
        return rc == upstream::kRefused ? upstream::kNoAnswer : rc;
    }
    rc = mailbox.login(user, password);
    if (rc != upstream::kOk) CloseMailbox(mailbox);
    return rc;
}

Outcome Download(const std::string& server, const std::string& user, const std::string& uid, ServerMessage& binEntry) {
    Application& app = Application::instance();
    const std::string path = app.pathInProgramFolder(HostList::kFileName);
    const std::optional<HostList::PasswordKey> key = HostList::passwordKey(user, server);

    HostEntry entry;
    {
        HostList hosts;
        hosts.load(path);
        hosts.find(entry, server, user);
    }
    std::optional<std::string> password;
    if (entry.obscuredPassword && key) password = HostList::revealPassword(*entry.obscuredPassword, *key);

    // The application status text: status window line and tray tooltip.
    const std::string connecting = FormatStatus(kStringConnecting, server.c_str());
    app.status().setStatusText(connecting);
    app.shell().traySetTooltip(connecting);

    SSL_CTX* tls = nullptr;
    if (entry.secure) {
        tls = ProxyServer::instance().clientContext();
        // Never fall back to a plain connection for an account that uses TLS: the password would
        // cross the network in clear.
        if (!tls) return Outcome::Failed;
    }
    Mailbox mailbox;

    int rc = upstream::kRefused;
    if (password) rc = ConnectAndLogIn(mailbox, server, entry.port, tls, user, *password);
    LoginRequest request{server, user, password.value_or(""), false};
    if (rc == upstream::kRefused) {
        do {
            if (!app.shell().loginDialog(request)) return Outcome::Cancelled;
            rc = ConnectAndLogIn(mailbox, server, entry.port, tls, request.user, request.password);
        } while (rc == upstream::kRefused);
    }
    if (rc != upstream::kOk || !mailbox.isConnected()) return Outcome::Failed;

    // Only a password the server accepted is stored.
    if (request.savePassword) HostList::storePassword(path, server, user, request.password);

    Outcome outcome = FetchByUid(mailbox, uid, binEntry);
    CloseMailbox(mailbox);
    return outcome;
}

} // namespace

bool HostList::downloadForRestore(const std::string& server, const std::string& user, const std::string& uid,
                                  ServerMessage& binEntry) {
    ProxyServer& proxy = ProxyServer::instance();
    // A running client session finishes first; the two never change the host list together.
    std::lock_guard<std::recursive_mutex> sessionLock(proxy.sessionLock());
    Application& app = Application::instance();
    app.shell().mailCheckBegin();
    Outcome outcome = Download(server, user, uid, binEntry);
    if (outcome == Outcome::NotOnServer) app.showMessage(kStringNotOnServer, mb::kOk | mb::kIconExclamation);
    if (outcome == Outcome::Failed) app.showMessage(kStringNoConnection, mb::kOk | mb::kIconStop);
    app.shell().mailCheckEnd();
    return outcome == Outcome::Downloaded;
}

} // namespace corvanthelix
