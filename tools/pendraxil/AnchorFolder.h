#pragma once
#include "OpenSslOwners.h"

#include <string>

namespace corvanthelix {

class Report;

/// The system's folder of locally added trust anchors, from which update-ca-certificates builds
/// the store that OpenSSL, GnuTLS and most other programs read.
class AnchorFolder {
public:
    /// The folder of the system, or the one named by CORVANTHELIX_ANCHOR_DIR (for tests).
    static AnchorFolder fromEnvironment();

    explicit AnchorFolder(std::string folder, bool systemFolder)
        : folder_(std::move(folder)), systemFolder_(systemFolder) {}

    const std::string& folder() const { return folder_; }

    /// The file a certificate is installed as: "corvanthelix-" and the start of its SHA-256
    /// fingerprint, ".crt". The same certificate always gets the same name, so installing it again
    /// replaces the copy; another one (another user's, another installation's) lies beside it.
    static std::string fileName(X509* certificate);

    /// Writes every certificate as PEM into the folder (made when missing), each file replaced
    /// atomically and readable by everyone, then, for the system folder, runs
    /// update-ca-certificates when it is installed. Returns false at the first failure (files
    /// written before it stay); notes say what happened.
    bool install(const Certificates& certificates, const Report& report) const;

private:
    bool writeCertificate(X509* certificate, const Report& report) const;
    bool refreshStore(const Report& report) const;

    std::string folder_;
    bool systemFolder_;
};

} // namespace corvanthelix
