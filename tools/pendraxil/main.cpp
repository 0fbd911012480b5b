// pendraxil: makes a certificate trusted on this machine so that mail clients accept the local
// TLS port of Corvanthelix. Usage: pendraxil [--verbose] <certfile.p12 | certfile.der>
//
// The certificate goes into the system's anchor folder (then update-ca-certificates), and into
// every NSS database of the user's Thunderbird and Firefox profiles when certutil is installed.
// Exit code 0 when every store took it, 1 otherwise. Failures are silent unless --verbose.
#include "AnchorFolder.h"
#include "CertificateFile.h"
#include "ChildProcess.h"
#include "CommandLine.h"
#include "DesktopUser.h"
#include "NssDatabases.h"
#include "Report.h"

using namespace corvanthelix;

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;

const char* outcomeText(CertificateFile::Outcome outcome) {
    switch (outcome) {
    case CertificateFile::Outcome::Loaded: return "loaded";
    case CertificateFile::Outcome::NotFound: return "certificate not found";
    case CertificateFile::Outcome::NotLoaded: return "certificate could not be loaded into memory";
    case CertificateFile::Outcome::NotPkcs12: return "this certificate is not valid";
    case CertificateFile::Outcome::NotImported: return "the PKCS #12 file could not be opened with an empty password";
    case CertificateFile::Outcome::NoCertificate: return "could not read a certificate";
    }
    return "unknown outcome";
}

// Every NSS database the user has; true when each took the certificates (or there is none).
bool installInNss(const Certificates& certificates, const Report& report) {
    const DesktopUser user = DesktopUser::invoking();
    const std::vector<std::string> databases = NssDatabases::find(user.home());
    if (databases.empty()) {
        report.note("no NSS database of Thunderbird, Firefox or ~/.pki under " + user.home());
        return true;
    }
    const std::string certutil = ChildProcess::find("certutil");
    if (certutil.empty()) {
        report.note("certutil (package libnss3-tools) is not installed: " + std::to_string(databases.size()) +
                    " NSS database(s) left unchanged");
        return true;
    }
    NssDatabases nss(certutil, user);
    bool all = true;
    // One profile refusing (a password on its database, say) does not keep the others from it.
    for (const std::string& folder : databases) all = nss.install(folder, certificates, report) && all;
    return all;
}

} // namespace

int main(int argc, char** argv) {
    const CommandLine line = CommandLine::parse(argc, argv);
    if (line.wantsUsage()) {
        Report::usage();
        return kFailure;
    }
    const Report report(line.verbose());
    CertificateFile file;
    std::string detail;
    const CertificateFile::Outcome loaded = file.load(line.path(), line.namesPkcs12(), detail);
    if (loaded != CertificateFile::Outcome::Loaded) {
        report.note(line.path() + ": " + outcomeText(loaded) + " (" + detail + ")");
        return kFailure;
    }
    report.note(line.path() + ": " + std::to_string(file.certificates().size()) + " certificate(s) as \"" +
                NssDatabases::kNickname + "\"");
    // Both kinds of store are tried: a user without the right to the system folder still gets
    // their own mail clients' databases, and the exit code says that not everything took it.
    const bool system = AnchorFolder::fromEnvironment().install(file.certificates(), report);
    const bool nss = installInNss(file.certificates(), report);
    return system && nss ? kSuccess : kFailure;
}
