#include "app/TrustServerCommand.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "net/CertificateCheck.h"
#include "net/TlsContext.h"
#include "proxy/HostList.h"
#include "upstream/Pop3Client.h"

#include <cstdlib>
#include <optional>
#include <vector>

namespace corvanthelix {

bool TrustServerCommand::parseTarget(const std::string& target, std::string& host, int& port) {
    const std::size_t colon = target.rfind(':');
    if (colon == std::string::npos || colon + 1 >= target.size()) return false;
    host = target.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    const std::string digits = target.substr(colon + 1);
    if (host.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    port = std::atoi(digits.c_str());
    return port >= 1 && port <= 65535;
}

int TrustServerCommand::run(const std::string& target, std::FILE* in, std::FILE* out) {
    std::string host;
    int port = 0;
    if (!parseTarget(target, host, port)) {
        std::fprintf(out, "corvanthelix: --trust-server needs HOST:PORT, not \"%s\"\n", target.c_str());
        return 2;
    }
    TlsContext context = TlsContext::create(TlsContext::Side::Client);
    if (!context) return 2;

    // The judge keeps what it saw and stops the connection before anything else is said.
    std::optional<CertificateCheck> seen;
    Pop3Client client;
    client.setTimeout(static_cast<std::uint32_t>(settings::timeout()) * 1000u);
    client.setCertificateJudge([&seen](const CertificateCheck& check, const std::string&, int) {
        seen = check;
        return false;
    });
    client.connect(host, port, context.get());
    if (!seen) {
        client.setStartTls(context.get(), true);
        client.connect(host, port, nullptr);
    }
    client.disconnect();
    if (!seen) {
        std::fprintf(out, "corvanthelix: %s:%i presented no certificate (neither POP3 over TLS nor STLS)\n",
                     host.c_str(), port);
        return 2;
    }

    std::fprintf(out, "Server:      %s:%i\nSubject:     %s\nIssuer:      %s\nValid from:  %s\nValid until: %s\nSHA-256:     %s\n",
                 host.c_str(), port, seen->subject().c_str(), seen->issuer().c_str(), seen->validFrom().c_str(),
                 seen->validUntil().c_str(), seen->fingerprint().c_str());
    const std::string path = Application::instance().paths().hostListFile();
    if (seen->verified()) {
        std::fprintf(out, "The certificate verifies against the system's trust store; nothing to pin.\n");
        return 0;
    }
    if (HostList::isPinned(path, host, port, seen->fingerprint())) {
        std::fprintf(out, "This certificate is already trusted for %s:%i.\n", host.c_str(), port);
        return 0;
    }
    std::fprintf(out, "The certificate could not be verified (%s).\nTrust this certificate for this server from now on? Type yes to trust it: ",
                 seen->reason().c_str());
    std::fflush(out);
    char line[64] = {};
    const bool answered = std::fgets(line, sizeof line, in) != nullptr;
    std::string answer = answered ? line : "";
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
    if (answer != "yes") {
        std::fprintf(out, "\nNot trusted.\n");
        return 1;
    }

    std::vector<HostEntry> accounts;
    {
        HostList hosts;
        if (hosts.load(path)) hosts.list(accounts);
    }
    bool pinned = false;
    bool any = false;
    for (const HostEntry& account : accounts) {
        if (account.server != host) continue;
        any = true;
        pinned = HostList::pinCertificate(path, host, account.user, port, seen->fingerprint()) || pinned;
    }
    if (!any) pinned = HostList::pinCertificate(path, host, "", port, seen->fingerprint());
    std::fprintf(out, pinned ? "Trusted for %s:%i.\n" : "corvanthelix: the host list for %s:%i could not be written\n",
                 host.c_str(), port);
    return pinned ? 0 : 1;
}

} // namespace corvanthelix
