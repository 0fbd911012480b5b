#pragma once
#include "net/CertificateCheck.h"
#include "upstream/MailMessage.h"
#include "upstream/ProtocolClient.h"

#include <cstdint>
#include <initializer_list>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

namespace corvanthelix {

/// One entry of the server's LIST answer, with its UID from UIDL (nullopt when the server gave
/// none).
struct Pop3ListEntry {
    std::uint32_t number = 0;
    std::uint32_t size = 0;
    std::optional<std::string> uid;
};

/// The POP3 protocol client: one connection to a mail server (plain, or TLS from the first byte),
/// one command at a time, every wait guarded by the time-out of ProtocolClient, and the
/// conversation in the server log (a PASS command as "PASS *", message texts not at all).
///
/// Life: disconnected -> connect() (greeting "+OK") -> login() -> commands -> quit() or
/// disconnect(). The message list belongs to one connection and is read at the first list().
///
/// Results are the upstream:: codes. Every operation takes the client's lock.
class Pop3Client : public ProtocolClient {
public:
    Pop3Client();
    /// Closes the connection without QUIT.
    ~Pop3Client() override;

    /// Decides whether to go on with a TLS server whose certificate is `check` (verified or not)
    /// at `host`:`port`. Called on the connecting thread, outside any wait for the server; false
    /// ends the connection before anything is sent.
    using CertificateJudge = std::function<bool(const CertificateCheck& check, const std::string& host, int port)>;

    /// Installs the judge asked after every TLS handshake (POP3S and STLS). Without one every
    /// certificate is taken as it comes.
    void setCertificateJudge(CertificateJudge judge);
    /// Makes plain connections upgrade with STLS when the server's CAPA lists it, with
    /// `context` (not owned; null: never). With `required` a server that does not offer STLS
    /// counts as a failed upgrade too (it offered it before).
    void setStartTls(SSL_CTX* context, bool required);
    /// True when the current connection was upgraded with STLS.
    bool usedStartTls() const;
    /// The certificate seen at the last TLS handshake (verified or not).
    CertificateCheck lastCertificate() const;

    /// Disconnects first, then connects to `host`:`port`; with a `tlsContext` (not owned) the TLS
    /// handshake follows at once, before the greeting. Returns 0 when the greeting was "+OK"
    /// (the client is then connected), -3 for another greeting (not connected; lastResponse()
    /// holds it), -1 when no greeting came or the handshake failed, -5 when the name did not
    /// resolve or the TCP connect failed, -4 after a time-out. After the handshake the
    /// certificate judge decides: -7 (Untrusted) when it says no. On a plain connection with
    /// STLS set up (setStartTls), the upgrade follows the greeting: -8 (UpgradeFailed) when the
    /// server offered STLS (or it was required) and the upgrade failed, -7 when its certificate
    /// was not trusted; the connection is closed in both cases.
    UpstreamResult connect(const std::string& host, int port, SSL_CTX* tlsContext);
    /// connect() without TLS.
    UpstreamResult connect(const std::string& host, int port) override;
    /// Closes the connection without a word to the server; clears the connected flag.
    void disconnect() override;
    /// USER, then PASS when USER got "+OK". Returns the code of the last answer; -6 when a
    /// command could not be sent, -4 after a time-out.
    UpstreamResult login(const std::string& user, const std::string& password) override;
    /// QUIT; clears the connected flag and closes the connection whatever the answer.
    UpstreamResult quit() override;
    UpstreamResult noop() override;
    /// DELE `number`: the code of the answer; -6 when the command could not be sent, -4 after a
    /// time-out.
    UpstreamResult dele(std::uint32_t number);

    /// The message list, read with LIST and UIDL at the first call after connect(). Null when
    /// not connected, when the server has no messages (listEmpty() is then true and LIST is not
    /// sent again), or when reading failed. Owned by the client; valid until the next connect().
    const std::vector<Pop3ListEntry>* list();
    /// True once LIST was answered with no messages on this connection.
    bool listEmpty() const;
    /// The list entry with server number `number` (reading the list if needed), or null.
    const Pop3ListEntry* findNode(std::uint32_t number);

    /// RETR `number`: the whole message, owned by the caller; null when there is no such entry,
    /// the server refused, the text was empty, or reading failed or timed out. The text is the
    /// message itself, byte for byte: the dot-stuffing of the wire undone, its last line end kept.
    std::unique_ptr<MailMessage> retr(std::uint32_t number);
    /// RETR `number` as retr(), but the text itself, without building the message model (for
    /// callers that only pass the text on or store it). nullopt where retr() gives null.
    std::optional<std::string> retrText(std::uint32_t number);
    /// TOP `number` `lines`: the header and `lines` body lines (MailMessage::parseTop), owned by
    /// the caller; null as for retr().
    std::unique_ptr<MailMessage> top(std::uint32_t number, int lines);

    /// True when the server's CAPA answer lists PIPELINING; CAPA is sent at the first call on a
    /// connection only. False when the server refuses CAPA (an answer cut off also closes the
    /// connection).
    bool offersPipelining();
    /// RETR of each of `numbers` in that order, with up to `window` commands sent ahead of their
    /// answers (1: one at a time; more only for a server that offers PIPELINING). Hands every
    /// message to `deliver` as soon as it has come, in order: its text as retrText() gives it,
    /// or no text and a result: Refused when the server answered -ERR to that one message (the
    /// others go on) or when LIST has no such number; otherwise the failure that ends the
    /// download (nothing more is handed then). `deliver` returning false stops it too. When it
    /// stops with commands still unanswered, the connection is closed. Takes the lock for one
    /// message at a time: no other command may use the client until it returns. Returns the
    /// number of messages handed to `deliver`.
    struct RetrievedText {
        std::uint32_t number = 0;
        std::optional<std::string> text;
        UpstreamResult result = UpstreamResult::Ok;
    };
    std::size_t retrPipelined(const std::vector<std::uint32_t>& numbers, std::size_t window,
                              const std::function<bool(RetrievedText&&)>& deliver);

    /// Sends `text` + "\r\n" and logs it ("PASS *" for a password). Returns the bytes sent
    /// (length of text + 2); -6 when it could not be written or `text` holds a line break (which
    /// would smuggle a second command to the server); -4 after a time-out.
    int sendCommand(std::string_view text) override;

    /// Largest buffer a multi-line answer reserves in advance from the size LIST announced;
    /// beyond it the buffer grows as data comes, so a bogus LIST size cannot claim the memory.
    static constexpr std::size_t kMaxReserve = 64u * 1024 * 1024;
    /// A LIST (or UIDL) answer of more lines than this is abandoned: no mailbox holds so many
    /// messages, and reading on would only fill the memory.
    static constexpr std::size_t kMaxListEntries = 1000000;
    /// A message text is abandoned once it exceeds twice its LIST size plus kMessageMargin, or
    /// kMaxMessageBytes in any case.
    static constexpr std::uint64_t kMessageMargin = 16u * 1024 * 1024;
    static constexpr std::uint64_t kMaxMessageBytes = 1024u * 1024 * 1024;
    /// The most bytes a message text with LIST size `listSize` may take on the wire.
    static std::uint64_t messageLimit(std::uint32_t listSize);
    /// True when the last answer on this connection was abandoned for its length (the connection
    /// is then closed: the rest of the answer would be taken for the next one).
    bool answerTooLong() const { return answerTooLong_; }

private:
    bool secureAndJudge(SSL_CTX* context, const std::string& host, int port, UpstreamResult& failure);
    UpstreamResult upgradeWithStls(const std::string& host, int port);
    Pop3ListEntry* entryFor(std::uint32_t number);
    // Reads the UIDL answer (sending UIDL first unless `sent`) into the list's UIDs.
    void readUids(bool sent);
    // Sends the command lines in one write (each checked as sendCommand checks one); the log gets
    // each line. Returns the bytes written or a negative UpstreamResult.
    int sendLines(std::initializer_list<std::string_view> commands);
    // Reads an answer that nobody wants (to a command sent ahead of one that failed) to its end.
    void skipAnswer(const char* command);
    void abandonAnswer(const char* command);
    // `answerFollows`: commands were sent ahead, so the next answer may follow the text at once.
    std::optional<std::string> readMessageText(std::uint32_t listSize, std::size_t reserve, bool wholeMessage,
                                               bool answerFollows);
    std::optional<std::string> download(const std::string& command, std::uint32_t number,
                                        bool wholeMessage);
    static UpstreamResult sendCode(int sent);

    CertificateJudge judge_;
    SSL_CTX* stlsContext_ = nullptr;
    bool stlsRequired_ = false;
    bool usedStls_ = false;
    CertificateCheck lastCertificate_;
    std::vector<Pop3ListEntry> list_;
    bool listHeld_ = false;
    bool listEmpty_ = false;
    bool answerTooLong_ = false;
    bool capabilitiesRead_ = false; // CAPA asked on this connection
    bool pipelining_ = false;       // ... and it listed PIPELINING
    std::string line_;        // reused for every line of a multi-line answer
    std::vector<char> block_; // receive block for message texts
};

} // namespace corvanthelix
