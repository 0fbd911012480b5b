#pragma once
#include "base/ProgramPaths.h"
#include "stores/XmlDocument.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

struct ServerMessage;

/// A server certificate the person chose to trust for one port of a server.
struct CertificatePin {
    int port = 0;
    std::string fingerprint; ///< SHA-256, hexadecimal pairs joined by ":"
};

/// One mail account of the host list, as the client session and the "Known hosts" page see it.
struct HostEntry {
    std::string server;
    std::string user;
    int32_t port = 110;
    bool secure = false; // the account uses TLS
    bool tested = false; // TLS has been tried for the account ("try")
    /// The password in obscured form ("id"), or nothing when none is stored.
    std::optional<std::string> obscuredPassword;
};

/// What a login asks of the host list before it connects: the account, the port as the mail client
/// gave it (or the default port for the TLS setting), and whether TLS is to be tried.
struct TlsRequest {
    std::string server;
    std::string user;
    /// The port to use; when `portGiven` is false it is the default for the TrySSL setting.
    int port = 110;
    bool portGiven = false;
    /// TLS to begin with: the mail client came in on the local TLS port and named a port.
    bool secure = false;
    /// The TrySSL setting.
    bool trySsl = false;
    int plainPort = 110;
    int tlsPort = 995;
};

/// The host list's answer: the port and whether to use TLS, or `aborted` when a TLS try failed
/// and the person did not agree to go on without it.
struct TlsChoice {
    int port = 110;
    bool secure = false;
    bool aborted = false;
    /// An account not in the list yet, as it is to be stored: the list is written only by
    /// recordAccount() once the server has accepted the login.
    std::optional<HostEntry> unrecorded;
};

/// The accounts a mail client has used through the proxy, kept in "hostlist.xml" in the program
/// folder: root "hostlist", one child "host" per account with the attributes "server" and "user"
/// (Q-encoded), "port", "secure", "try" and, when the user asked for it, "id" (the obscured
/// password). An account is identified by (server, user), compared byte for byte: "Jane" and
/// "jane" are two accounts.
///
/// A list is loaded, changed and saved within one operation; callers serialise writers (the client
/// session and the download for restore hold the session lock). Not thread-safe.
class HostList {
public:
    static constexpr const char* kFileName = ProgramPaths::kHostListFileName;

    /// The 16-byte key that ties an obscured password to its account.
    using PasswordKey = std::array<uint8_t, 16>;

    /// The key for (user, server): the MD5 digest of "wq52" + user + "zorab41736" + server.
    /// Nothing when the digest is unavailable.
    static std::optional<PasswordKey> passwordKey(std::string_view user, std::string_view server);

    /// The text stored in "id" for `password`: two characters of "0123456789AbCdEf" (low nibble
    /// first) per password byte, the bytes taken second to last and then the first, each shifted by
    /// the key byte of its position.
    static std::string obscurePassword(std::string_view password, const PasswordKey& key);

    /// The password stored as `id`; nothing when `id` is shorter than 2 characters. A final odd
    /// character is ignored; letters count case-insensitively from 10 on, other characters as 0.
    static std::optional<std::string> revealPassword(std::string_view id, const PasswordKey& key);

    /// Stores `password` obscured as the "id" of account (server, user) in the host list file at
    /// `path`, leaving the account's other attributes as the file has them now. An account not in
    /// the list is added with port 110, no TLS and not tested. Returns whether the file was saved.
    static bool storePassword(const std::string& path, const std::string& server, const std::string& user,
                              std::string_view password);

    /// Loads the file at `path` and remembers the path. A missing or unreadable file, or one
    /// without a root element, gives an empty list with root "hostlist". Returns true when the
    /// list is ready for use.
    bool load(const std::string& path);

    /// Fills `entry` for (server, user): server and user from the arguments, the other fields from
    /// the matching element's attributes where present, defaults otherwise (port 110, no TLS, not
    /// tested, no password). Returns whether the account is in the list.
    bool find(HostEntry& entry, const std::string& server, const std::string& user) const;

    /// Stores `entry`: finds the element for (entry.server, entry.user) or adds one, then sets
    /// "port", "secure", "try" and, when the entry has a password, "id" (a stored "id" stays when
    /// it has none). Returns false when the list is not loaded.
    bool update(const HostEntry& entry);

    /// Removes the account (server, user). Returns whether it was there.
    bool remove(const std::string& server, const std::string& user);

    /// Appends every account to `out`, in file order, with server and user decoded.
    void list(std::vector<HostEntry>& out) const;

    /// Writes the list to the remembered path, replacing the file atomically. Returns false when
    /// the list is not loaded or the file cannot be written.
    bool save() const;

    /// Frees the list; the object can be loaded again.
    void close();

    bool isLoaded() const { return loaded_; }

    /// Records in the file at `path` that the person trusts the certificate with SHA-256
    /// `fingerprint` for `server`:`port`, on the element of account (server, user), which is
    /// added (port `port`, no TLS, not tested) when missing. A pin held for that port is
    /// replaced. A `fingerprint` that is not hexadecimal pairs joined by ":" is refused. Returns
    /// whether the file was saved.
    static bool pinCertificate(const std::string& path, const std::string& server, const std::string& user, int port,
                               const std::string& fingerprint);

    /// True when any account of `server` in the file at `path` holds a pin for `port` with
    /// `fingerprint`. A missing file holds none.
    static bool isPinned(const std::string& path, const std::string& server, int port, const std::string& fingerprint);

    /// Every certificate pinned for `server` ("pin" of its accounts) in the file at `path`, in
    /// file order. update() keeps an account's pins as the file has them.
    static std::vector<CertificatePin> pinsOf(const std::string& path, const std::string& server);

    /// The certificates pinned on the account (server, user) of this loaded list, in stored order;
    /// empty when it holds none or is not in the list.
    std::vector<CertificatePin> accountPins(const std::string& server, const std::string& user) const;

    /// Removes every pin of the account (server, user) from this loaded list, so that the next
    /// connection checks the server's certificate as on first contact. Returns whether the
    /// account held one; save() writes it.
    bool forgetPins(const std::string& server, const std::string& user);

    /// True when the account (server, user) in the file at `path` upgraded a plain connection
    /// with STLS before ("stls"): a later plain connection that cannot be upgraded is not used
    /// without the person's yes.
    static bool usesStartTls(const std::string& path, const std::string& server, const std::string& user);

    /// Sets or clears the "stls" mark of the account (server, user) in the file at `path`. An
    /// account not in the list is left out. Returns whether the file holds the mark as asked.
    static bool rememberStartTls(const std::string& path, const std::string& server, const std::string& user, bool on);

    /// Decides whether a login uses TLS, from the stored account in the list at `path` and the
    /// request. A known account keeps its stored choice; an account not tried yet (or a new one,
    /// with TrySSL) is tried with `tryTls(port)`, which connects with TLS and answers whether that
    /// worked (the connection then stays open for the login). A failed try falls back to the plain
    /// port when the client named none, and asks `askUnsecure()` whether to go on without TLS; the
    /// list is written only once that is settled (and not at all when the person says no). Without
    /// a readable list the request's own choice stands.
    static TlsChoice chooseTls(const std::string& path, const TlsRequest& request,
                               const std::function<bool(int port)>& tryTls, const std::function<bool()>& askUnsecure);

    /// Writes `entry`'s port and TLS choice for its account into the list at `path` and saves it
    /// (an element already there, made when a certificate was pinned during the same login, keeps
    /// its pin and stored password). Called once the server accepted a login to an account chooseTls() left unrecorded, so
    /// failed attempts (wrong names, hosts that cannot be reached) never grow the list. Returns
    /// whether the list holds the account afterwards.
    static bool recordAccount(const std::string& path, const HostEntry& entry);

    /// Fetches the whole message with UID `uid` from the account (server, user) again, for a
    /// recycle bin entry that holds only its header. Call from the window thread: it takes the
    /// session lock (waiting for a running client session to end), tells the shell that a mail
    /// check begins and ends, and uses the stored password without asking; without one, or when
    /// the server refuses it, it asks with the Login dialog (again after each refused password).
    /// A password entered with "Save password" ticked is stored once the server accepted it (an
    /// account not yet in the list is added with port 110 and no TLS).
    ///
    /// Returns true with `binEntry` holding the server's number, size, UID and the downloaded
    /// message (owned by `binEntry`). Otherwise false, after one message box: string 230 when the
    /// message is no longer on the server, string 126 when no connection or download succeeded;
    /// none when the person cancelled the Login dialog.
    static bool downloadForRestore(const std::string& server, const std::string& user, const std::string& uid,
                                   ServerMessage& binEntry);

private:
    XmlElement* findElement(const std::string& server, const std::string& user) const;

    XmlDocument document_;
    std::string path_;
    bool loaded_ = false;
};

} // namespace corvanthelix
