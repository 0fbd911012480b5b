#pragma once
// The login of a client session at the mail server: connect (unless a TLS try left the mailbox
// connected), USER and PASS, and what the mail client is told when that fails.
#include "upstream/ProtocolClient.h"

#include <functional>
#include <optional>
#include <string>

namespace corvanthelix {

class Mailbox;

/// How a login at the mail server ended, as far as the mail client's reply is concerned.
enum class LoginOutcome {
    Accepted,    ///< the server took user name and password
    Unreachable, ///< the host did not resolve or the TCP connect failed
    TimedOut,    ///< the server fell silent and the person (or AutoAbortOnTimeout) gave up
    Refused,     ///< the server refused the greeting, the user name or the password
    BrokenGreeting, ///< connected, but no greeting line could be read (or the TLS layer failed)
    Untrusted,   ///< the server's certificate was not trusted; the password was not sent
    Aborted,     ///< the STLS upgrade failed and the person did not agree to go on in clear
};

class UpstreamLogin {
public:
    /// Logs in with `mailbox`: when it is not connected yet, `connect()` connects it and answers its
    /// upstream result; then USER and PASS. The mailbox is borrowed for the call.
    static LoginOutcome run(Mailbox& mailbox, const std::function<UpstreamResult()>& connect, const std::string& user,
                            const std::string& password);

    /// The reply line (with its line end) for a refused login, from the server's last line
    /// `lastResponse`: a line beginning with "-ERR" is passed on as it came, any other line but a
    /// "+OK" follows "-ERR ", and without one the client hears
    /// "-ERR Corvanthelix: Wrong username/password".
    static std::string refusalReply(const std::optional<std::string>& lastResponse);
};

} // namespace corvanthelix
