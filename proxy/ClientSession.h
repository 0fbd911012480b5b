#pragma once
#include "upstream/ProtocolClient.h"
#include "filter/PluginSessionAccess.h"
#include "upstream/LogFile.h"
#include "proxy/MessageEntry.h"
#include "proxy/UidList.h"
#include "stores/RecycleBin.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <string_view>
#include <thread>

namespace corvanthelix {

class ClientSession;
class Connection;
class IdleWatchdog;
class Mailbox;
class MailMessage;
class ProxyServer;
class SessionControl;

/// What a client session calls outside itself. The mail check and the commit at QUIT supply the
/// first two; the others default to the process-wide stores. Tests supply doubles.
struct SessionServices {
    /// The mail check: builds session.entries() (numbering the visible ones 1..n), marks the UIDs
    /// in session.uidList(), sets session.setCheckDone(true) and gives the number and total size
    /// of the visible entries. Returns 0 on success; 1 on failure, after sending the one error
    /// reply itself (-ERR "Corvanthelix: Connection aborted by user" when the person pressed
    /// Cancel, else -ERR "Corvanthelix: One or more messages could not be received"). Called by
    /// STAT, LIST, DELE, TOP and UIDL while the check is not done; never by RETR.
    std::function<int(ClientSession& session, int& visibleCount, std::uint64_t& visibleSize)> runCheck;
    /// The commit at QUIT: ends with +OK "Everything done." or the connection-loss error reply,
    /// both sent by the commit itself. The session ends afterwards whatever it returns.
    std::function<int(ClientSession& session)> commit;
    /// Sender and subject of the recycle bin entry whose file is named `fileName` (no folder),
    /// for the text that replaces an empty restored message; nothing when there is no such entry.
    /// Null: the process-wide recycle bin is asked.
    std::function<std::optional<RecycleSenderAndSubject>(const std::string& fileName)> restoredInfo;
    /// Learns `message` as spam or non-spam (the third plug-in operation). Returns whether it
    /// learned. Null: the process-wide training area learns it.
    std::function<bool(const MailMessage& message, bool spam)> learn;
    /// How long a mail client may stay silent before it has logged in, and afterwards; then its
    /// connection is closed without a commit. Zero or less: no limit.
    std::chrono::milliseconds idleBeforeLogin{std::chrono::seconds(60)};
    std::chrono::milliseconds idleAfterLogin{std::chrono::minutes(10)};
};

/// One mail client's POP3 session, on its own thread: the server side of POP3 towards the mail
/// client, and the upstream mailbox towards the real server. The real server, the user name and
/// optionally the port come from USER ("server&user&port", "&&" standing for a "&" inside a
/// field); PASS connects and logs in upstream, using the host list for the account's TLS choice.
/// The first STAT, LIST, DELE, TOP or UIDL runs the mail check, which builds the entries; the
/// client then sees only the visible entries, numbered without gaps. QUIT runs the commit.
///
/// From its first command on, the session holds the proxy server's session lock, so sessions never
/// overlap and the session state (logs, upstream connection) is gone before the next session
/// starts; a client that connects and says nothing holds up no one.
/// currentSession() is the session holding the lock, for the plug-in services that run during
/// the check on the same thread; install() also makes it the plug-ins' PluginSessionAccess.
/// What a command handler tells the session loop: read the next command, or end the session
/// (after QUIT, a lost upstream connection or a refused login).
enum class CommandOutcome { Continue = 0, EndSession = 1 };

class ClientSession final : public PluginSessionAccess {
public:
    /// A client line longer than this ends the session as a lost connection.
    static constexpr std::size_t kLongestClientLine = 64 * 1024;
    /// The port field of USER was not given.
    static constexpr int kPortNotGiven = -1;

    /// Runs a whole session for `control`'s client: sends +OK "Ready", waits for the first command
    /// (at most services.idleBeforeLogin), takes the session lock, serves commands until QUIT, a command that ends the session or a lost connection, and
    /// destroys the session state (closing the upstream connection without QUIT and the logs)
    /// before leaving the lock. The client connection stays open; its owner closes it.
    static void run(SessionControl& control, const SessionServices& services);

    /// Makes `server` run a ClientSession with `services` for every accepted client. Call before
    /// the server starts.
    static void install(ProxyServer& server, SessionServices services);

    /// The session that holds the session lock now, or null.
    static ClientSession* currentSession();

    /// A session for `control`'s client with a fresh upstream mailbox. `services` must outlive it.
    ClientSession(SessionControl& control, const SessionServices& services);
    /// Closes the upstream connection without QUIT (the server forgets uncommitted deletions) and
    /// the logs. The client connection is not closed here.
    ~ClientSession() override;
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    // Reply writers. Each write is first logged in the client log ("hh:mm:ss S: " and the text
    // without its final "\r\n"), then sent.

    /// Sends "+OK <text>\r\n".
    void replyOk(std::string_view text);
    /// Sends "-ERR <text>\r\n".
    void replyErr(std::string_view text);
    /// Sends `bytes` as they are.
    void sendRaw(std::string_view bytes);
    /// Writes the lines the client and server logs gathered to their files. The reply writers
    /// call it before each answer leaves, so the logs are on disk when the client has it.
    void flushLogs();

    // State the mail check and the commit work on.

    /// The upstream mailbox (owned by the session).
    Mailbox& mailbox() { return *mailbox_; }
    /// The account's UID list, loaded by the check and saved by the commit.
    UidList& uidList() { return uidList_; }
    /// The entries, in the order the check built them. Owned by the session.
    std::deque<MessageEntry>& entries() {
        // Whoever takes the entries may change them: the index by client number is made anew.
        clientIndex_.clear();
        return entries_;
    }
    /// The client protocol log.
    LogFile& clientLog() { return clientLog_; }
    /// Fields of USER and PASS, stored whole. port() is -1 when USER gave none (until PASS picks
    /// one), 110 before USER.
    const std::string& server() const { return server_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    int port() const { return port_; }
    /// Set by the check when it has completed; until then every command that needs the list
    /// runs it.
    bool checkDone() const { return checkDone_; }
    void setCheckDone(bool done) {
        checkDone_ = done;
        clientIndex_.clear();
    }

    /// The visible entry with client number `number`, or null.
    MessageEntry* findByClientNumber(int number);
    /// The entry of server message `number` (restored entries never match), or null.
    MessageEntry* findByServerNumber(int number);
    /// The UID the mail client sees for `entry`: the server's UID; for a restored message
    /// "Corvanthelix" and its file name; for a server message without UID "Corvanthelix-" and
    /// the CRC-32 of its header lines (fetching the header when no copy is held).
    std::string uidOf(const MessageEntry& entry);

    // The plug-in operations, each addressed by server number. False when there is no entry of
    // that server message (or, for learn, no downloaded copy or no learning service).

    /// Copies at most 255 bytes of `text` into the entry's reason text.
    bool setReason(int serverNumber, std::string_view text);
    /// Sets the entry's handled flag.
    bool setHandled(int serverNumber, bool handled);
    /// Passes the entry's downloaded message to the training area's learn operation.
    bool learn(int serverNumber, bool spam);

    // The same for the plug-in host services (PluginSessionAccess), by server number.

    /// setReason().
    bool setPluginReason(int messageNumber, std::string_view text) override;
    /// setHandled(messageNumber, true).
    bool markHandledByPlugin(int messageNumber) override;
    /// The whole downloaded text of the entry's server message; false when only its header or
    /// nothing is held.
    bool messageSource(int messageNumber, std::string& source) override;

    /// currentSession() when the calling thread is that session's own thread, else null: what
    /// the plug-in host services reach (see installPluginSessionAccessor).
    static PluginSessionAccess* pluginSessionOfThisThread();

    // Pieces of the protocol, reachable by unit tests.

    /// Splits a USER argument into server, user name and port (kPortNotGiven when absent).
    /// Returns false for an empty argument, a single field or a fourth field.
    static bool parseUserName(std::string_view argument, std::string& server, std::string& user, int& port);
    /// The UID of a restored message whose file is `filePath`.
    static std::string restoredUid(const std::string& filePath);
    /// "Corvanthelix-%x" with the CRC-32 of the header lines of `message`.
    static std::string synthesizedUid(const MailMessage& message);
    /// The text sent for a restored message whose file turned out empty.
    static std::string emptyRestoredText(const RecycleSenderAndSubject& info);
    /// What TOP sends of `text`: the header lines, the empty line and at most `lines` body
    /// lines, each with its line end and dot-stuffed, then ".\r\n".
    static std::string topText(std::string_view text, int lines);

    /// Handles one command line (with its "\r\n"): logs it, then runs the command. Returns 0 to
    /// go on, 1 to end the session; an unknown command has been answered and gives 0.
    CommandOutcome dispatch(const std::string& line);

private:
    struct Command {
        const char* verb;
        CommandOutcome (ClientSession::*handler)(const std::string& line);
    };
    static const Command kCommands[];

    void serve(const std::string& firstLine, IdleWatchdog& watchdog);
    bool refusedBeforeLogin(const std::string& line);
    bool serverRefused();
    void openLogs();
    void connectionLost();
    bool ensureChecked();
    void countVisible(int& count, std::uint64_t& size);
    void sendLines(const std::string& firstReply, const std::string& lines, bool ok);
    void logSent(std::string_view text);
    UpstreamResult connectUpstream(bool secure);
    bool askForUnsecureConnection();
    void prepareUpstreamTrust();
    std::unique_ptr<MailMessage> loadRestored(const MessageEntry& entry);
    std::optional<RecycleSenderAndSubject> restoredInfo(const std::string& fileName);

    CommandOutcome onQuit(const std::string& line);
    CommandOutcome onUser(const std::string& line);
    CommandOutcome onPass(const std::string& line);
    CommandOutcome onStat(const std::string& line);
    CommandOutcome onList(const std::string& line);
    CommandOutcome onRetr(const std::string& line);
    CommandOutcome onDele(const std::string& line);
    CommandOutcome onRset(const std::string& line);
    CommandOutcome onTop(const std::string& line);
    CommandOutcome onNoop(const std::string& line);
    CommandOutcome onUidl(const std::string& line);
    CommandOutcome onCapa(const std::string& line);

    SessionControl& control_;
    Connection& client_;
    const SessionServices& services_;
    std::string user_;
    std::string password_;
    std::string server_;
    int port_ = 110;
    std::unique_ptr<Mailbox> mailbox_;
    bool checkDone_ = false;
    bool loggedIn_ = false;
    LogFile clientLog_;
    std::deque<MessageEntry> entries_;
    // The visible entries by client number, made at the first look-up after entries() was last
    // handed out, so that a RETR or DELE need not walk a mailbox of thousands of entries; each hit
    // is checked, and a miss walks the entries as before.
    std::vector<MessageEntry*> clientIndex_;
    UidList uidList_;
    const std::thread::id thread_ = std::this_thread::get_id();

    static std::atomic<ClientSession*> current_;
};

} // namespace corvanthelix
