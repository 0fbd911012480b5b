#pragma once
#include "base/ProgramPaths.h"
// The commit at QUIT: turns the flags the mail check and the client's commands left on a
// session's entries into lasting effects, in this order per entry: spam into the recycle bin,
// deletions on the server (and of delivered restored messages in the bin), the plug-ins'
// after-delivery pass, automatic learning, the filter log line. Then the new messages for the
// training area are filed together (one index write), the UID list is saved, the bin's deleted
// entries purged, QUIT sent upstream and "Everything done." to the client.
//
// No message is lost: a message is deleted on the server only after its copy in the recycle bin
// is durable (or the settings ask for blocked senders' mail to be deleted without a copy). A
// message whose copy cannot be written stays on the server and is left out of the UID list, so
// the next check filters it again.
#include <cstdint>
#include <string>
#include <string_view>

namespace corvanthelix {

class ClientSession;
class MailMessage;
struct FilterVerdict;
struct MessageDate;

/// The fields of one filter log line.
struct FilterLogLine {
    const char* uid = nullptr;     ///< null: written as (null)
    const char* subject = nullptr;
    const char* to = nullptr;
    const char* from = nullptr;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::uint32_t size = 0;
    int decision = 0;              ///< -1 spam, 1 not spam by a filter or a friend, 0 undecided
    std::string label;             ///< "(Friend)", the deciding filter, "(Blocked sender)" or ""
    std::string reason;
    double probability = 0;
};

class Commit {
public:
    static constexpr const char* kDoneReply = "Everything done.";
    static constexpr const char* kConnectionLossReply =
        "Corvanthelix: One or more messages could not be deleted from the server due to connection loss";
    static constexpr const char* kReconnectLogLine = "            (reconnect due to connection loss)";
    static constexpr const char* kFilterLogName = ProgramPaths::kFilterLogFileName;

    /// The session's commit (SessionServices::commit). Always returns 1: the session ends. Ends
    /// with +OK kDoneReply, or with -ERR kConnectionLossReply when a DELE failed twice (once more
    /// on a new connection, with TLS when the first one had it); in that case the UID list is not
    /// saved and no QUIT is sent, so the server keeps every message.
    static int run(ClientSession& session);

    /// The filter log line for `line` (without line end): "\t%s (%s, %s, %s, \"date\", \"time\",
    /// size, decision, \"label\", \"reason\", %.2f)" with the first four fields Q-encoded in
    /// quotes, or (null). Line breaks in the label and the reason become blanks, so one message
    /// is always one line.
    static std::string filterLogText(const FilterLogLine& line);

    /// The decision code and label of the filter log for an entry: `senderVerdict` 2 (friend)
    /// gives 1 and "(Friend)"; else a hidden entry gives -1, a named filter 1, neither 0; the
    /// label is the filter's name, else "(Blocked sender)" for a hidden entry, else empty.
    static void decisionAndLabel(int senderVerdict, bool hidden, const FilterVerdict& verdict, int& decision,
                                 std::string& label);

    /// The file name part of `path` (after the last "/").
    static std::string fileNameOf(const std::string& path);
};

} // namespace corvanthelix
