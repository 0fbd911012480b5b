#pragma once
#include "base/ProgramPaths.h"

#include <string>

namespace corvanthelix {

/// The certificate of the local TLS port, made for each installation at its first start so that no
/// two users share a private key. It lives in the program folder as three files:
///   cert.server.pem  the self-signed certificate (PEM), which the TLS port serves;
///   key.server.pem   its private key (PEM, mode 0600);
///   cert.server.der  the same certificate in DER, the file a user hands to pendraxil to make
///                    mail clients trust the port.
/// The certificate names localhost, 127.0.0.1 and ::1 as subject alternative names, since mail
/// clients check those and not the common name.
class LocalCertificate {
public:
    enum class Outcome {
        Kept,      ///< all three files were there and agree; nothing was written
        Completed, ///< the key was kept; a missing certificate, or a missing or outdated DER copy,
                   ///< was made from what is there
        Made,      ///< a new key and certificate were made (no key was there)
        Failed,    ///< a file could not be read, made or written (see ensure())
    };

    static constexpr const char* kCertificateName = ProgramPaths::kCertificateFileName;
    static constexpr const char* kKeyName = ProgramPaths::kKeyFileName;
    static constexpr const char* kDerName = "cert.server.der";

    /// Makes whichever of the three files are missing in the existing folder `folder`, each
    /// written atomically, the key before the certificate before the DER copy, so that a crash in
    /// between is completed at the next call. An existing key is never replaced: a missing
    /// certificate is made anew for it. Without a key, a new key and certificate are made and
    /// replace a certificate left alone (it is useless without its key). An existing pair is
    /// never checked against each other (the TLS port refuses a pair that does not match), but a
    /// DER copy that is not the certificate (the user put another one in place) is rewritten. On
    /// Failed some files may be missing; none is half written, and the next call completes them.
    /// Returns what was done.
    static Outcome ensure(const std::string& folder);
};

} // namespace corvanthelix
