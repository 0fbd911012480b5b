#pragma once
// FakePop3Server: a scriptable POP3 server inside the test process, on real loopback sockets,
// plain or TLS, for the faults a real server will not show on demand.
//
//   FakePop3Server server;                       // plain; FakePop3Server server(true) for TLS
//   server.setAccount("alice", "secret");        // the default account
//   server.addMessage("Subject: a\r\n\r\nbody\r\n", "uid-a");
//   ASSERT_TRUE(server.start());                 // 127.0.0.1, port()
//   ... a client talks to 127.0.0.1:server.port() ...
//   EXPECT_EQ(server.count("RETR"), 0);          // what the server received
//
// The server speaks POP3 as a real one does: greeting, USER/PASS (checked against the account),
// STAT, LIST [n], UIDL [n], RETR n, TOP n k, DELE n, RSET, NOOP, CAPA, QUIT. Message texts are
// stored as given ("\r\n" line ends expected); a text without a final line end gets one on the
// wire, and lines starting with "." are dot-stuffed. LIST sizes are the stored text sizes unless
// overridden. Each session numbers the messages present at its login 1..n; DELE marks, RSET
// unmarks, and only a QUIT after login removes the marked messages (a dropped connection removes
// nothing).
//
// Mailbox: addMessage(), removeMessage(), clearMailbox(), mailbox() (a snapshot), setListSize().
// Messages may be changed while sessions run; a running session keeps the numbering of its login.
//
// Switches (set before or between sessions; all off by default):
//   setGreeting(line)         the greeting line without "\r\n" ("-ERR busy" for a refusing server)
//   setUidl(false)            UIDL answered "-ERR" (a server without UIDL)
//   setTopRefused(true)       TOP answered "-ERR"
//   setListRefused(true)      LIST answered "-ERR"
//   setSilentAt(verb, n)      the n-th command `verb` received after this call (over all
//                             sessions, counting from 1) gets no answer, nor does anything after it on that connection; the
//                             connection stays open. Verb "GREETING": no greeting at all;
//                             "HANDSHAKE" (TLS): the TLS handshake is never answered.
//   setDropAt(verb, n)        when the n-th command `verb` after this call arrives (over all
//                             sessions), the connection is closed
//                             without an answer. "GREETING": closed right after accepting.
//   setStallInBody(bytes)     RETR and TOP answers stop after `bytes` bytes and the server falls
//                             silent (a server that hangs in the middle of a message).
//   setPipelining(true)       CAPA lists PIPELINING.
//   setUnstuffedDots(true)    message lines are sent without dot-stuffing, so a line "." of a text
//                             reaches the client as ".\r\n" followed at once by the rest.
//   setTrickle(bytes, pause)  every answer is written `bytes` at a time with `pause` in between.
//   clearSwitches()           all switches off again (greeting back to the default).
//
// Record: commands() lists every command line received (without "\r\n", PASS in clear), in
// order, over all sessions; count(verb) counts them by verb (any case); connections() counts the
// accepted connections; clearRecord() forgets both. waitUntilIdle() waits until every session has
// ended (after a client dropped its connection, say).
//
// Threads: one accept thread and one thread per session. Every public call is thread-safe.
// stop() (and destruction) closes the listener and every session's connection and joins the
// threads, so silent sessions end too.
#include "net/Connection.h"
#include "net/TlsContext.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvanthelix::testing {

class FakePop3Server {
public:
    static constexpr const char* kDefaultGreeting = "+OK FakePop3 ready";
    static constexpr const char* kDefaultUser = "alice";
    static constexpr const char* kDefaultPassword = "secret";

    /// One message of the mailbox.
    struct Message {
        std::string text;
        std::string uid;
    };

    /// A server with an empty mailbox and account alice/secret; `tls` makes it speak POP3 over
    /// TLS from the first byte (with a self-signed certificate made in memory).
    explicit FakePop3Server(bool tls = false);
    /// stop().
    ~FakePop3Server();
    FakePop3Server(const FakePop3Server&) = delete;
    FakePop3Server& operator=(const FakePop3Server&) = delete;

    /// Listens on 127.0.0.1 at a port the system picks and starts accepting. False when the port
    /// or the TLS context cannot be made, or when running already.
    bool start();
    /// Ends every session and the listener; waits for all threads. The mailbox and the record
    /// stay. The server can be started again (on a new port).
    void stop();
    /// The listening port; 0 when not running.
    int port() const;
    bool tls() const { return tls_; }

    void setAccount(const std::string& user, const std::string& password);

    /// Appends a message; returns its number as the next session will see it. An empty `uid`
    /// gives "uid-<k>" with a number unique in this server.
    int addMessage(std::string text, std::string uid = "");
    /// Removes the message with session number `number` (1-based, as a new session sees it).
    /// False when there is none.
    bool removeMessage(int number);
    void clearMailbox();
    /// The messages as a new session would see them.
    std::vector<Message> mailbox() const;
    /// LIST (and STAT) report `size` for message `number` instead of its text size.
    void setListSize(int number, std::uint64_t size);

    void setGreeting(const std::string& line);
    void setUidl(bool on);
    void setTopRefused(bool on);
    void setListRefused(bool on);
    /// CAPA lists STLS, and STLS is refused with "-ERR" (a server whose upgrade fails).
    void setStlsRefused(bool on);
    /// CAPA lists PIPELINING (the server reads commands one after the other either way).
    void setPipelining(bool on);
    void setSilentAt(const std::string& verb, int occurrence = 1);
    void setDropAt(const std::string& verb, int occurrence = 1);
    void setStallInBody(std::size_t bytes);
    void setUnstuffedDots(bool on);
    void setTrickle(std::size_t bytes, std::chrono::microseconds pause);
    void clearSwitches();

    /// Every command line received, in order.
    std::vector<std::string> commands() const;
    /// Commands received whose verb is `verb` (compared without regard to case).
    int count(const std::string& verb) const;
    /// Connections accepted since the start or the last clearRecord().
    int connections() const;
    void clearRecord();
    /// Waits at most `limit` until no session is running. True when none is.
    bool waitUntilIdle(std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

private:
    struct Stored {
        std::uint64_t id;
        std::string text;
        std::string uid;
        std::string wire;          // dot-stuffed text with a final "\r\n", ready to send
        std::int64_t listSize = -1; // reported size when >= 0
    };
    struct Session;
    struct SessionState;
    struct Switches {
        std::string greeting = kDefaultGreeting;
        bool uidl = true;
        bool topRefused = false;
        bool listRefused = false;
        bool stlsRefused = false;
        bool pipelining = false;
        std::string silentVerb; // upper case; empty: off
        int silentOccurrence = 0;
        int silentSeen = 0;
        std::string dropVerb;
        int dropOccurrence = 0;
        int dropSeen = 0;
        std::size_t stallInBody = 0;
        bool unstuffedDots = false;
        std::size_t trickleBytes = 0;
        std::chrono::microseconds tricklePause{0};
    };
    enum class Fate { Answer, Silent, Drop };
    enum class Next { Continue, End, Silence };

    void acceptLoop();
    void serve(Session& session);
    Fate fateOf(const std::string& verb);
    Next handle(Session& session, SessionState& state, const std::string& line);
    void record(const std::string& line);
    bool send(Session& session, const std::string& text, std::size_t stallAfter = 0);
    void waitForEnd(Session& session);
    static std::string wireForm(const std::string& text, bool stuffDots);

    const bool tls_;
    TlsContext context_;
    Connection listener_;
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::vector<std::unique_ptr<Session>> sessions_;
    int runningSessions_ = 0;
    bool running_ = false;
    std::string user_ = kDefaultUser;
    std::string password_ = kDefaultPassword;
    std::vector<std::shared_ptr<Stored>> messages_; // shared with the sessions' snapshots
    std::uint64_t nextId_ = 1;
    Switches switches_;
    std::vector<std::string> commands_;
    int connections_ = 0;
};

} // namespace corvanthelix::testing
