#pragma once
#include "OpenSslOwners.h"

#include <string>
#include <vector>

namespace corvanthelix {

class DesktopUser;
class Report;

/// The NSS certificate databases of the user's Thunderbird and Firefox profiles and the shared
/// one in ~/.pki/nssdb: those programs read their own databases, not the system store. They are
/// changed through certutil (package libnss3-tools), run as the desktop user.
class NssDatabases {
public:
    static constexpr const char* kNickname = "Corvanthelix";

    /// The folders below `home` that hold a cert9.db: ~/.pki/nssdb and every profile folder
    /// directly below ~/.thunderbird and ~/.mozilla/firefox, sorted.
    static std::vector<std::string> find(const std::string& home);

    /// The nickname of the certificate at `index` of a file: "Corvanthelix" for the first;
    /// "Corvanthelix (2)" and so on for the others, since NSS gives one nickname to one subject.
    static std::string nickname(size_t index);
    /// Whether `name` is a nickname nickname() gives.
    static bool isOurNickname(const std::string& name);

    /// `certutil`: the full path of certutil.
    NssDatabases(std::string certutil, const DesktopUser& user) : certutil_(std::move(certutil)), user_(user) {}

    /// In the database in `folder`: removes every certificate with one of our nicknames, then adds
    /// the certificates, trusted to identify TLS servers. Returns false when certutil failed.
    bool install(const std::string& folder, const Certificates& certificates, const Report& report) const;

private:
    std::vector<std::string> ourNicknames(const std::string& database, const Report& report, bool& listed) const;
    bool removeNickname(const std::string& database, const std::string& name, const Report& report) const;

    std::string certutil_;
    const DesktopUser& user_;
};

} // namespace corvanthelix
