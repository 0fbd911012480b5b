#include "proxy/ClientSession.h"
#include "proxy/CommandArguments.h"

#include "base/Application.h"
#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "upstream/MailMessage.h"
#include "filter/PluginSessionAccess.h"
#include "net/Connection.h"
#include "proxy/HostList.h"
#include "upstream/Mailbox.h"
#include "proxy/MessageCache.h"
#include "proxy/ProxyServer.h"
#include "net/TlsContext.h"
#include "base/StringTable.h"
#include "tests/fakes/FakePop3Server.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"
#include "tests/fakes/SocketTestSupport.h"

#include <gtest/gtest.h>

#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace corvanthelix;
using namespace corvanthelix::testing;
using namespace std::chrono_literals;

namespace {

const std::string kFirst = "From: Ann <ann@example.org>\r\nSubject: one\r\n\r\nfirst body\r\n.dot line\r\n";
const std::string kSecond = "From: Bob <bob@example.org>\r\nSubject: two\r\n\r\nline 1\r\nline 2\r\nline 3\r\n";
const std::string kThird = "From: Cy <cy@example.org>\r\nSubject: three\r\n\r\nthird\r\n";

// Stands in for the mail check and the commit: lists the server's messages in server order after
// the restored files, hides the chosen server numbers, optionally downloads everything.
struct CheckDouble {
    std::atomic<int> checks{0};
    std::atomic<int> commits{0};
    std::atomic<bool> sawItselfCurrent{false};
    bool fail = false;
    bool download = false;
    std::set<std::uint32_t> hidden;
    std::set<std::uint32_t> headerOnly; // fetched with TOP n 0 instead of the whole message
    std::vector<std::string> restoredFiles;
    std::function<void(ClientSession&)> during;

    int runCheck(ClientSession& session, int& count, std::uint64_t& size) {
        ++checks;
        sawItselfCurrent = ClientSession::currentSession() == &session;
        if (fail) {
            session.replyErr("Corvanthelix: One or more messages could not be received");
            return 1;
        }
        count = 0;
        size = 0;
        int next = 1;
        for (const std::string& path : restoredFiles) {
            MessageEntry entry;
            entry.restored = entry.handled = true;
            entry.filePath = path;
            entry.size = static_cast<std::uint32_t>(std::filesystem::file_size(path));
            entry.clientNumber = next++;
            session.entries().push_back(entry);
            ++count;
            size += entry.size;
        }
        for (ServerMessage* message = session.mailbox().messages(); message; message = message->next) {
            MessageEntry entry;
            entry.serverNumber = static_cast<std::int32_t>(message->number);
            entry.size = message->size;
            if (message->uid) session.uidList().markPresent(*message->uid);
            if (download) {
                const bool fetched = headerOnly.count(message->number)
                                         ? session.mailbox().top(message->number, 0) != nullptr
                                         : session.mailbox().retr(message->number) != nullptr;
                if (!fetched) {
                    session.replyErr("Corvanthelix: One or more messages could not be received");
                    return 1;
                }
            }
            if (hidden.count(message->number)) {
                entry.setHidden(true);
            } else {
                entry.clientNumber = next++;
                ++count;
                size += entry.size;
            }
            session.entries().push_back(entry);
        }
        if (during) during(session);
        session.setCheckDone(true);
        return 0;
    }

    int commit(ClientSession& session) {
        ++commits;
        session.mailbox().quit();
        session.replyOk("Everything done.");
        return 1;
    }
};

class ClientSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"cert.server.pem", "key.server.pem"})
            std::filesystem::copy_file(certificateFile(name), home_.file(name));
        Application& app = Application::instance();
        ASSERT_TRUE(app.setProgramFolder(home_.path()));
        app.setShell(&shell_);
        app.status().reset();
        settings::setPort(freePort());
        settings::setPortSsl(freePort());
        services_.runCheck = [this](ClientSession& s, int& c, std::uint64_t& z) { return check_.runCheck(s, c, z); };
        services_.commit = [this](ClientSession& s) {
            entriesAtQuit_.assign(s.entries().begin(), s.entries().end());
            return check_.commit(s);
        };
        services_.restoredInfo = [this](const std::string& name) -> std::optional<RecycleSenderAndSubject> {
            if (name != restoredInfoName_) return std::nullopt;
            return RecycleSenderAndSubject{"Ann Example", "ann@example.org", "Lost\r\nBcc: x"};
        };
        services_.learn = [this](const MailMessage& message, bool spam) {
            learned_.push_back((spam ? "spam:" : "ham:") + std::string(message.headerByName("Subject")));
            return true;
        };
        ClientSession::install(proxy_, services_);
        ASSERT_TRUE(proxy_.start());
        upstream_.addMessage(kFirst, "uid-first");
        upstream_.addMessage(kSecond, "uid-second");
        upstream_.addMessage(kThird, "uid-third");
        ASSERT_TRUE(upstream_.start());
        clientTls_ = TlsContext::create(TlsContext::Side::Client);
    }
    void TearDown() override {
        proxy_.stop();
        Application::instance().setShell(nullptr);
    }

    // A mail client greeted by the proxy.
    std::unique_ptr<MailClient> connect(bool tlsPort = false) {
        auto client = std::make_unique<MailClient>();
        EXPECT_TRUE(client->connect(tlsPort ? proxy_.tlsPort() : proxy_.plainPort(),
                                    tlsPort ? clientTls_.get() : nullptr));
        EXPECT_EQ(client->line(), "+OK Ready");
        return client;
    }
    std::string userLine(int port) const { return "USER 127.0.0.1&alice&" + std::to_string(port); }
    // A mail client logged in to the plain fake server through the proxy.
    std::unique_ptr<MailClient> login() {
        auto client = connect();
        EXPECT_EQ(client->command(userLine(upstream_.port())), "+OK Username accepted");
        EXPECT_EQ(client->command("PASS secret"), "+OK Password accepted");
        return client;
    }
    bool sessionsEnded() {
        return within(5000ms, [&] { return proxy_.runningSessions() == 0; });
    }
    std::string clientLog() {
        EXPECT_TRUE(sessionsEnded());
        return TempFolder::read(home_.file("client.log"));
    }

    TempFolder home_;
    ScriptedShell shell_;
    CheckDouble check_;
    SessionServices services_;
    std::string restoredInfoName_;
    std::vector<std::string> learned_;
    std::vector<MessageEntry> entriesAtQuit_;
    ProxyServer proxy_;
    FakePop3Server upstream_;
    TlsContext clientTls_;
};

} // namespace

// ---- pieces of the protocol ----

TEST(ClientSessionParts, UserNameFormat) {
    struct Case {
        const char* argument;
        bool ok;
        const char* server;
        const char* user;
        int port;
    };
    const Case cases[] = {
        {"mailhost&jane", true, "mailhost", "jane", -1},
        {"mailhost&jane&", true, "mailhost", "jane", -1},
        {"mailhost&jane&&doe&995", true, "mailhost", "jane&doe", 995},
        {"a&&b&c", true, "a&b", "c", -1},
        {"mailhost&jane&&", true, "mailhost", "jane&", -1},
        {"&jane", true, "", "jane", -1},
        {"mailhost&&jane", false, "", "", 0},
        {"mailhost&jane&110&", true, "mailhost", "jane", 110},
        {"mailhost&jane&12345678901234", true, "mailhost", "jane", 1234567890},
        {"mailhost&jane&995x", true, "mailhost", "jane", 995},
        {"mailhost", false, "", "", 0},
        {"mailhost&", false, "", "", 0},
        {"", false, "", "", 0},
        {"a&b&1&d", false, "", "", 0},
    };
    for (const Case& c : cases) {
        std::string server = "?", user = "?";
        int port = 0;
        ASSERT_EQ(ClientSession::parseUserName(c.argument, server, user, port), c.ok) << c.argument;
        if (!c.ok) continue;
        EXPECT_EQ(server, c.server) << c.argument;
        EXPECT_EQ(user, c.user) << c.argument;
        EXPECT_EQ(port, c.port) << c.argument;
    }
}

TEST(ClientSessionParts, ArgumentsAndNumbers) {
    EXPECT_EQ(CommandArguments::of("RETR 12\r\n"), "12");
    EXPECT_EQ(CommandArguments::of("PASS  two words \r\n"), " two words ");
    EXPECT_EQ(CommandArguments::of("STAT\r\n"), "");
    EXPECT_EQ(CommandArguments::number("12abc"), 12);
    EXPECT_EQ(CommandArguments::number(" -1"), -1);
    EXPECT_EQ(CommandArguments::number("x1"), 0);
    EXPECT_EQ(CommandArguments::number("99999999999"), INT_MAX);
    EXPECT_EQ(CommandArguments::messageNumber(""), std::nullopt);
    EXPECT_EQ(CommandArguments::messageNumber("-1"), std::nullopt);
    EXPECT_EQ(CommandArguments::messageNumber("3"), 3);
    struct TopCase {
        const char* line;
        int number;
        int lines;
    };
    for (const TopCase& c : {TopCase{"TOP 2 5\r\n", 2, 5}, TopCase{"TOP 2\r\n", 2, 0}, TopCase{"TOP\r\n", -1, 0},
                             TopCase{"TOP 4 -3\r\n", 4, 0}, TopCase{"TOP\t+7 x\r\n", 7, 0}, TopCase{"TOP x 1\r\n", -1, 0}}) {
        int number = 0, lines = 0;
        CommandArguments::topNumbers(c.line, number, lines);
        EXPECT_EQ(number, c.number) << c.line;
        EXPECT_EQ(lines, c.lines) << c.line;
    }
}

TEST(ClientSessionParts, TopTextKeepsHeaderBlankLineAndAskedBodyLines) {
    const std::string text = "A: 1\r\nB: 2\r\n\r\nl1\r\nl2\r\nl3";
    EXPECT_EQ(ClientSession::topText(text, 0), "A: 1\r\nB: 2\r\n\r\n.\r\n");
    EXPECT_EQ(ClientSession::topText(text, 2), "A: 1\r\nB: 2\r\n\r\nl1\r\nl2\r\n.\r\n");
    EXPECT_EQ(ClientSession::topText(text, 10), "A: 1\r\nB: 2\r\n\r\nl1\r\nl2\r\nl3\r\n.\r\n") << "last line ended";
    EXPECT_EQ(ClientSession::topText("A: 1\r\nB: 2", 5), "A: 1\r\nB: 2\r\n\r\n.\r\n") << "header without its empty line";
    EXPECT_EQ(ClientSession::topText("A: 1\r\n\r\n.x\r\n.\r\nl\n.y\r\n", 9), "A: 1\r\n\r\n..x\r\n..\r\nl\n.y\r\n.\r\n")
        << "dot lines stuffed; after a bare line feed no line begins";
}

// ---- the session over real connections ----

TEST_F(ClientSessionTest, UserWithOneFieldIsRefusedAndEndsTheSession) {
    auto client = connect();
    EXPECT_EQ(client->command("USER mailhost"), "-ERR Corvanthelix: Username isn't correct");
    EXPECT_TRUE(client->closed());
    EXPECT_EQ(shell_.count("messageBox|Corvanthelix|" + loadString(111) + "|" +
                           std::to_string(mb::kOk | mb::kIconInformation)),
              1);
}

TEST_F(ClientSessionTest, CommandsAreRecognisedByTheirFirstLetters) {
    auto client = login();
    // A bare line feed does not end the line: nothing is answered until "\r\n" arrives.
    client->send("stat\n");
    EXPECT_EQ(client->line(300ms), "(nothing)");
    client->send("\r\n");
    EXPECT_EQ(client->line(), "+OK 3 " + std::to_string(kFirst.size() + kSecond.size() + kThird.size()));
    EXPECT_EQ(check_.checks.load(), 1);
    EXPECT_EQ(client->command("STATUS"), client->command("Stat"));
    EXPECT_EQ(check_.checks.load(), 1) << "the check runs once";
    EXPECT_EQ(client->command("top 1 0"), "+OK Message header follows");
    EXPECT_EQ(client->listing().size(), 3u);
    EXPECT_EQ(client->command("XTND"), "-ERR Corvanthelix: Unknown command");
    EXPECT_EQ(client->command("rset"), "+OK I pretend that everything is now clean");
    EXPECT_EQ(client->command("NOOP"), "+OK just wait.....");
    EXPECT_EQ(client->command("QUITTING"), "+OK Everything done.");
    EXPECT_TRUE(client->closed());
    EXPECT_EQ(check_.commits.load(), 1);
}

TEST_F(ClientSessionTest, ListStatUidlRetrAndTopShowOnlyVisibleMessages) {
    check_.hidden = {2};
    auto client = login();
    EXPECT_EQ(client->command("RETR 1"), "-ERR Corvanthelix: message does not exist!") << "no list before a check";
    EXPECT_EQ(check_.checks.load(), 0) << "RETR does not run the check";

    EXPECT_EQ(client->command("LIST"), "+OK Message list follows");
    EXPECT_EQ(client->listing(), (std::vector<std::string>{"1 " + std::to_string(kFirst.size()),
                                                           "2 " + std::to_string(kThird.size())}));
    EXPECT_EQ(client->command("LIST 2"), "+OK 2 " + std::to_string(kThird.size()));
    EXPECT_EQ(client->command("LIST 3"), "-ERR Corvanthelix: message does not exist!");
    EXPECT_EQ(client->command("STAT"), "+OK 2 " + std::to_string(kFirst.size() + kThird.size()));
    EXPECT_EQ(client->command("UIDL"), "+OK UID list follows");
    EXPECT_EQ(client->listing(), (std::vector<std::string>{"1 uid-first", "2 uid-third"}));
    EXPECT_EQ(client->command("UIDL 2"), "+OK 2 uid-third");
    EXPECT_EQ(client->command("UIDL 3"), "-ERR Corvanthelix: UID not found");

    // The text passes unchanged, dot-stuffing included, and is not logged.
    EXPECT_EQ(client->command("RETR 1"), "+OK " + std::to_string(kFirst.size()));
    EXPECT_EQ(client->text(), "From: Ann <ann@example.org>\r\nSubject: one\r\n\r\nfirst body\r\n..dot line\r\n");
    EXPECT_EQ(client->command("TOP 2 0"), "+OK Message header follows");
    EXPECT_EQ(client->text(), "From: Cy <cy@example.org>\r\nSubject: three\r\n\r\n");
    // A held header with too few lines is fetched again.
    EXPECT_EQ(client->command("TOP 2 1"), "+OK Message header follows");
    EXPECT_EQ(client->text(), "From: Cy <cy@example.org>\r\nSubject: three\r\n\r\nthird\r\n");
    EXPECT_EQ(upstream_.count("TOP"), 2);
    // RETR replaces the held header by the whole message.
    EXPECT_EQ(client->command("RETR 2"), "+OK " + std::to_string(kThird.size()));
    EXPECT_EQ(client->text(), kThird);
    EXPECT_EQ(client->command("QUIT"), "+OK Everything done.");

    const std::string log = clientLog();
    EXPECT_NE(log.find("C: PASS ********\r\n"), std::string::npos);
    EXPECT_EQ(log.find("secret"), std::string::npos);
    EXPECT_EQ(log.find("first body"), std::string::npos) << "message texts are not logged";
    EXPECT_NE(log.find("S: 2 uid-third\r\n"), std::string::npos) << "listings are";
    EXPECT_NE(log.find("         S: (message completely transferred)\r\n"), std::string::npos);
    EXPECT_NE(log.find("         S: (message header completely transferred)\r\n"), std::string::npos);
    EXPECT_NE(log.find("Client Log started at: "), std::string::npos);
}

TEST_F(ClientSessionTest, BadArgumentsAreRefusedAndTheSessionKeepsItsDeletions) {
    struct Case {
        const char* command;
        const char* reply;
    };
    const Case cases[] = {
        {"RETR", "-ERR Corvanthelix: Syntax Error"},
        {"RETR -1", "-ERR Corvanthelix: Syntax Error"},
        {"RETR 9", "-ERR Corvanthelix: message does not exist!"},
        {"DELE", "-ERR Corvanthelix: Syntax Error"},
        {"DELE 0", "-ERR Corvanthelix: Message could not be deleted"},
        {"DELE 99", "-ERR Corvanthelix: Message could not be deleted"},
        {"DELE 9223372036854775808", "-ERR Corvanthelix: Message could not be deleted"},
        {"TOP", "-ERR Corvanthelix: Message could not be received"},
        {"TOP 0 0", "-ERR Corvanthelix: Message could not be received"},
        {"TOP 99 1", "-ERR Corvanthelix: Message could not be received"},
        {"LIST 99", "-ERR Corvanthelix: message does not exist!"},
    };
    auto client = login();
    EXPECT_EQ(client->command("DELE 1"), "+OK Message deleted");
    for (const Case& c : cases) EXPECT_EQ(client->command(c.command), c.reply) << c.command;
    EXPECT_EQ(client->command("QUIT"), "+OK Everything done.");
    ASSERT_TRUE(sessionsEnded());
    ASSERT_EQ(entriesAtQuit_.size(), 3u);
    EXPECT_TRUE(entriesAtQuit_[0].deletedByClient) << "the deletion reached the commit";
}

TEST_F(ClientSessionTest, TransactionCommandsBeforeTheLoginAreRefusedAndTheSessionGoesOn) {
    auto client = connect();
    for (const char* command : {"STAT", "LIST", "RETR 1", "DELE 1", "TOP 1 0", "UIDL", "NOOP", "RSET"})
        EXPECT_EQ(client->command(command), "-ERR Corvanthelix: Log in with USER and PASS first") << command;
    EXPECT_EQ(check_.checks.load(), 0);
    EXPECT_EQ(client->command(userLine(upstream_.port())), "+OK Username accepted");
    EXPECT_EQ(client->command("PASS secret"), "+OK Password accepted");
    EXPECT_EQ(client->command("STAT"), "+OK 3 " + std::to_string(kFirst.size() + kSecond.size() + kThird.size()));
}

TEST_F(ClientSessionTest, SilentClientsAreClosedWithoutACommit) {
    proxy_.stop();
    services_.idleBeforeLogin = 300ms;
    services_.idleAfterLogin = 600ms;
    ClientSession::install(proxy_, services_);
    ASSERT_TRUE(proxy_.start());
    struct Case {
        const char* name;
        bool loggedIn;
        std::chrono::milliseconds limit;
    };
    for (const Case& c : {Case{"before any command", false, 300ms}, Case{"after the login", true, 600ms}}) {
        auto client = c.loggedIn ? login() : connect();
        if (c.loggedIn) {
            EXPECT_EQ(client->command("DELE 1"), "+OK Message deleted");
        }
        const auto began = std::chrono::steady_clock::now();
        EXPECT_TRUE(client->closed()) << c.name;
        const auto waited = std::chrono::steady_clock::now() - began;
        EXPECT_GE(waited, c.limit - 100ms) << c.name;
        EXPECT_LT(waited, c.limit + 2s) << c.name;
        EXPECT_TRUE(sessionsEnded()) << c.name;
    }
    EXPECT_EQ(check_.commits.load(), 0);
    EXPECT_EQ(upstream_.mailbox().size(), 3u) << "nothing was deleted";
}

TEST_F(ClientSessionTest, ClientThatSaysNothingDoesNotHoldTheSessionLock) {
    auto idle = connect(); // greeted, and then silent
    auto client = login();
    EXPECT_EQ(client->command("STAT").substr(0, 5), "+OK 3");
    EXPECT_EQ(client->command("QUIT"), "+OK Everything done.");
    // The silent one is served once it speaks.
    EXPECT_EQ(idle->command(userLine(upstream_.port())), "+OK Username accepted");
}

TEST_F(ClientSessionTest, OnlyAnAcceptedLoginIsRecordedInTheHostList) {
    const int closedPort = freePort();
    for (const auto& [user, password] : {std::pair{userLine(closedPort), "secret"},
                                         std::pair{userLine(upstream_.port()), "wrong"},
                                         std::pair{std::string("USER &alice&") + std::to_string(upstream_.port()),
                                                   "secret"}}) {
        auto client = connect();
        client->command(user);
        client->command(std::string("PASS ") + password); // refused or closed at once
        EXPECT_TRUE(client->closed()) << user;
    }
    ASSERT_TRUE(sessionsEnded());
    auto accounts = [&] {
        HostList hosts;
        std::vector<HostEntry> entries;
        if (hosts.load(home_.file("hostlist.xml"))) hosts.list(entries);
        return entries.size();
    };
    EXPECT_EQ(accounts(), 0u);
    auto client = login();
    EXPECT_EQ(client->command("QUIT"), "+OK Everything done.");
    ASSERT_TRUE(sessionsEnded());
    EXPECT_EQ(accounts(), 1u);
}

TEST_F(ClientSessionTest, FailedCheckEndsTheSessionAndRunsAgainNextTime) {
    check_.fail = true;
    auto client = login();
    EXPECT_EQ(client->command("LIST"), "-ERR Corvanthelix: One or more messages could not be received");
    EXPECT_TRUE(client->closed());
    check_.fail = false;
    client = login();
    EXPECT_EQ(client->command("UIDL 1"), "+OK 1 uid-first");
    EXPECT_EQ(check_.checks.load(), 2);
}

TEST_F(ClientSessionTest, CancelDuringTheCheckIsReportedAfterTheCounts) {
    check_.during = [](ClientSession&) { Application::instance().status().setCancelRequested(true); };
    auto client = login();
    EXPECT_EQ(client->command("STAT"), "+OK 3 " + std::to_string(kFirst.size() + kSecond.size() + kThird.size()));
    EXPECT_EQ(client->line(), "-ERR Corvanthelix: Connection aborted by user");
    EXPECT_TRUE(client->closed());
}

TEST_F(ClientSessionTest, DeleteStaysAfterRsetAndCountsOnlyAtQuit) {
    auto client = login();
    EXPECT_EQ(client->command("DELE 2"), "+OK Message deleted");
    EXPECT_EQ(client->command("RSET"), "+OK I pretend that everything is now clean");
    EXPECT_EQ(upstream_.count("RSET"), 0) << "nothing is undone";
    EXPECT_EQ(client->command("QUIT"), "+OK Everything done.");
    ASSERT_TRUE(sessionsEnded());
    auto left = upstream_.mailbox();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].uid, "uid-first");
    EXPECT_EQ(left[1].uid, "uid-third");
}

TEST_F(ClientSessionTest, LostClientKeepsDownloadsInTheCacheAndCommitsNothing) {
    check_.download = true;
    check_.hidden = check_.headerOnly = {3}; // a blocked sender's header
    auto client = login();
    EXPECT_EQ(client->command("STAT").substr(0, 6), "+OK 2 ");
    EXPECT_EQ(client->command("DELE 1"), "+OK Message deleted");
    client->close();
    ASSERT_TRUE(sessionsEnded());

    EXPECT_EQ(upstream_.count("QUIT"), 0) << "the upstream connection is closed without QUIT";
    EXPECT_EQ(upstream_.mailbox().size(), 3u) << "so the server forgets the deletion";
    EXPECT_EQ(check_.commits.load(), 0);
    MessageCache cache;
    ASSERT_TRUE(cache.open(home_.path(), "alice", "127.0.0.1"));
    EXPECT_EQ(cache.size(), 2u);
    MailMessage cached;
    EXPECT_FALSE(cache.get("uid-third", cached)) << "a header alone would pass for the message next time";
    ASSERT_TRUE(cache.get("uid-second", cached));
    EXPECT_EQ(cached.source(), kSecond) << "the message as downloaded";
}

TEST_F(ClientSessionTest, LostClientBeforeTheCheckCachesNothing) {
    auto client = login();
    client->close();
    ASSERT_TRUE(sessionsEnded());
    EXPECT_FALSE(std::filesystem::exists(home_.file("cache")));
}

TEST_F(ClientSessionTest, OverlongLineEndsTheSession) {
    auto client = connect();
    client->send(std::string(ClientSession::kLongestClientLine + 10, 'A'));
    EXPECT_TRUE(client->closed());
}

TEST_F(ClientSessionTest, MessagesWithoutServerUidGetAStableUidFromTheirHeader) {
    upstream_.setUidl(false);
    std::string listed;
    for (int round = 0; round < 2; ++round) {
        auto client = login();
        EXPECT_EQ(client->command("UIDL"), "+OK UID list follows");
        std::vector<std::string> lines = client->listing();
        ASSERT_EQ(lines.size(), 3u);
        for (const std::string& uidLine : lines) EXPECT_EQ(uidLine.find(" Corvanthelix-"), 1u) << uidLine;
        EXPECT_NE(lines[0], lines[1]);
        if (round == 0) listed = lines[1];
        EXPECT_EQ(lines[1], listed) << "the same at every check";
        EXPECT_EQ(client->command("UIDL 2"), "+OK " + lines[1]);
        EXPECT_EQ(client->command("QUIT"), "+OK Everything done.");
        ASSERT_TRUE(sessionsEnded());
    }
    MailMessage second;
    second.parse(kSecond);
    EXPECT_EQ(listed, "2 " + ClientSession::synthesizedUid(second));
}

TEST_F(ClientSessionTest, RestoredMessagesComeFirstAndAreMarkedForDeletionWhenFetched) {
    // A restored file holds the message itself; its dot lines are stuffed once on the wire.
    const std::string restoredText =
        "From: Dee <dee@example.org>\r\nSubject: restored\r\n\r\nback again\r\n.leading dot\r\n.\r\n";
    check_.restoredFiles = {home_.write("recycle/2460001_101010_7.recycle", restoredText),
                            home_.write("recycle/2460001_101011_8.recycle", "")};
    restoredInfoName_ = "2460001_101011_8.recycle";

    auto client = login();
    EXPECT_EQ(client->command("UIDL"), "+OK UID list follows");
    EXPECT_EQ(client->listing(), (std::vector<std::string>{"1 Corvanthelix2460001_101010_7.recycle",
                                                           "2 Corvanthelix2460001_101011_8.recycle",
                                                           "3 uid-first", "4 uid-second", "5 uid-third"}));
    EXPECT_EQ(client->command("RETR 1"), "+OK " + std::to_string(restoredText.size()));
    EXPECT_EQ(client->text(),
              "From: Dee <dee@example.org>\r\nSubject: restored\r\n\r\nback again\r\n..leading dot\r\n..\r\n")
        << "no line end added";
    // The empty one: a note built from its recycle bin entry, in which nothing can start a line.
    const std::string note =
        "From: Ann Example <ann@example.org>\r\nSubject: Lost  Bcc: x\r\n\r\n"
        "Warning: Corvanthelix could not restore this message, because it was empty.\r\n\r\n"
        "More information about this message:\r\nSender: Ann Example <ann@example.org>\r\nSubject: Lost  Bcc: x\r\n\r\n";
    EXPECT_EQ(client->command("RETR 2"), "+OK " + std::to_string(note.size()));
    EXPECT_EQ(client->text(), note);
    EXPECT_EQ(client->command("TOP 1 0"), "+OK Message header follows");
    EXPECT_EQ(client->text(), "From: Dee <dee@example.org>\r\nSubject: restored\r\n\r\n");
    EXPECT_EQ(client->command("QUIT"), "+OK Everything done.");
    ASSERT_TRUE(sessionsEnded());
    ASSERT_EQ(entriesAtQuit_.size(), 5u);
    EXPECT_TRUE(entriesAtQuit_[0].toDelete && entriesAtQuit_[1].toDelete);
    EXPECT_FALSE(entriesAtQuit_[2].toDelete);
    EXPECT_NE(clientLog().find("         C: (message completely restored from recycle bin)\r\n"), std::string::npos);
}

TEST_F(ClientSessionTest, EmptyRestoredMessageWithoutBinEntryIsAnError) {
    check_.restoredFiles = {home_.write("recycle/gone.recycle", "")};
    auto client = login();
    EXPECT_EQ(client->command("STAT"), "+OK 4 " + std::to_string(kFirst.size() + kSecond.size() + kThird.size()));
    EXPECT_EQ(client->command("RETR 1"), "-ERR Corvanthelix: One or more messages could not be received");
    EXPECT_TRUE(client->closed());
}

TEST_F(ClientSessionTest, PluginOperationsReachTheCurrentSessionByServerNumber) {
    check_.download = true;
    ClientSession* during = nullptr;
    check_.during = [&](ClientSession& session) {
        during = ClientSession::currentSession();
        // The plug-in host services reach the session on its own thread only.
        PluginSessionAccess* plugins = currentPluginSession();
        ASSERT_EQ(plugins, &session);
        PluginSessionAccess* elsewhere = plugins;
        std::thread([&] { elsewhere = currentPluginSession(); }).join();
        EXPECT_EQ(elsewhere, nullptr);
        EXPECT_TRUE(plugins->setPluginReason(2, std::string(300, 'r')));
        EXPECT_TRUE(plugins->markHandledByPlugin(3));
        std::string source;
        EXPECT_TRUE(plugins->messageSource(2, source));
        EXPECT_EQ(source, kSecond);
        EXPECT_TRUE(session.learn(1, true));
        EXPECT_FALSE(session.setHandled(7, true)) << "no such server message";
        EXPECT_FALSE(plugins->messageSource(7, source));
    };
    auto client = login();
    EXPECT_EQ(client->command("LIST 1").substr(0, 6), "+OK 1 ");
    EXPECT_EQ(client->command("QUIT"), "+OK Everything done.");
    ASSERT_TRUE(sessionsEnded());
    EXPECT_TRUE(check_.sawItselfCurrent.load());
    EXPECT_NE(during, nullptr);
    EXPECT_EQ(ClientSession::currentSession(), nullptr) << "cleared when the session leaves the lock";
    EXPECT_EQ(currentPluginSession(), nullptr);
    ASSERT_EQ(entriesAtQuit_.size(), 3u);
    EXPECT_EQ(std::string(entriesAtQuit_[1].verdict.reason), std::string(255, 'r'));
    EXPECT_TRUE(entriesAtQuit_[2].handled);
    EXPECT_EQ(learned_, std::vector<std::string>{"spam:one"});
}

TEST_F(ClientSessionTest, SessionWaitingForTheLockFindsTheLogsFree) {
    auto first = login();
    auto second = connect(); // greeted at once, served after the first
    second->send(userLine(upstream_.port()) + "\r\n");
    EXPECT_EQ(second->line(300ms), "(nothing)");
    EXPECT_EQ(first->command("QUIT"), "+OK Everything done.");
    EXPECT_EQ(second->line(), "+OK Username accepted");
    EXPECT_EQ(second->command("PASS secret"), "+OK Password accepted");
    EXPECT_EQ(second->command("QUIT"), "+OK Everything done.");
    const std::string log = clientLog();
    size_t starts = 0;
    for (size_t at = log.find("Client Log started"); at != std::string::npos; at = log.find("Client Log started", at + 1))
        ++starts;
    EXPECT_EQ(starts, 2u);
    EXPECT_NE(log.find("C: USER 127.0.0.1&alice&"), log.rfind("C: USER 127.0.0.1&alice&"));
}

// ---- PASS ----

TEST_F(ClientSessionTest, PassFailuresEndTheSession) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string user;
        std::string password;
        std::string reply; // "(closed)": no reply at all
    };
    const int closedPort = freePort();
    const Case cases[] = {
        {"server cannot be reached", [] {}, userLine(closedPort), "secret", "(closed)"},
        {"wrong password relayed", [] {}, userLine(upstream_.port()), "wrong",
         "-ERR [AUTH] Authentication failed."},
        {"refusing greeting relayed", [this] { upstream_.setGreeting("-ERR busy, try later"); },
         userLine(upstream_.port()), "secret", "-ERR busy, try later"},
        {"server silent until the time-out", [this] {
             settings::setTimeout(1);
             upstream_.setSilentAt("GREETING");
         },
         userLine(upstream_.port()), "secret", "-ERR Corvanthelix: Server is unreachable"},
        {"dropped before answering", [this] { upstream_.setDropAt("PASS"); }, userLine(upstream_.port()), "secret",
         "-ERR Corvanthelix: Wrong username/password"},
        {"server silent after PASS until the time-out", [this] {
             settings::setTimeout(1);
             upstream_.setSilentAt("PASS");
         },
         userLine(upstream_.port()), "secret", "-ERR Corvanthelix: Server is unreachable"},
    };
    for (const Case& c : cases) {
        upstream_.clearSwitches();
        c.arrange();
        auto client = connect();
        EXPECT_EQ(client->command(c.user), "+OK Username accepted") << c.name;
        if (c.reply == "(closed)") {
            client->send("PASS " + c.password + "\r\n");
            EXPECT_TRUE(client->closed()) << c.name;
        } else {
            EXPECT_EQ(client->command("PASS " + c.password), c.reply) << c.name;
            EXPECT_TRUE(client->closed()) << c.name;
        }
        EXPECT_TRUE(sessionsEnded()) << c.name;
    }
    EXPECT_EQ(shell_.count("timeoutQuestion"), 2) << "the person was asked at each silence (and aborted)";
}

TEST_F(ClientSessionTest, TlsPortWithExplicitPortAndTrySslUsesTlsUpstream) {
    FakePop3Server secureUpstream(true);
    secureUpstream.addMessage(kFirst, "uid-first");
    ASSERT_TRUE(secureUpstream.start());
    settings::setTrySsl(1);
    // The fake's certificate is self-signed: with verification off it is taken without a word.
    settings::setVerifyServerCertificates(0);
    auto client = connect(true);
    EXPECT_EQ(client->command(userLine(secureUpstream.port())), "+OK Username accepted");
    EXPECT_EQ(client->command("PASS secret"), "+OK Password accepted");
    EXPECT_TRUE(Application::instance().status().lock());
    EXPECT_EQ(client->command("UIDL 1"), "+OK 1 uid-first");
    EXPECT_EQ(client->command("QUIT"), "+OK Everything done.");
    ASSERT_TRUE(sessionsEnded());
    HostList hosts;
    ASSERT_TRUE(hosts.load(home_.file("hostlist.xml")));
    HostEntry entry;
    ASSERT_TRUE(hosts.find(entry, "127.0.0.1", "alice"));
    EXPECT_TRUE(entry.secure);
    EXPECT_TRUE(entry.tested);
    EXPECT_EQ(entry.port, secureUpstream.port());
    EXPECT_EQ(shell_.count("messageBox"), 0);
}

TEST_F(ClientSessionTest, UnverifiedCertificateIsAskedAboutPinnedOnYesAndAskedAgainWhenItChanges) {
    FakePop3Server secureUpstream(true);
    ASSERT_TRUE(secureUpstream.start());
    const int port = secureUpstream.port();
    const std::string hostList = home_.file("hostlist.xml");
    auto logIn = [&] {
        auto client = connect(true);
        EXPECT_EQ(client->command(userLine(port)), "+OK Username accepted");
        std::string reply = client->command("PASS secret");
        if (reply.rfind("+OK", 0) == 0) {
            EXPECT_EQ(client->command("QUIT"), "+OK Everything done.");
        }
        EXPECT_TRUE(sessionsEnded());
        return reply;
    };

    // No (the scripted default): the password never leaves, nothing is pinned.
    EXPECT_EQ(logIn(), "-ERR Corvanthelix: the certificate of 127.0.0.1 could not be verified (self-signed)");
    EXPECT_EQ(secureUpstream.count("USER") + secureUpstream.count("PASS"), 0);
    ASSERT_EQ(shell_.certificateQuestions().size(), 1u);
    const CertificateQuestion question = shell_.certificateQuestions()[0];
    EXPECT_EQ(question.server, "127.0.0.1");
    EXPECT_EQ(question.port, port);
    EXPECT_EQ(question.reason, "self-signed");
    EXPECT_EQ(question.fingerprint.size(), 32u * 3 - 1) << "SHA-256 as 32 hex pairs";
    EXPECT_FALSE(question.subject.empty());
    EXPECT_FALSE(question.validUntil.empty());
    EXPECT_NE(question.text.find(question.fingerprint), std::string::npos);
    EXPECT_NE(question.text.find("Trust this certificate for this server from now on?"), std::string::npos);
    EXPECT_FALSE(HostList::isPinned(hostList, "127.0.0.1", port, question.fingerprint));

    // Yes: the login goes on and the certificate is pinned for this server and port.
    shell_.answerCertificateQuestions({true});
    EXPECT_EQ(logIn(), "+OK Password accepted");
    EXPECT_TRUE(HostList::isPinned(hostList, "127.0.0.1", port, question.fingerprint));
    EXPECT_FALSE(HostList::isPinned(hostList, "127.0.0.1", port + 1, question.fingerprint));

    // Pinned: no question.
    EXPECT_EQ(logIn(), "+OK Password accepted");
    EXPECT_EQ(shell_.certificateQuestions().size(), 2u);

    // Another certificate pinned for the port (the server's has changed): asked again.
    std::string other = question.fingerprint;
    other[0] = other[0] == 'A' ? 'B' : 'A';
    ASSERT_TRUE(HostList::pinCertificate(hostList, "127.0.0.1", "alice", port, other));
    EXPECT_EQ(logIn(), "-ERR Corvanthelix: the certificate of 127.0.0.1 could not be verified (self-signed)");
    EXPECT_EQ(shell_.certificateQuestions().size(), 3u);
}

TEST_F(ClientSessionTest, AFailedStlsUpgradeIsUsedInClearOnlyWithThePersonsYes) {
    const std::string question = "messageBox|Corvanthelix|" + loadString(243) + "|" +
                                 std::to_string(mb::kYesNo | mb::kIconExclamation);
    auto logIn = [&] {
        auto client = connect();
        EXPECT_EQ(client->command(userLine(upstream_.port())), "+OK Username accepted");
        std::string reply = client->command("PASS secret");
        if (reply.rfind("+OK", 0) == 0) {
            EXPECT_EQ(client->command("QUIT"), "+OK Everything done.");
        }
        EXPECT_TRUE(sessionsEnded());
        return reply;
    };
    // A server without STLS: plain, no question.
    EXPECT_EQ(logIn(), "+OK Password accepted");
    EXPECT_EQ(upstream_.count("CAPA"), 1);
    EXPECT_EQ(upstream_.count("STLS"), 0);

    upstream_.setStlsRefused(true);
    shell_.answerMessageBoxes({answer::kNo});
    EXPECT_EQ(logIn(), "-ERR Corvanthelix: Connection aborted by user");
    EXPECT_EQ(shell_.count(question), 1);
    EXPECT_EQ(upstream_.count("STLS"), 1);
    EXPECT_EQ(upstream_.count("PASS"), 1) << "only the first, plain login sent a password";

    shell_.answerMessageBoxes({answer::kYes});
    EXPECT_EQ(logIn(), "+OK Password accepted");
    EXPECT_EQ(shell_.count(question), 2);
    EXPECT_EQ(upstream_.count("PASS"), 2);

    // With UseSTLS=0 the proxy neither asks the server nor the person.
    settings::setUseStls(0);
    EXPECT_EQ(logIn(), "+OK Password accepted");
    EXPECT_EQ(upstream_.count("CAPA"), 3);
    EXPECT_EQ(shell_.count(question), 2);
}

TEST_F(ClientSessionTest, TheLocalTlsPortTakesTls12AndNewerOnly) {
    struct ContextFree {
        void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
    };
    for (int newest : {TLS1_1_VERSION, TLS1_2_VERSION, TLS1_3_VERSION}) {
        // A client willing to speak anything from TLS 1.0 up to `newest`.
        std::unique_ptr<SSL_CTX, ContextFree> context(SSL_CTX_new(TLS_client_method()));
        SSL_CTX_set_security_level(context.get(), 0);
        SSL_CTX_set_min_proto_version(context.get(), TLS1_VERSION);
        SSL_CTX_set_max_proto_version(context.get(), newest);
        MailClient client;
        EXPECT_EQ(client.connect(proxy_.tlsPort(), context.get()), newest >= TLS1_2_VERSION) << newest;
    }
}

TEST_F(ClientSessionTest, CapaListsWhatTheSessionSupports) {
    auto client = connect();
    EXPECT_EQ(client->command("CAPA"), "+OK Capability list follows");
    std::vector<std::string> lines;
    for (std::string line = client->line(); line != "." && !line.empty(); line = client->line()) lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"USER", "TOP", "UIDL", "PIPELINING", "RESP-CODES",
                                               "IMPLEMENTATION Corvanthelix"}));
    EXPECT_EQ(client->command(userLine(upstream_.port())), "+OK Username accepted");
}

TEST_F(ClientSessionTest, BothPortsListenOnIpv6LoopbackToo) {
    Connection probe;
    if (!probe.listenIpv6(0)) GTEST_SKIP() << "no IPv6 loopback on this machine";
    probe.close();
    for (int port : {proxy_.plainPort(), proxy_.tlsPort()}) {
        Connection client;
        ASSERT_TRUE(client.connect("::1", port)) << port;
        if (port == proxy_.tlsPort()) {
            ASSERT_TRUE(client.startTls(clientTls_.get()));
        }
        EXPECT_EQ(lineWithin(client), "+OK Ready\r\n") << port;
        client.writeText("QUIT\r\n");
    }
}

TEST_F(ClientSessionTest, TlsPortWithoutTrySslStillConnectsSecurely) {
    // Explicit port on the TLS port: the account uses TLS without a try, so a plain server fails
    // with no text of its own rather than getting the password in the clear.
    auto client = connect(true);
    EXPECT_EQ(client->command(userLine(upstream_.port())), "+OK Username accepted");
    EXPECT_EQ(client->command("PASS secret"), "-ERR Corvanthelix: Server is unreachable");
    EXPECT_TRUE(client->closed());
    ASSERT_TRUE(sessionsEnded());
    EXPECT_EQ(upstream_.count("PASS"), 0);
    EXPECT_FALSE(Application::instance().status().lock());
}

TEST_F(ClientSessionTest, FailedTlsTryAsksBeforeGoingOnUnsecured) {
    settings::setTrySsl(1);
    const std::string question = "messageBox|Corvanthelix|" + loadString(243) + "|" +
                                 std::to_string(mb::kYesNo | mb::kIconExclamation);
    // "No": aborted, and the account is not remembered.
    shell_.answerMessageBoxes({answer::kNo});
    auto client = connect(true);
    EXPECT_EQ(client->command(userLine(upstream_.port())), "+OK Username accepted");
    EXPECT_EQ(client->command("PASS secret"), "-ERR Corvanthelix: Connection aborted by user");
    EXPECT_TRUE(client->closed());
    ASSERT_TRUE(sessionsEnded());
    EXPECT_EQ(shell_.count(question), 1);
    EXPECT_FALSE(std::filesystem::exists(home_.file("hostlist.xml")));

    // "Yes": plain connection to the same port, and the account is remembered as tried.
    shell_.answerMessageBoxes({answer::kYes});
    client = connect(true);
    EXPECT_EQ(client->command(userLine(upstream_.port())), "+OK Username accepted");
    EXPECT_EQ(client->command("PASS secret"), "+OK Password accepted");
    EXPECT_FALSE(Application::instance().status().lock());
    EXPECT_EQ(client->command("QUIT"), "+OK Everything done.");
    ASSERT_TRUE(sessionsEnded());
    EXPECT_EQ(shell_.count(question), 2);
    HostList hosts;
    ASSERT_TRUE(hosts.load(home_.file("hostlist.xml")));
    HostEntry entry;
    ASSERT_TRUE(hosts.find(entry, "127.0.0.1", "alice"));
    EXPECT_FALSE(entry.secure);
    EXPECT_TRUE(entry.tested);

    // Next time the account is known: plain, no further try and no question.
    client = connect(true);
    EXPECT_EQ(client->command(userLine(upstream_.port())), "+OK Username accepted");
    EXPECT_EQ(client->command("PASS secret"), "+OK Password accepted");
    EXPECT_EQ(shell_.count(question), 2);
}

TEST_F(ClientSessionTest, StoppingTheServerEndsASessionWaitingForTheMailServer) {
    upstream_.setSilentAt("PASS");
    auto client = connect();
    EXPECT_EQ(client->command(userLine(upstream_.port())), "+OK Username accepted");
    client->send("PASS secret\r\n");
    ASSERT_TRUE(within(5000ms, [&] { return upstream_.count("PASS") == 1; }));
    auto started = std::chrono::steady_clock::now();
    proxy_.stop(); // the session waits on the mail server for up to a minute
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_EQ(proxy_.runningSessions(), 0);
    EXPECT_EQ(shell_.count("timeoutQuestion"), 0);
}

TEST_F(ClientSessionTest, EmptyRestoredMessageIsDescribedFromTheRecycleBin) {
    RecycleBin::destroyInstance(); // the store of this test's program folder, set up as start-up does
    ASSERT_TRUE(RecycleBin::instance().rebuildIndex(false));
    MailMessage spam;
    spam.parse("From: \"Eve Sender\" <eve@example.org>\r\nSubject: cheap pills\r\n\r\nbuy\r\n");
    std::string path;
    ASSERT_TRUE(RecycleBin::instance().addMessage(spam, "uid-spam", FilterVerdict{}, "alice @ 127.0.0.1", &path, false));
    ASSERT_TRUE(replaceFileAtomically(path, "")) << "the message file came back empty";
    check_.restoredFiles = {path};
    services_.restoredInfo = nullptr;
    ClientSession::install(proxy_, services_);
    auto client = login();
    EXPECT_EQ(client->command("LIST 1"), "+OK 1 0");
    std::string reply = client->command("RETR 1");
    EXPECT_EQ(reply.substr(0, 4), "+OK ");
    const std::string text = client->text();
    EXPECT_EQ(text.substr(0, 50), "From: Eve Sender <eve@example.org>\r\nSubject: cheap");
    EXPECT_EQ(reply, "+OK " + std::to_string(text.size()));
    RecycleBin::destroyInstance();
}
