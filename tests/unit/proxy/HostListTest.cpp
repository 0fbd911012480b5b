#include "base/Application.h"
#include "proxy/HostList.h"
#include "upstream/ServerMessage.h"
#include "base/StringTable.h"
#include "stores/XmlDocument.h"
#include "tests/fakes/FakePop3Server.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::FakePop3Server;
using corvanthelix::testing::ScriptedShell;
using corvanthelix::testing::TempFolder;

namespace {

HostList::PasswordKey KeyFor(const std::string& user, const std::string& server) {
    auto key = HostList::passwordKey(user, server);
    EXPECT_TRUE(key.has_value());
    return key.value_or(HostList::PasswordKey{});
}

// Computed independently with Python's hashlib (MD5 of "wq52" + user + "zorab41736" + server, then
// the rotation and the "0123456789AbCdEf" digits).
struct FixedVector {
    std::string user, server, password, key, id;
};
const FixedVector kVectors[] = {
    {"jane", "mail.example.org", "Secret-42!", "b9c687aef8f180a71bb40749b0a97756", "E1929f31C6E14b9dC370"},
    {"Jane.Doe", "pop.example.net", "p\xe4ssw\xf6rd with spaces & 17+ chars", "539b31a8e837b937044762fe42557fb8",
     "73E04Af1Ed9Ad175b70b6d66268CfE916b004A8CE075AEE6f2765C663A7C2f82"},
};

TEST(PasswordObscuring, MatchesIndependentlyComputedVectors) {
    for (const FixedVector& v : kVectors) {
        HostList::PasswordKey key = KeyFor(v.user, v.server);
        std::string hex;
        for (uint8_t b : key) hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
        EXPECT_EQ(hex, v.key);
        EXPECT_EQ(HostList::obscurePassword(v.password, key), v.id);
        EXPECT_EQ(HostList::revealPassword(v.id, key), v.password);
    }
}

TEST(PasswordObscuring, RoundTripsEveryLengthUpTo40) {
    HostList::PasswordKey key = KeyFor("jane", "mail.example.org");
    EXPECT_EQ(HostList::obscurePassword("", key), "");
    EXPECT_EQ(HostList::revealPassword("", key), std::nullopt) << "an empty id means no password";
    for (size_t length = 1; length <= 40; ++length) {
        std::string password;
        // Bytes across the whole range, so every nibble and the carry past 255 occur.
        for (size_t i = 0; i < length; ++i) password += static_cast<char>((i * 37 + length * 11 + 1) % 256);
        std::string id = HostList::obscurePassword(password, key);
        ASSERT_EQ(id.size(), 2 * length);
        ASSERT_EQ(id.find_first_not_of("0123456789AbCdEf"), std::string::npos);
        ASSERT_EQ(HostList::revealPassword(id, key), password) << "length " << length;
    }
}

TEST(PasswordObscuring, ReadingIsLenient) {
    HostList::PasswordKey key = KeyFor("jane", "mail.example.org");
    const std::string id = kVectors[0].id;
    std::string lower, upper;
    for (char c : id) lower += static_cast<char>(std::tolower(c)), upper += static_cast<char>(std::toupper(c));
    EXPECT_EQ(HostList::revealPassword(lower, key), kVectors[0].password);
    EXPECT_EQ(HostList::revealPassword(upper, key), kVectors[0].password);
    EXPECT_EQ(HostList::revealPassword(id + "7", key), kVectors[0].password) << "an odd last character is ignored";
    EXPECT_EQ(HostList::revealPassword("E", key), std::nullopt);
    // A character outside the digits counts as 0: "#0" reads like "00".
    EXPECT_EQ(HostList::revealPassword("#0", key), HostList::revealPassword("00", key));
    // The password is tied to its account.
    EXPECT_NE(HostList::revealPassword(id, KeyFor("Jane", "mail.example.org")), kVectors[0].password);
}

TEST(HostList, WritesTheAccountAttributes) {
    TempFolder tmp;
    HostList hosts;
    ASSERT_TRUE(hosts.load(tmp.file(HostList::kFileName)));
    HostEntry entry{"mail.example.org", "Jane Doe", 995, true, true, std::string("E192")};
    ASSERT_TRUE(hosts.update(entry));
    ASSERT_TRUE(hosts.save());
    EXPECT_EQ(TempFolder::read(tmp.file(HostList::kFileName)),
              std::string(XmlDocument::kHeader) +
                  "<hostlist>\n"
                  "<host id=\"E192\" try=\"1\" secure=\"1\" port=\"995\" user=\"Jane_Doe\" server=\"mail=2Eexample=2Eorg\"/>\n"
                  "</hostlist>\n");
}

TEST(HostList, AccountsAreIdentifiedByServerAndExactUserName) {
    TempFolder tmp;
    const std::string path = tmp.file(HostList::kFileName);
    {
        HostList hosts;
        ASSERT_TRUE(hosts.load(path));
        EXPECT_TRUE(hosts.update({"pop.example.org", "Jane", 110, false, false, std::string("AAAA")}));
        EXPECT_TRUE(hosts.update({"pop.example.org", "jane", 995, true, true, {}}));
        EXPECT_TRUE(hosts.update({"pop.example.org", "joe&co", 1110, false, true, {}}));
        EXPECT_TRUE(hosts.save());
    }
    HostList hosts;
    ASSERT_TRUE(hosts.load(path));
    HostEntry jane, lower, joe, none;
    ASSERT_TRUE(hosts.find(jane, "pop.example.org", "Jane"));
    ASSERT_TRUE(hosts.find(lower, "pop.example.org", "jane"));
    ASSERT_TRUE(hosts.find(joe, "pop.example.org", "joe&co"));
    EXPECT_FALSE(hosts.find(none, "POP.example.org", "Jane"));
    EXPECT_EQ(jane.port, 110);
    EXPECT_EQ(jane.obscuredPassword, std::optional<std::string>("AAAA"));
    EXPECT_EQ(lower.port, 995);
    EXPECT_TRUE(lower.secure && lower.tested);
    EXPECT_EQ(lower.obscuredPassword, std::nullopt);
    EXPECT_EQ(joe.port, 1110);
    EXPECT_EQ(none.server, "POP.example.org");
    EXPECT_EQ(none.port, 110);

    // An update without a password keeps the stored one and changes the entry in place.
    jane.obscuredPassword.reset();
    jane.secure = true;
    ASSERT_TRUE(hosts.update(jane));
    std::vector<HostEntry> all;
    hosts.list(all);
    ASSERT_EQ(all.size(), 3u);
    HostEntry again;
    hosts.find(again, "pop.example.org", "Jane");
    EXPECT_TRUE(again.secure);
    EXPECT_EQ(again.obscuredPassword, std::optional<std::string>("AAAA"));

    // The options page sees decoded names and can delete an account.
    std::vector<std::string> users;
    for (const HostEntry& e : all) users.push_back(e.user);
    EXPECT_NE(std::find(users.begin(), users.end(), "joe&co"), users.end());
    EXPECT_TRUE(hosts.remove("pop.example.org", "joe&co"));
    EXPECT_FALSE(hosts.remove("pop.example.org", "joe&co"));
    all.clear();
    hosts.list(all);
    EXPECT_EQ(all.size(), 2u);
}

TEST(HostList, ReadsAttributesWrittenByHandAndStartsOverOnBadFiles) {
    TempFolder tmp;
    const std::string header(XmlDocument::kHeader);
    struct Case {
        const char* what;
        std::string file;
        bool found;
        int32_t port;
        bool secure, tested;
    } cases[] = {
        {"flags by first character, port absent",
         header + "<hostlist>\n<host try=\"0\" secure=\"1yes\" user=\"u\" server=\"s\"/>\n</hostlist>\n", true, 110, true, false},
        {"other elements are not accounts",
         header + "<hostlist>\n<guest user=\"u\" server=\"s\"/>\n</hostlist>\n", false, 110, false, false},
        {"truncated file", header + "<hostlist>\n<host user=\"u\" server=\"s\" port=\"99", false, 110, false, false},
        {"garbage", "\x01\x02<<>>/=", false, 110, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostList hosts;
        ASSERT_TRUE(hosts.load(tmp.write(HostList::kFileName, c.file)));
        HostEntry entry;
        EXPECT_EQ(hosts.find(entry, "s", "u"), c.found);
        EXPECT_EQ(entry.port, c.port);
        EXPECT_EQ(entry.secure, c.secure);
        EXPECT_EQ(entry.tested, c.tested);
        // Whatever was read, a new account can be added and saved.
        ASSERT_TRUE(hosts.update({"new", "user", 110, false, false, {}}));
        ASSERT_TRUE(hosts.save());
        HostList reread;
        ASSERT_TRUE(reread.load(tmp.file(HostList::kFileName)));
        EXPECT_TRUE(reread.find(entry, "new", "user"));
    }

    HostList missing;
    ASSERT_TRUE(missing.load(tmp.file("absent/hostlist.xml")));
    std::vector<HostEntry> all;
    missing.list(all);
    EXPECT_TRUE(all.empty());
    missing.close();
    EXPECT_FALSE(missing.update({"s", "u", 110, false, false, {}})) << "a closed list takes no changes";
    EXPECT_FALSE(missing.save());
}


// The recycle bin asks for a message it holds only as a header; the account is alice/secret on a
// fake server, and the host list lives in a temporary program folder.
class DownloadForRestore : public ::testing::Test {
protected:
    static constexpr const char* kServer = "127.0.0.1";
    static constexpr const char* kUser = "alice";
    const std::string kWanted = "From: a@example.org\r\nSubject: wanted\r\n\r\nthe body\r\n";

    void SetUp() override {
        ASSERT_TRUE(Application::instance().setProgramFolder(tmp.path()));
        Application::instance().setShell(&shell);
        server.addMessage("Subject: other\r\n\r\nx\r\n", "uid-other");
        server.addMessage(kWanted, "uid-wanted");
        ASSERT_TRUE(server.start());
    }
    void TearDown() override { Application::instance().setShell(nullptr); }

    std::string hostListPath() const { return tmp.file(HostList::kFileName); }

    void storeAccount(const std::optional<std::string>& password, bool secure = false) {
        HostList hosts;
        ASSERT_TRUE(hosts.load(hostListPath()));
        HostEntry entry{kServer, kUser, server.port(), secure, true, {}};
        if (password) entry.obscuredPassword = HostList::obscurePassword(*password, KeyFor(kUser, kServer));
        ASSERT_TRUE(hosts.update(entry));
        ASSERT_TRUE(hosts.save());
    }

    HostEntry storedAccount() const {
        HostList hosts;
        HostEntry entry;
        hosts.load(hostListPath());
        hosts.find(entry, kServer, kUser);
        return entry;
    }

    std::optional<std::string> storedPassword() const {
        HostEntry entry = storedAccount();
        if (!entry.obscuredPassword) return std::nullopt;
        return HostList::revealPassword(*entry.obscuredPassword, KeyFor(kUser, kServer));
    }

    std::vector<std::string> messageBoxes() const {
        std::vector<std::string> boxes;
        for (const std::string& call : shell.calls())
            if (call.rfind("messageBox|", 0) == 0) boxes.push_back(call);
        return boxes;
    }

    static std::string box(int id, unsigned flags) {
        return "messageBox|Corvanthelix|" + loadString(id) + "|" + std::to_string(flags);
    }

    LoginRequest answer(const std::string& password, bool save) const { return {kServer, kUser, password, save}; }

    TempFolder tmp;
    ScriptedShell shell;
    FakePop3Server server;
    ServerMessage binEntry;
};

TEST_F(DownloadForRestore, StoredPasswordIsUsedWithoutAsking) {
    storeAccount("secret");
    ASSERT_TRUE(HostList::downloadForRestore(kServer, kUser, "uid-wanted", binEntry));

    EXPECT_TRUE(shell.loginRequests().empty());
    EXPECT_TRUE(messageBoxes().empty());
    EXPECT_EQ(binEntry.number, 2u);
    EXPECT_EQ(binEntry.uid, std::optional<std::string>("uid-wanted"));
    ASSERT_TRUE(binEntry.message);
    EXPECT_EQ(binEntry.message->source(), kWanted);
    EXPECT_EQ(binEntry.message->topLines(), -1);
    EXPECT_EQ(server.count("RETR"), 1);
    EXPECT_EQ(server.count("QUIT"), 1);
    EXPECT_EQ(shell.count("mailCheckBegin"), 1);
    EXPECT_EQ(shell.count("mailCheckEnd"), 1);
    EXPECT_EQ(shell.count("traySetTooltip|Connecting to \"127.0.0.1\"..."), 1);
    EXPECT_EQ(Application::instance().status().statusText(), "Receiving 1 (0 kb) of 1 messages...");
    EXPECT_EQ(Application::instance().status().total(), static_cast<int64_t>(kWanted.size())) << "the size LIST gave";
}

TEST_F(DownloadForRestore, RefusedStoredPasswordAsksWithItPrefilledAndStoresTheNewOne) {
    storeAccount("old-password");
    shell.answerLogin(true, answer("secret", true));
    ASSERT_TRUE(HostList::downloadForRestore(kServer, kUser, "uid-wanted", binEntry));

    ASSERT_EQ(shell.loginRequests().size(), 1u);
    const LoginRequest asked = shell.loginRequests()[0];
    EXPECT_EQ(asked.server, kServer);
    EXPECT_EQ(asked.user, kUser);
    EXPECT_EQ(asked.password, "old-password");
    EXPECT_FALSE(asked.savePassword);
    EXPECT_TRUE(messageBoxes().empty());
    EXPECT_EQ(storedPassword(), std::optional<std::string>("secret"));
    EXPECT_EQ(storedAccount().port, server.port()) << "only the password changes";
}

TEST_F(DownloadForRestore, SavePasswordUntickedStoresNothing) {
    storeAccount(std::nullopt);
    const std::string before = TempFolder::read(hostListPath());
    shell.answerLogin(true, answer("secret", false));
    ASSERT_TRUE(HostList::downloadForRestore(kServer, kUser, "uid-wanted", binEntry));

    ASSERT_EQ(shell.loginRequests().size(), 1u);
    EXPECT_EQ(shell.loginRequests()[0].password, "");
    EXPECT_EQ(TempFolder::read(hostListPath()), before);
}

TEST_F(DownloadForRestore, EachRefusedPasswordAsksAgainUntilCancelled) {
    storeAccount(std::nullopt);
    shell.answerLogin(true, answer("wrong", true));
    shell.answerLogin(true, answer("also wrong", true));
    EXPECT_FALSE(HostList::downloadForRestore(kServer, kUser, "uid-wanted", binEntry));

    EXPECT_EQ(shell.loginRequests().size(), 3u);
    EXPECT_EQ(shell.loginRequests()[1].password, "wrong") << "the dialog shows what was entered";
    EXPECT_TRUE(messageBoxes().empty()) << "a cancelled login is no connection failure";
    EXPECT_EQ(storedPassword(), std::nullopt) << "a refused password is never stored";
    EXPECT_EQ(server.count("PASS"), 2);
    EXPECT_EQ(server.count("RETR"), 0);
    EXPECT_EQ(shell.count("mailCheckEnd"), 1);
}

TEST(HostListPassword, StoringAddsAnUnknownAccountAndChangesOnlyTheIdOfAKnownOne) {
    TempFolder tmp;
    const std::string path = tmp.file(HostList::kFileName);
    const HostList::PasswordKey key = KeyFor("bob", "pop.example.org");
    ASSERT_TRUE(HostList::storePassword(path, "pop.example.org", "bob", "first"));
    HostList hosts;
    HostEntry entry;
    ASSERT_TRUE(hosts.load(path));
    ASSERT_TRUE(hosts.find(entry, "pop.example.org", "bob"));
    EXPECT_EQ(entry.port, 110);
    EXPECT_FALSE(entry.secure || entry.tested);
    EXPECT_EQ(HostList::revealPassword(entry.obscuredPassword.value_or(""), key), "first");

    entry.port = 995;
    entry.secure = entry.tested = true;
    ASSERT_TRUE(hosts.update(entry));
    ASSERT_TRUE(hosts.save());
    ASSERT_TRUE(HostList::storePassword(path, "pop.example.org", "bob", "second"));
    ASSERT_TRUE(hosts.load(path));
    ASSERT_TRUE(hosts.find(entry, "pop.example.org", "bob"));
    EXPECT_EQ(entry.port, 995);
    EXPECT_TRUE(entry.secure && entry.tested);
    EXPECT_EQ(HostList::revealPassword(entry.obscuredPassword.value_or(""), key), "second");
    std::vector<HostEntry> all;
    hosts.list(all);
    EXPECT_EQ(all.size(), 1u);
}

TEST_F(DownloadForRestore, MessageGoneShowsOneWarning) {
    storeAccount("secret");
    EXPECT_FALSE(HostList::downloadForRestore(kServer, kUser, "uid-deleted-meanwhile", binEntry));

    EXPECT_EQ(messageBoxes(), std::vector<std::string>{box(230, mb::kIconExclamation)});
    EXPECT_EQ(loadString(230), "Could not find this message on the mail-server.");
    EXPECT_EQ(server.count("RETR"), 0);
    EXPECT_EQ(server.count("QUIT"), 1);
    EXPECT_FALSE(binEntry.message);
}

TEST_F(DownloadForRestore, ConnectionFailuresShowOneError) {
    storeAccount("secret");
    server.setDropAt("RETR");
    EXPECT_FALSE(HostList::downloadForRestore(kServer, kUser, "uid-wanted", binEntry));
    EXPECT_EQ(messageBoxes(), std::vector<std::string>{box(126, mb::kIconStop)});

    shell.clear();
    server.stop();
    EXPECT_FALSE(HostList::downloadForRestore(kServer, kUser, "uid-wanted", binEntry));
    EXPECT_EQ(messageBoxes(), std::vector<std::string>{box(126, mb::kIconStop)});
    EXPECT_TRUE(shell.loginRequests().empty()) << "no server to ask for a password";
}

TEST_F(DownloadForRestore, SecureAccountNeverFallsBackToPlain) {
    // The proxy server is not started here, so there is no TLS context for mail servers.
    storeAccount("secret", true);
    EXPECT_FALSE(HostList::downloadForRestore(kServer, kUser, "uid-wanted", binEntry));
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(messageBoxes(), std::vector<std::string>{box(126, mb::kIconStop)});
}

} // namespace

TEST(HostListPins, PinsAreKeptPerServerAndPortAndOldFilesReadAsBefore) {
    TempFolder folder;
    const std::string path = folder.file("hostlist.xml");
    // A file written before pins existed.
    folder.write("hostlist.xml", "<hostlist>\r\n<host server=\"mail=2Eexample=2Eorg\" user=\"jane\" port=\"995\" secure=\"1\" "
                            "try=\"1\"/>\r\n</hostlist>");
    // SHA-256 fingerprints: 32 hexadecimal pairs joined by ":".
    auto fingerprint = [](const std::string& pair) {
        std::string out = pair;
        for (int i = 1; i < 32; ++i) out += ":" + pair;
        return out;
    };
    const std::string first = fingerprint("AA");
    const std::string second = fingerprint("0f");
    HostList hosts;
    ASSERT_TRUE(hosts.load(path));
    HostEntry entry;
    ASSERT_TRUE(hosts.find(entry, "mail.example.org", "jane"));
    EXPECT_TRUE(HostList::pinsOf(path, "mail.example.org").empty());
    EXPECT_FALSE(HostList::usesStartTls(path, "mail.example.org", "jane"));
    EXPECT_FALSE(HostList::isPinned(path, "mail.example.org", 995, first));

    ASSERT_TRUE(HostList::pinCertificate(path, "mail.example.org", "jane", 995, first));
    ASSERT_TRUE(HostList::pinCertificate(path, "mail.example.org", "jane", 110, second));
    // A pin of an account counts for every account of that server; another server or port has none.
    struct Case {
        const char* server;
        int port;
        std::string fingerprint;
        bool pinned;
    };
    const Case cases[] = {
        {"mail.example.org", 995, first, true},       {"mail.example.org", 110, second, true},
        {"mail.example.org", 110, fingerprint("0F"), true}, // hexadecimal in any case
        {"mail.example.org", 995, second, false},     {"mail.example.org", 996, first, false},
        {"other.example.org", 995, first, false},     {"mail.example.org", 995, "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HostList::isPinned(path, c.server, c.port, c.fingerprint), c.pinned) << c.server << ":" << c.port;

    // A new pin for a port replaces the old one; the account's other attributes stay.
    ASSERT_TRUE(HostList::pinCertificate(path, "mail.example.org", "jane", 995, second));
    EXPECT_FALSE(HostList::isPinned(path, "mail.example.org", 995, first));
    ASSERT_TRUE(HostList::rememberStartTls(path, "mail.example.org", "jane", true));
    EXPECT_FALSE(HostList::rememberStartTls(path, "mail.example.org", "nobody", true));
    ASSERT_TRUE(hosts.load(path));
    ASSERT_TRUE(hosts.find(entry, "mail.example.org", "jane"));
    EXPECT_EQ(entry.port, 995);
    EXPECT_TRUE(entry.secure);
    EXPECT_TRUE(HostList::usesStartTls(path, "mail.example.org", "jane"));
    ASSERT_EQ(HostList::pinsOf(path, "mail.example.org").size(), 2u);
    // An update through the session's path keeps the pins.
    entry.tested = false;
    ASSERT_TRUE(hosts.update(entry));
    ASSERT_TRUE(hosts.save());
    EXPECT_TRUE(HostList::isPinned(path, "mail.example.org", 995, second));

    // Something that is no fingerprint is not stored.
    EXPECT_FALSE(HostList::pinCertificate(path, "mail.example.org", "jane", 995, "AA:A"));
    EXPECT_FALSE(HostList::pinCertificate(path, "mail.example.org", "jane", 995, "zz:zz"));
    EXPECT_TRUE(HostList::isPinned(path, "mail.example.org", 995, second));

    // Pinning for a server without any account adds one.
    ASSERT_TRUE(HostList::pinCertificate(path, "new.example.org", "", 995, first));
    EXPECT_TRUE(HostList::isPinned(path, "new.example.org", 995, first));
}

TEST(HostListPins, ForgettingAnAccountsPinsKeepsItsOtherAttributesAndOtherAccounts) {
    TempFolder folder;
    const std::string path = folder.file("hostlist.xml");
    std::string fingerprint = "AB";
    for (int i = 1; i < 32; ++i) fingerprint += ":AB";
    ASSERT_TRUE(HostList::pinCertificate(path, "mail.example.org", "jane", 995, fingerprint));
    ASSERT_TRUE(HostList::pinCertificate(path, "mail.example.org", "jane", 110, fingerprint));
    ASSERT_TRUE(HostList::pinCertificate(path, "mail.example.org", "joe", 995, fingerprint));
    ASSERT_TRUE(HostList::storePassword(path, "mail.example.org", "jane", "secret"));

    HostList hosts;
    ASSERT_TRUE(hosts.load(path));
    EXPECT_EQ(hosts.accountPins("mail.example.org", "jane").size(), 2u);
    EXPECT_EQ(hosts.accountPins("mail.example.org", "jane")[0].fingerprint, fingerprint);
    EXPECT_TRUE(hosts.accountPins("mail.example.org", "nobody").empty());
    EXPECT_TRUE(hosts.forgetPins("mail.example.org", "jane"));
    EXPECT_FALSE(hosts.forgetPins("mail.example.org", "jane"));
    EXPECT_FALSE(hosts.forgetPins("mail.example.org", "nobody"));
    ASSERT_TRUE(hosts.save());

    HostList reloaded;
    ASSERT_TRUE(reloaded.load(path));
    EXPECT_TRUE(reloaded.accountPins("mail.example.org", "jane").empty());
    EXPECT_EQ(reloaded.accountPins("mail.example.org", "joe").size(), 1u);
    HostEntry jane;
    ASSERT_TRUE(reloaded.find(jane, "mail.example.org", "jane"));
    EXPECT_EQ(jane.port, 995);
    EXPECT_TRUE(jane.obscuredPassword.has_value());
}
