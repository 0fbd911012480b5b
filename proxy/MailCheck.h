#pragma once
// The mail check run of a client session: lists the server's mailbox, recognises the messages
// seen at earlier checks and those the recycle bin holds, downloads and filters the new ones, and
// numbers what the mail client may see (restored messages first). It deletes and stores nothing:
// the commit at QUIT acts on the flags it leaves on the session's entries.
#include <cstdint>
#include <string>
#include <string_view>

namespace corvanthelix {

class ClientSession;
class MailMessage;
struct MessageEntry;

class MailCheck {
public:
    /// Replies of a failed run.
    static constexpr const char* kAbortedReply = "Corvanthelix: Connection aborted by user";
    static constexpr const char* kNotReceivedReply = "Corvanthelix: One or more messages could not be received";
    /// The server sent a list of more than a million messages or a message far beyond its size.
    static constexpr const char* kTooLongReply =
        "Corvanthelix: The mail server sent an answer without end; the mailbox was left as it is";

    /// The spool folder of an account is cache/ + accountFileKey + this.
    static constexpr const char* kSpoolFolderSuffix = ".spool";

    /// Sender-list answers as the check uses them.
    static constexpr int kBlockedSender = 1;
    static constexpr int kFriend = 2;

    /// The session's mail check (SessionServices::runCheck). On the first successful run of the
    /// session: builds session.entries() (restored messages 1..k, then the known messages not in
    /// the bin and the new non-spam messages from the last server message to the first), marks
    /// the server's UIDs in session.uidList(), sets the check-done flag and returns 0 with the
    /// number and total size of the visible entries. When the check is done already it only
    /// counts them. Returns 1 after sending the one error reply (kAbortedReply when the person
    /// pressed Cancel, kTooLongReply when an answer of the server had no end, else
    /// kNotReceivedReply); the entries built so far stay, the check-done flag stays clear and the
    /// account's message cache is kept for the next session.
    /// Uses the program's settings, recycle bin, filter manager and message cache.
    static int run(ClientSession& session, int& visibleCount, std::uint64_t& visibleSize);

    /// "user @ server": the account as the recycle bin and the filter log name it.
    static std::string accountKey(std::string_view user, std::string_view server);

    /// The sender verdict after the settings bend it: `listVerdict` is the sender lists' answer
    /// (kBlockedSender, kFriend, anything else none). Filtering off makes every message a
    /// friend's; aggressiveness 0 lets everything but blocked senders through; 100 takes
    /// everything but friends for spam.
    static int bentSenderVerdict(int listVerdict, bool filteringOn, int aggressiveness);

    /// Whether filtering is on: "Enable" and at least one of the word, learning and plug-in
    /// filters. Read from the settings at each call.
    static bool filteringOn();

    /// The sender lists' answer for `message` against the SENDERS text `senders` (as
    /// settings::senderSection gives it): kBlockedSender, kFriend or -1.
    static int senderListVerdict(std::string_view senders, const MailMessage& message);
};

} // namespace corvanthelix
