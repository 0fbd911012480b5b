#pragma once
#include <sys/socket.h>

#include <functional>
#include <string>
#include <vector>

namespace corvanthelix {

/// One address to connect to: a socket address of either family with its port.
struct Endpoint {
    sockaddr_storage address{};
    socklen_t length = 0;
    int family() const { return address.ss_family; }
};

/// Connecting to a host that may have several addresses of both families: the addresses are
/// tried in order, IPv6 and IPv4 taking turns, and the next attempt starts 250 ms after the
/// previous one (or at once when it failed) without waiting for it to fail; the first attempt
/// that completes wins and the others are dropped.
class AddressRace {
public:
    static constexpr int kStaggerMilliseconds = 250;

    /// `host` without the brackets of a numeric IPv6 address written as "[::1]"; other text as
    /// it is.
    static std::string withoutBrackets(const std::string& host);

    /// The addresses of `host` (a name, a dotted IPv4 or an IPv6 address, with or without
    /// brackets) at `port`, both families, in the order to try them: the resolver's order with
    /// the families interleaved, beginning with the family of its first answer. Empty when the
    /// name does not resolve.
    static std::vector<Endpoint> resolve(const std::string& host, int port);

    /// Races connections to `endpoints` as described above. Returns the connected socket (owned
    /// by the caller, blocking, close-on-exec) or -1 with `error` set to the errno of the last
    /// failed attempt (ECONNREFUSED when there were none to make, ECANCELED when `cancelled`
    /// answered true; it is asked at least every 50 ms).
    static int connect(const std::vector<Endpoint>& endpoints, const std::function<bool()>& cancelled, int& error);
};

} // namespace corvanthelix
