#pragma once
#include "OpenSslOwners.h"

#include <string>

namespace corvanthelix {

/// Reads the certificates of one file: a PKCS #12 file with an empty password, or one
/// DER-encoded X.509 certificate.
class CertificateFile {
public:
    enum class Outcome {
        Loaded,       ///< at least one certificate was read
        NotFound,     ///< the file cannot be opened
        NotLoaded,    ///< it is no regular file, is too large for a certificate, or cannot be read
        NotPkcs12,    ///< a PKCS #12 file was expected and the data is none
        NotImported,  ///< the PKCS #12 file cannot be opened with an empty password
        NoCertificate ///< a DER certificate was expected and the data is none, or the PKCS #12
                      ///< file holds no certificate
    };

    /// Reads `path` as PKCS #12 when `pkcs12` is set, else as DER. On Loaded, certificates()
    /// holds what was read; `detail` receives a reason for a note on any other outcome.
    Outcome load(const std::string& path, bool pkcs12, std::string& detail);

    /// The certificates read, owned by this object, in the file's order (a PKCS #12 file's own
    /// certificate first, then the others it carries).
    const Certificates& certificates() const { return certificates_; }

    /// Files larger than this are no certificate file; they are refused before reading.
    static constexpr long kLargestFile = 1024 * 1024;

private:
    static bool readFile(const std::string& path, std::string& data, Outcome& failure, std::string& detail);
    Outcome parsePkcs12(const std::string& data, std::string& detail);
    Outcome parseDer(const std::string& data, std::string& detail);

    Certificates certificates_;
};

} // namespace corvanthelix
