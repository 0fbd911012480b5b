#pragma once
// The handlers a client session and the download for restore give their mailbox: the time-out
// handler that asks the person (or aborts at once when told to), and the progress callback that
// moves the status window's bar.
#include "upstream/ProtocolClient.h"

#include <cstdint>

namespace corvanthelix {

/// A time-out handler for a client session. kFired: answers 0 (abort) at once when
/// "AutoAbortOnTimeout" is 1; otherwise asks through the shell's time-out question ("Wait..." 1,
/// "Abort" 0). kDisarmed: closes that question as "Wait..." when it is open. Always answers 1
/// except for kFired. Each handler made here tracks its own open question.
/// The question runs on the timer thread while the client's thread waits; a client used from the
/// GUI thread must not get this handler (its wait would hold up the very thread the question
/// needs).
ProtocolClient::TimeoutHandler makeSessionTimeoutHandler();

/// Progress callback: adds `bytes` to the received amount of the status window's state.
void addReceivedToStatus(std::uint32_t bytes);

} // namespace corvanthelix
