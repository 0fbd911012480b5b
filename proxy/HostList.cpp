#include "proxy/HostList.h"

#include "filter/TextUtils.h"

#include <cstdlib>
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

} // namespace corvanthelix
