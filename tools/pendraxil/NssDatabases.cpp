#include "NssDatabases.h"

#include "ChildProcess.h"
#include "DesktopUser.h"
#include "Report.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace corvanthelix {

namespace {

struct DirectoryClose {
    void operator()(DIR* directory) const noexcept { ::closedir(directory); }
};
using DirectoryOwner = std::unique_ptr<DIR, DirectoryClose>;

// Trusted to identify TLS servers: "C" makes the certificate an anchor for the verifier of
// Thunderbird and Firefox; "P" (trusted peer) is what NSS's own verifier asks of a self-signed
// server certificate, which it refuses with "C" alone ("Issuer certificate is invalid").
constexpr const char* kServerTrust = "CP,,";

// certutil deletes one copy per call; this bounds the loop should it keep answering success.
constexpr int kMostCopiesRemoved = 64;

bool holdsDatabase(const std::string& folder) {
    struct stat st {};
    return ::stat((folder + "/cert9.db").c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void addProfiles(const std::string& parent, std::vector<std::string>& found) {
    DirectoryOwner directory(::opendir(parent.c_str()));
    if (!directory) return;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (holdsDatabase(parent + "/" + name)) found.push_back(parent + "/" + name);
    }
}

std::string derBytes(X509* certificate) {
    unsigned char* der = nullptr;
    const int size = i2d_X509(certificate, &der);
    if (size <= 0) return {};
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<size_t>(size));
    OPENSSL_free(der);
    return bytes;
}

std::string trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

} // namespace

std::vector<std::string> NssDatabases::find(const std::string& home) {
    std::vector<std::string> found;
    if (home.empty()) return found;
    if (holdsDatabase(home + "/.pki/nssdb")) found.push_back(home + "/.pki/nssdb");
    addProfiles(home + "/.thunderbird", found);
    addProfiles(home + "/.mozilla/firefox", found);
    std::sort(found.begin(), found.end());
    return found;
}

std::string NssDatabases::nickname(size_t index) {
    return index == 0 ? std::string(kNickname) : std::string(kNickname) + " (" + std::to_string(index + 1) + ")";
}

bool NssDatabases::isOurNickname(const std::string& name) {
    const std::string base = kNickname;
    if (name == base) return true;
    if (name.size() < base.size() + 4 || name.compare(0, base.size() + 2, base + " (") != 0 || name.back() != ')')
        return false;
    const std::string number = name.substr(base.size() + 2, name.size() - base.size() - 3);
    return std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); }) &&
           number[0] != '0';
}

bool NssDatabases::install(const std::string& folder, const Certificates& certificates, const Report& report) const {
    const std::string database = "sql:" + folder;
    bool listed = false;
    for (const std::string& name : ourNicknames(database, report, listed))
        if (!removeNickname(database, name, report)) return false;
    if (!listed) return false;
    for (size_t i = 0; i < certificates.size(); ++i) {
        ChildProcess::Options options;
        options.input = derBytes(certificates[i].get());
        options.showOutput = report.verbose();
        options.runAs = &user_;
        if (options.input.empty()) {
            report.note("cannot encode a certificate as DER");
            return false;
        }
        // -f /dev/null: a database protected by a password fails instead of asking for it.
        ChildProcess::Result result = ChildProcess::run(
            {certutil_, "-A", "-d", database, "-n", nickname(i), "-t", kServerTrust, "-f", "/dev/null"}, options);
        if (!result.started || result.exitCode != 0) {
            report.note("certutil could not add \"" + nickname(i) + "\" to " + folder);
            // A database locked by a password takes the certificate but not its trust: take away
            // that half-made entry too.
            removeNickname(database, nickname(i), report);
            return false;
        }
        report.note("installed \"" + nickname(i) + "\" in " + folder);
    }
    return true;
}

std::vector<std::string> NssDatabases::ourNicknames(const std::string& database, const Report& report,
                                                    bool& listed) const {
    ChildProcess::Options options;
    options.captureOutput = true;
    options.showOutput = report.verbose();
    options.runAs = &user_;
    ChildProcess::Result result = ChildProcess::run({certutil_, "-L", "-d", database}, options);
    listed = result.started && result.exitCode == 0;
    std::vector<std::string> names;
    if (!listed) {
        report.note("certutil could not list " + database);
        return names;
    }
    // Each certificate line is the nickname, spaces, and the trust flags "x,y,z" at its end.
    size_t start = 0;
    while (start < result.output.size()) {
        size_t end = result.output.find('\n', start);
        if (end == std::string::npos) end = result.output.size();
        const std::string line = trimmed(result.output.substr(start, end - start));
        start = end + 1;
        const size_t gap = line.find_last_of(" \t");
        if (gap == std::string::npos || std::count(line.begin() + gap, line.end(), ',') != 2) continue;
        const std::string name = trimmed(line.substr(0, gap));
        if (isOurNickname(name) && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return names;
}

bool NssDatabases::removeNickname(const std::string& database, const std::string& name, const Report& report) const {
    ChildProcess::Options options;
    options.showOutput = false; // the last round fails by design: nothing left of that name
    options.runAs = &user_;
    for (int removed = 0; removed < kMostCopiesRemoved; ++removed) {
        ChildProcess::Result result = ChildProcess::run({certutil_, "-D", "-d", database, "-n", name, "-f", "/dev/null"}, options);
        if (!result.started) {
            report.note("certutil could not be started");
            return false;
        }
        if (result.exitCode != 0) return true;
        report.note("removed an earlier \"" + name + "\" from " + database);
    }
    return true;
}

} // namespace corvanthelix
