#pragma once
// Whether the proxy goes on with a mail server whose TLS certificate it has seen: verified
// certificates pass, certificates the person trusted before (pinned in the host list) pass, and
// any other is put to the person, whose yes pins it.
#include "net/CertificateCheck.h"
#include "upstream/Pop3Client.h"

#include <string>

namespace corvanthelix {

class Shell;

class ServerTrust {
public:
    /// True when the login may go on with `check` for `server`:`port`: verification is off
    /// ([SERVER] VerifyServerCertificates=0), the certificate verified, or its fingerprint is
    /// pinned for that server and port in the host list at `hostListPath`. Otherwise asks `shell`
    /// (Shell::trustCertificate); a yes pins the fingerprint on the account (server, user) and
    /// answers true. No certificate at all is never trusted.
    static bool decide(const CertificateCheck& check, const std::string& server, int port, const std::string& user,
                       const std::string& hostListPath, Shell& shell);

    /// A judge for Pop3Client::setCertificateJudge that calls decide() for account `user` with
    /// the application's shell and the host list in the program folder.
    static Pop3Client::CertificateJudge judgeFor(const std::string& user);

    /// The question's text for `check` at `server`:`port` (string 300 with the reason, subject,
    /// issuer, validity and fingerprint filled in), translated.
    static std::string questionText(const CertificateCheck& check, const std::string& server, int port);

    /// The reason in the person's language (strings 301 to 305), OpenSSL's words for the rest.
    static std::string translatedReason(const CertificateCheck& check);

    /// The mail client's reply line (with its line end) when the certificate of `server` was not
    /// trusted: "-ERR Corvanthelix: the certificate of <server> could not be verified (<reason>)".
    static std::string refusalReply(const std::string& server, const CertificateCheck& check);
};

} // namespace corvanthelix
