#pragma once
#include "upstream/MessageSpool.h"
#include "upstream/Pop3Client.h"
#include "upstream/ServerMessage.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

namespace corvanthelix {

/// The server's mailbox as one client session sees it: the POP3 client (owned) and the list of
/// the server's messages with the copies downloaded so far, addressed by server message number.
///
/// The list is built once, by the first messages(), find(), count() or download, from LIST and
/// UIDL, and lives until the mailbox is destroyed (a list that could not be read is tried again
/// at the next use). Destruction closes the connection without QUIT.
///
/// Every operation takes the mailbox's re-entrant lock, then the client's.
class Mailbox {
public:
    Mailbox();
    ~Mailbox();
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    /// Forwarded to the POP3 client (see Pop3Client for the codes).
    UpstreamResult connect(const std::string& host, int port, SSL_CTX* tlsContext);
    UpstreamResult login(const std::string& user, const std::string& password);
    UpstreamResult quit();
    void disconnect();
    /// NOOP; -1 when not connected.
    UpstreamResult noop();
    int openServerLog(const char* path, std::uint32_t maxSize);
    std::uint32_t setTimeout(std::uint32_t milliseconds);
    void setProgressCallback(ProtocolClient::ProgressCallback callback);
    void setTimeoutHandler(ProtocolClient::TimeoutHandler handler);
    std::optional<std::string> lastResponse() const;
    UpstreamResult lastError() const;
    bool isConnected() const;

    /// The first message in server order (walk on with `next`), or null when there are none or
    /// the list cannot be read. Owned by the mailbox.
    ServerMessage* messages();
    /// The message with server number `number`, or null.
    ServerMessage* find(std::uint32_t number);
    /// Number of messages; `totalSize` (may be null) receives the sum of their recorded sizes.
    int count(std::uint64_t* totalSize = nullptr);

    /// Moves whole copies beyond `budget` bytes to files in `folder` at each trim() (see
    /// MessageSpool). Returns false when the folder cannot be made: copies then stay in memory.
    bool spoolTo(const std::string& folder, std::size_t budget = MessageSpool::kDefaultBudget);
    /// Moves the copies used least recently out of memory until the held ones fit the budget.
    /// Call it only where no pointer to a held copy (ServerMessage::message) is in use: every
    /// other operation leaves held copies where they are.
    std::size_t trim();
    /// The message `number` with its whole copy in memory: held, or loaded back from its spool
    /// file. Null when there is no such message or no whole copy (nothing is downloaded).
    ServerMessage* whole(std::uint32_t number);
    /// The message `number` with whatever copy it has in memory, a spooled whole copy read back
    /// first; its `message` is null when it has no copy. Null when there is no such message.
    ServerMessage* loaded(std::uint32_t number);
    /// The spool, for figures and tests.
    const MessageSpool& spool() const { return spool_; }

    /// The message `number` with its whole text: a whole copy already held (or spooled) is
    /// returned as it is; otherwise it is downloaded with RETR (replacing a header-only copy) and the recorded size
    /// becomes the copy's size. Null when there is no such message or the download failed.
    ServerMessage* retr(std::uint32_t number);
    /// The message `number` with at least its header: any copy already held is returned as it
    /// is; otherwise TOP `number` `lines`. The recorded size stays the LIST size (a partial copy
    /// says nothing about the message's size). Null on failure.
    ServerMessage* top(std::uint32_t number, int lines);
    /// For a message taken from the local cache instead of the server: when no copy is held,
    /// holds a copy of `message` (its size becomes the recorded size) and notes in the server log
    /// that it came from an external source. Returns the entry, or null when there is no such
    /// message.
    ServerMessage* setFromExternal(std::uint32_t number, const MailMessage& message);
    /// Holds `copy`, a whole message downloaded outside retr() (MessagePrefetch), for `number`
    /// in place of any copy held; its size becomes the recorded size. Returns the entry, or null
    /// (dropping the copy) when there is no such message or `copy` is null.
    ServerMessage* adopt(std::uint32_t number, std::unique_ptr<MailMessage> copy);
    /// Frees the copy held for `number` and sets its recorded size to 0.
    void dropMessage(std::uint32_t number);
    /// DELE for message `number` on the server: the client's code; -1 when there is no such
    /// message.
    UpstreamResult dele(std::uint32_t number);

    /// The protocol client, for callers that need it directly (the client session's reconnect,
    /// tests). Owned by the mailbox.
    Pop3Client& client() { return *client_; }

private:
    bool buildList();
    // Holds `copy` as the entry's copy in place of any other, counted by the spool.
    void hold(ServerMessage& entry, std::unique_ptr<MailMessage> copy);

    mutable std::recursive_mutex lock_;
    std::unique_ptr<Pop3Client> client_;
    MessageSpool spool_;
    std::vector<std::unique_ptr<ServerMessage>> messages_;
    bool listBuilt_ = false;
};

} // namespace corvanthelix
