#include "proxy/ServerTrust.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "base/Shell.h"
#include "base/StringTable.h"
#include "proxy/HostList.h"

#include <cstdio>

namespace corvanthelix {

namespace {
constexpr int kStringQuestion = 300;
constexpr int kStringExpired = 301;
constexpr int kStringSelfSigned = 302;
constexpr int kStringWrongHost = 303;
constexpr int kStringUnknownIssuer = 304;
constexpr int kStringNotYetValid = 305;

// Fills the question's conversions in order: %s server, %i port, then six %s. A translation that
// lost a conversion shows its text unfilled rather than reading a wrong argument.
std::string fillQuestion(const std::string& pattern, const std::string& server, int port, const std::string& reason,
                         const CertificateCheck& check) {
    const std::string fields[] = {server,          std::to_string(port), reason,
                                  check.subject(), check.issuer(),       check.validFrom(),
                                  check.validUntil(), check.fingerprint()};
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char kind = pattern[i + 1];
            if (kind == '%') {
                out += '%';
                ++i;
                continue;
            }
            if ((kind == 's' || kind == 'i') && next < std::size(fields)) {
                out += fields[next++];
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}
} // namespace

bool ServerTrust::decide(const CertificateCheck& check, const std::string& server, int port, const std::string& user,
                         const std::string& hostListPath, Shell& shell) {
    if (settings::verifyServerCertificates() == 0) return true;
    if (check.verified()) return true;
    if (check.fingerprint().empty()) return false;
    if (HostList::isPinned(hostListPath, server, port, check.fingerprint())) return true;
    CertificateQuestion question;
    question.server = server;
    question.port = port;
    question.reason = translatedReason(check);
    question.subject = check.subject();
    question.issuer = check.issuer();
    question.validFrom = check.validFrom();
    question.validUntil = check.validUntil();
    question.fingerprint = check.fingerprint();
    question.text = questionText(check, server, port);
    if (!shell.trustCertificate(question)) return false;
    // The person's yes holds for this login even when the pin cannot be written.
    HostList::pinCertificate(hostListPath, server, user, port, check.fingerprint());
    return true;
}

Pop3Client::CertificateJudge ServerTrust::judgeFor(const std::string& user) {
    return [user](const CertificateCheck& check, const std::string& host, int port) {
        Application& app = Application::instance();
        return decide(check, host, port, user, app.paths().hostListFile(), app.shell());
    };
}

std::string ServerTrust::translatedReason(const CertificateCheck& check) {
    switch (check.problem()) {
    case CertificateProblem::Expired: return loadString(kStringExpired);
    case CertificateProblem::SelfSigned: return loadString(kStringSelfSigned);
    case CertificateProblem::WrongHost: return loadString(kStringWrongHost);
    case CertificateProblem::UnknownIssuer: return loadString(kStringUnknownIssuer);
    case CertificateProblem::NotYetValid: return loadString(kStringNotYetValid);
    default: return check.reason();
    }
}

std::string ServerTrust::questionText(const CertificateCheck& check, const std::string& server, int port) {
    return fillQuestion(loadString(kStringQuestion), server, port, translatedReason(check), check);
}

std::string ServerTrust::refusalReply(const std::string& server, const CertificateCheck& check) {
    std::string reason = check.reason();
    if (reason.empty()) reason = "no certificate";
    return "-ERR Corvanthelix: the certificate of " + server + " could not be verified (" + reason + ")\r\n";
}

} // namespace corvanthelix
