#pragma once
// The command line's --trust-server HOST:PORT: shows the certificate a mail server presents and
// pins it in the host list once the person typed "yes".
#include <cstdio>
#include <string>

namespace corvanthelix {

class TrustServerCommand {
public:
    /// Splits "HOST:PORT" ("[::1]:995" for a numeric IPv6 address) into `host` and `port`.
    /// False when there is no port in 1..65535 or no host.
    static bool parseTarget(const std::string& target, std::string& host, int& port);

    /// Connects to `target` (POP3 over TLS from the first byte; when that handshake fails, plain
    /// POP3 upgraded with STLS), writes the certificate's details and SHA-256 fingerprint to
    /// `out`, and when it does not verify asks on `out` and reads one line from `in`: "yes" pins
    /// the fingerprint for the server and port on every account of the server in the host list
    /// of the application's program folder (on a new entry without a user when there is none).
    /// Nothing is sent to the server but CAPA and STLS. Returns the exit code: 0 when pinned or
    /// already trusted, 1 when not pinned, 2 when the server could not be reached or `target`
    /// is malformed.
    static int run(const std::string& target, std::FILE* in, std::FILE* out);
};

} // namespace corvanthelix
