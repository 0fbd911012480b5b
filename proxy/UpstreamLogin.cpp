#include "proxy/UpstreamLogin.h"

#include "upstream/Mailbox.h"
#include "upstream/ProtocolClient.h"

#include <string_view>
#include <strings.h>

namespace corvanthelix {

namespace {
constexpr const char* kWrongPassword = "Corvanthelix: Wrong username/password";

bool startsWithNoCase(std::string_view text, const char* prefix) {
    const std::size_t length = std::char_traits<char>::length(prefix);
    return text.size() >= length && ::strncasecmp(text.data(), prefix, length) == 0;
}

std::string withoutLineEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    return std::string(text);
}
} // namespace

LoginOutcome UpstreamLogin::run(Mailbox& mailbox, const std::function<UpstreamResult()>& connect, const std::string& user,
                                const std::string& password) {
    const UpstreamResult connected = mailbox.isConnected() ? UpstreamResult::Ok : connect();
    if (connected == UpstreamResult::ConnectFailed) return LoginOutcome::Unreachable;
    if (connected == UpstreamResult::TimedOut) return LoginOutcome::TimedOut;
    if (connected == UpstreamResult::Untrusted) return LoginOutcome::Untrusted;
    if (connected == UpstreamResult::UpgradeFailed) return LoginOutcome::Aborted;
    // No readable greeting says nothing about the password: the mail client must not ask for it.
    if (connected == UpstreamResult::NoAnswer) return LoginOutcome::BrokenGreeting;
    if (connected != UpstreamResult::Ok) return LoginOutcome::Refused;
    const UpstreamResult login = mailbox.login(user, password);
    if (login == UpstreamResult::Ok) return LoginOutcome::Accepted;
    // A server that fell silent during the login said nothing about the password.
    if (login == UpstreamResult::TimedOut) return LoginOutcome::TimedOut;
    return LoginOutcome::Refused;
}

std::string UpstreamLogin::refusalReply(const std::optional<std::string>& lastResponse) {
    // The server's own words when it refused, passed on as they came: they begin with "-ERR"
    // themselves. A "+OK" left from an earlier step says nothing about this failure.
    const std::string refusal = lastResponse ? withoutLineEnd(*lastResponse) : std::string();
    if (startsWithNoCase(refusal, "-ERR")) return refusal + "\r\n";
    if (!refusal.empty() && !startsWithNoCase(refusal, "+OK")) return "-ERR " + refusal + "\r\n";
    return std::string("-ERR ") + kWrongPassword + "\r\n";
}

} // namespace corvanthelix
