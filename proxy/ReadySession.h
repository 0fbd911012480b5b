#pragma once

namespace corvanthelix {

class SessionControl;

/// The session the proxy server runs until a full POP3 session is plugged in: greets with
/// "+OK Ready" before taking the session lock, then holds the lock and answers line by line
/// (QUIT and NOOP with "+OK", anything else with "-ERR Corvanthelix: Unknown command") until
/// QUIT or until the connection is lost.
void runReadySession(SessionControl& session);

} // namespace corvanthelix
