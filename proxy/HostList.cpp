#include "proxy/HostList.h"

#include "base/Application.h"
#include "base/Shell.h"
#include "base/TextUtils.h"
#include "upstream/Mailbox.h"
#include "proxy/ProxyServer.h"
#include "proxy/ServerTrust.h"
#include "base/Settings.h"
#include "upstream/UpstreamHandlers.h"
#include "base/StringTable.h"
#include "base/TranslatedFormat.h"

#include <strings.h>

#include <cctype>
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
constexpr const char* kStartTls = "stls";
constexpr const char* kPins = "pin";
constexpr const char* kDigitAlphabet = "0123456789AbCdEf";

constexpr int kStringConnecting = 114;
constexpr int kStringReceiving = 115;
constexpr int kStringNoConnection = 126;
constexpr int kStringNotOnServer = 230;

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 0;
}

bool flagValue(const XmlElement& host, const char* name) {
    const XmlAttribute* a = host.findAttribute(name);
    return a && !a->value().empty() && a->value()[0] == '1';
}

// The "pin" attribute: "port-HEXDIGITS" items joined by ",", the fingerprint without its ":"s so
// that the value holds letters, digits, "-" and "," only.
std::vector<CertificatePin> parsePins(const std::string& value) {
    std::vector<CertificatePin> pins;
    std::size_t at = 0;
    while (at < value.size()) {
        std::size_t end = value.find(',', at);
        if (end == std::string::npos) end = value.size();
        const std::string item = value.substr(at, end - at);
        at = end + 1;
        const std::size_t dash = item.find('-');
        if (dash == std::string::npos || dash == 0) continue;
        CertificatePin pin;
        pin.port = std::atoi(item.substr(0, dash).c_str());
        const std::string hex = item.substr(dash + 1);
        if (pin.port <= 0 || hex.empty() || hex.size() % 2 != 0) continue;
        for (std::size_t i = 0; i < hex.size(); i += 2) {
            if (i) pin.fingerprint += ':';
            pin.fingerprint += hex.substr(i, 2);
        }
        pins.push_back(std::move(pin));
    }
    return pins;
}

std::string pinsValue(const std::vector<CertificatePin>& pins) {
    std::string value;
    for (const CertificatePin& pin : pins) {
        if (!value.empty()) value += ',';
        value += std::to_string(pin.port) + '-';
        for (char c : pin.fingerprint)
            if (c != ':') value += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return value;
}

// A fingerprint as CertificateCheck gives it: hexadecimal pairs joined by ":".
bool isFingerprint(const std::string& text) {
    if (text.empty() || text.size() % 3 != 2) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i % 3 == 2 ? text[i] != ':' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

void fillFromElement(HostEntry& entry, const XmlElement& host) {
    if (const XmlAttribute* port = host.findAttribute(kPort))
        entry.port = static_cast<int32_t>(std::atoi(port->value().c_str()));
    entry.secure = flagValue(host, kSecure);
    entry.tested = flagValue(host, kTried);
    entry.obscuredPassword = host.copyAttributeValue(kPassword);
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
        int v = digitValue(id[2 * i + 1]) * 16 + digitValue(id[2 * i]) - key[i % key.size()];
        rotated[i] = static_cast<char>(v & 0xFF);
    }
    return rotated.back() + rotated.substr(0, n - 1);
}

bool HostList::load(const std::string& path) {
    close();
    path_ = path;
    // Without a root there would be nowhere to add an account, and the next save would keep it so.
    if (!document_.load(path) || !document_.root()) {
        document_.clear();
        document_.createRoot(kRootName);
    }
    loaded_ = true;
    return true;
}

XmlElement* HostList::findElement(const std::string& server, const std::string& user) const {
    if (!loaded_ || !document_.root()) return nullptr;
    const std::string encodedServer = QEncode(server);
    const std::string encodedUser = QEncode(user);
    for (XmlElement* host = document_.root()->firstChild(); host; host = host->Next()) {
        if (host->name() != kHostName) continue;
        const XmlAttribute* s = host->findAttribute(kServer);
        const XmlAttribute* u = host->findAttribute(kUser);
        if (s && u && s->value() == encodedServer && u->value() == encodedUser) return host;
    }
    return nullptr;
}

bool HostList::find(HostEntry& entry, const std::string& server, const std::string& user) const {
    entry = HostEntry{};
    entry.server = server;
    entry.user = user;
    const XmlElement* host = findElement(server, user);
    if (host) fillFromElement(entry, *host);
    return host != nullptr;
}

bool HostList::update(const HostEntry& entry) {
    if (!loaded_ || !document_.root()) return false;
    XmlElement* host = findElement(entry.server, entry.user);
    if (!host) {
        host = document_.root()->addChild(kHostName);
        host->setAttribute(kServer, QEncode(entry.server));
        host->setAttribute(kUser, QEncode(entry.user));
    }
    host->setAttribute(kPort, std::to_string(entry.port));
    host->setAttribute(kSecure, entry.secure ? "1" : "0");
    host->setAttribute(kTried, entry.tested ? "1" : "0");
    if (entry.obscuredPassword) host->setAttribute(kPassword, *entry.obscuredPassword);
    return true;
}

bool HostList::remove(const std::string& server, const std::string& user) {
    XmlElement* host = findElement(server, user);
    if (!host) return false;
    document_.root()->removeChild(host);
    return true;
}

void HostList::list(std::vector<HostEntry>& out) const {
    if (!loaded_ || !document_.root()) return;
    for (const XmlElement* host = document_.root()->firstChild(); host; host = host->Next()) {
        if (host->name() != kHostName) continue;
        HostEntry entry;
        entry.server = QuotedPrintableDecode(host->copyAttributeValue(kServer).value_or(""));
        entry.user = QuotedPrintableDecode(host->copyAttributeValue(kUser).value_or(""));
        fillFromElement(entry, *host);
        out.push_back(std::move(entry));
    }
}

bool HostList::save() const {
    return loaded_ && document_.save(path_);
}

void HostList::close() {
    document_.clear();
    path_.clear();
    loaded_ = false;
}

namespace {

std::string formatStatus(int id, const char* text) {
    return TranslatedFormat::byId(id, text);
}

std::string formatReceiving(std::uint32_t size) {
    return TranslatedFormat::byId(kStringReceiving, 1, static_cast<int>(size >> 10), 1);
}

void closeMailbox(Mailbox& mailbox) {
    if (mailbox.isConnected()) mailbox.quit();
    mailbox.disconnect();
}

enum class Outcome { Downloaded, NotOnServer, Failed, Cancelled };

// Steps after a successful login: find the message by UID and download it whole.
Outcome fetchByUid(Mailbox& mailbox, const std::string& uid, ServerMessage& binEntry) {
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
    status.setStatusText(formatReceiving(found->size));
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
// when the connection failed (then never Refused, so a refused greeting is not taken for a refused
// password). A failed login ends the connection with QUIT.
UpstreamResult connectAndLogIn(Mailbox& mailbox, const std::string& server, int port, SSL_CTX* tls, const std::string& user,
                    const std::string& password) {
    UpstreamResult rc = mailbox.connect(server, port, tls);
    if (rc != UpstreamResult::Ok) {
        mailbox.disconnect();
        return rc == UpstreamResult::Refused ? UpstreamResult::NoAnswer : rc;
    }
    rc = mailbox.login(user, password);
    if (rc != UpstreamResult::Ok) closeMailbox(mailbox);
    return rc;
}

Outcome download(const std::string& server, const std::string& user, const std::string& uid, ServerMessage& binEntry) {
    Application& app = Application::instance();
    const std::string path = app.paths().hostListFile();
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
    const std::string connecting = formatStatus(kStringConnecting, server.c_str());
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
    mailbox.client().setCertificateJudge(ServerTrust::judgeFor(user));
    if (!tls && settings::useStls() != 0)
        mailbox.client().setStartTls(ProxyServer::instance().clientContext(), HostList::usesStartTls(path, server, user));

    UpstreamResult rc = UpstreamResult::Refused;
    if (password) rc = connectAndLogIn(mailbox, server, entry.port, tls, user, *password);
    LoginRequest request{server, user, password.value_or(""), false};
    if (rc == UpstreamResult::Refused) {
        do {
            if (!app.shell().loginDialog(request)) return Outcome::Cancelled;
            rc = connectAndLogIn(mailbox, server, entry.port, tls, request.user, request.password);
        } while (rc == UpstreamResult::Refused);
    }
    if (rc != UpstreamResult::Ok || !mailbox.isConnected()) return Outcome::Failed;

    // Only a password the server accepted is stored.
    if (request.savePassword) HostList::storePassword(path, server, user, request.password);

    Outcome outcome = fetchByUid(mailbox, uid, binEntry);
    closeMailbox(mailbox);
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
    Outcome outcome = download(server, user, uid, binEntry);
    if (outcome == Outcome::NotOnServer) app.showMessage(kStringNotOnServer, mb::kOk | mb::kIconExclamation);
    if (outcome == Outcome::Failed) app.showMessage(kStringNoConnection, mb::kOk | mb::kIconStop);
    app.shell().mailCheckEnd();
    return outcome == Outcome::Downloaded;
}

TlsChoice HostList::chooseTls(const std::string& path, const TlsRequest& request,
                             const std::function<bool(int port)>& tryTls, const std::function<bool()>& askUnsecure) {
    TlsChoice choice;
    choice.port = request.port;
    choice.secure = request.secure;
    HostList hosts;
    if (!hosts.load(path)) return choice;

    bool tlsFailed = false;
    auto attempt = [&] {
        const bool ok = tryTls(choice.port);
        if (!ok) {
            tlsFailed = true;
            if (!request.portGiven) choice.port = request.plainPort;
        }
        return ok;
    };
    HostEntry entry;
    if (hosts.find(entry, request.server, request.user)) {
        choice.secure = entry.secure;
        if (request.trySsl && !entry.tested) {
            if (!request.portGiven) choice.port = request.tlsPort;
            choice.secure = attempt();
            entry.tested = true;
            entry.port = choice.port;
            entry.secure = choice.secure;
            hosts.update(entry);
            if (!tlsFailed) hosts.save();
        }
        if (!request.portGiven) {
            choice.port = choice.secure ? request.tlsPort : request.plainPort;
        } else {
            entry.port = choice.port;
            hosts.update(entry);
            // After a failed TLS try the list is saved only once the person agrees to go on.
            if (!tlsFailed) hosts.save();
        }
    } else {
        entry.server = request.server;
        entry.user = request.user;
        if (request.trySsl && (!request.portGiven || choice.secure)) {
            choice.secure = attempt();
            entry.tested = true;
        }
        entry.secure = choice.secure;
        entry.port = choice.port;
        choice.unrecorded = entry;
    }
    if (tlsFailed) {
        if (!askUnsecure()) {
            choice.aborted = true;
            choice.unrecorded.reset();
            return choice;
        }
        if (!choice.unrecorded) hosts.save();
    }
    return choice;
}

bool HostList::recordAccount(const std::string& path, const HostEntry& entry) {
    HostList hosts;
    if (!hosts.load(path)) return false;
    // An element made during this login (a certificate pinned before the password was sent)
    // takes the login's port and TLS choice; its pin and stored password stay.
    return hosts.update(entry) && hosts.save();
}

// ---- trusted certificates and the STLS mark ----

bool HostList::pinCertificate(const std::string& path, const std::string& server, const std::string& user, int port,
                              const std::string& fingerprint) {
    HostList hosts;
    if (!isFingerprint(fingerprint) || !hosts.load(path)) return false;
    HostEntry entry;
    if (!hosts.find(entry, server, user)) {
        entry.port = port;
        hosts.update(entry);
    }
    XmlElement* host = hosts.findElement(server, user);
    if (!host) return false;
    std::vector<CertificatePin> pins = parsePins(host->copyAttributeValue(kPins).value_or(""));
    std::erase_if(pins, [port](const CertificatePin& pin) { return pin.port == port; });
    pins.push_back(CertificatePin{port, fingerprint});
    host->setAttribute(kPins, pinsValue(pins));
    return hosts.save();
}

std::vector<CertificatePin> HostList::pinsOf(const std::string& path, const std::string& server) {
    std::vector<CertificatePin> pins;
    HostList hosts;
    if (!hosts.load(path) || !hosts.document_.root()) return pins;
    const std::string encodedServer = QEncode(server);
    for (const XmlElement* host = hosts.document_.root()->firstChild(); host; host = host->Next()) {
        if (host->name() != kHostName) continue;
        const XmlAttribute* s = host->findAttribute(kServer);
        if (!s || s->value() != encodedServer) continue;
        for (CertificatePin& pin : parsePins(host->copyAttributeValue(kPins).value_or(""))) pins.push_back(std::move(pin));
    }
    return pins;
}

std::vector<CertificatePin> HostList::accountPins(const std::string& server, const std::string& user) const {
    const XmlElement* host = findElement(server, user);
    if (!host) return {};
    return parsePins(host->copyAttributeValue(kPins).value_or(""));
}

bool HostList::forgetPins(const std::string& server, const std::string& user) {
    XmlElement* host = findElement(server, user);
    if (!host) return false;
    XmlAttribute* pins = host->findAttribute(kPins);
    if (!pins) return false;
    host->removeAttribute(pins);
    return true;
}

bool HostList::isPinned(const std::string& path, const std::string& server, int port, const std::string& fingerprint) {
    if (fingerprint.empty()) return false;
    for (const CertificatePin& pin : pinsOf(path, server))
        if (pin.port == port && strcasecmp(pin.fingerprint.c_str(), fingerprint.c_str()) == 0) return true;
    return false;
}

bool HostList::usesStartTls(const std::string& path, const std::string& server, const std::string& user) {
    HostList hosts;
    if (!hosts.load(path)) return false;
    const XmlElement* host = hosts.findElement(server, user);
    return host && flagValue(*host, kStartTls);
}

bool HostList::rememberStartTls(const std::string& path, const std::string& server, const std::string& user, bool on) {
    HostList hosts;
    if (!hosts.load(path)) return false;
    XmlElement* host = hosts.findElement(server, user);
    if (!host) return false;
    if (flagValue(*host, kStartTls) == on) return true;
    host->setAttribute(kStartTls, on ? "1" : "0");
    return hosts.save();
}

} // namespace corvanthelix
