#include "upstream/Pop3Client.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "upstream/Mailbox.h"
#include "net/TlsContext.h"
#include "upstream/UpstreamHandlers.h"
#include "tests/fakes/FakePop3Server.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace corvanthelix;
using namespace corvanthelix::testing;
using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t kShortTimeoutMs = 150;

const std::string kFirst = "From: Ann <ann@example.org>\r\nSubject: one\r\n\r\nfirst body\r\n.hidden dot line\r\n";
const std::string kSecond = "From: Bob <bob@example.org>\r\nSubject: two\r\n\r\nline 1\r\nline 2\r\nline 3\r\n";

// Records the time-out events a client reports and answers kFired from a script.
class EventLog {
public:
    explicit EventLog(int answerOnFire = 0) : answer_(answerOnFire) {}
    ProtocolClient::TimeoutHandler handler() {
        return [this](int event) {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back(event);
            return event == timeoutEvent::kFired ? answer_ : 1;
        };
    }
    std::vector<int> events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    int fired() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int>(std::count(events_.begin(), events_.end(), timeoutEvent::kFired));
    }

private:
    mutable std::mutex mutex_;
    std::vector<int> events_;
    int answer_;
};

class Pop3ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.addMessage(kFirst, "uid-first");
        server_.addMessage(kSecond, "uid-second");
        ASSERT_TRUE(server_.start());
    }

    // Connects and logs in with the server log in the temporary folder.
    void open(Pop3Client& client) {
        ASSERT_EQ(client.openServerLog(logPath().c_str(), LogFile::kDefaultMaxSize), 0);
        ASSERT_EQ(client.connect("127.0.0.1", server_.port(), nullptr), UpstreamResult::Ok);
        ASSERT_EQ(client.login(FakePop3Server::kDefaultUser, FakePop3Server::kDefaultPassword), UpstreamResult::Ok);
    }

    std::string logPath() const { return folder_.file("server.log"); }
    std::string serverLog(Pop3Client& client) {
        client.openServerLog(nullptr, 0); // closes the file, so everything is on disk
        return TempFolder::read(logPath());
    }

    TempFolder folder_;
    FakePop3Server server_;
};

TEST_F(Pop3ClientTest, ListsRetrievesAndDeletesOverOneConnection) {
    Pop3Client client;
    open(client);
    EXPECT_TRUE(client.isConnected());

    const std::vector<Pop3ListEntry>* list = client.list();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].number, 1u);
    EXPECT_EQ((*list)[0].size, kFirst.size());
    EXPECT_EQ((*list)[0].uid, "uid-first");
    EXPECT_EQ((*list)[1].uid, "uid-second");
    EXPECT_EQ(client.list(), list);
    EXPECT_EQ(server_.count("LIST"), 1) << "the list is read once per connection";

    std::unique_ptr<MailMessage> message = client.retr(1);
    ASSERT_NE(message, nullptr);
    // The message itself: the wire's dot-stuffing undone, the last line end kept.
    EXPECT_EQ(message->source(), kFirst);
    EXPECT_EQ(message->topLines(), -1);
    EXPECT_EQ(client.retr(3), nullptr);
    EXPECT_EQ(server_.count("RETR"), 1) << "no RETR for a number LIST did not give";

    EXPECT_EQ(client.dele(2), UpstreamResult::Ok);
    EXPECT_EQ(client.dele(7), UpstreamResult::Refused);
    EXPECT_EQ(client.lastResponse().value_or("").substr(0, 4), "-ERR");
    EXPECT_EQ(client.noop(), UpstreamResult::Ok);
    EXPECT_EQ(client.quit(), UpstreamResult::Ok);
    EXPECT_FALSE(client.isConnected());
    ASSERT_TRUE(server_.waitUntilIdle());
    ASSERT_EQ(server_.mailbox().size(), 1u);
    EXPECT_EQ(server_.mailbox()[0].uid, "uid-first");
}

TEST_F(Pop3ClientTest, ServerLogShowsTheConversationButNeitherPasswordNorMessageText) {
    Pop3Client client;
    open(client);
    ASSERT_NE(client.retr(2), nullptr);
    ASSERT_NE(client.top(1, 0), nullptr);
    client.quit();
    std::string log = serverLog(client);

    EXPECT_EQ(log.rfind("\r\nServer Log started at: ", 0), 0u);
    EXPECT_NE(log.find("         C: <Connecting to 127.0.0.1:" + std::to_string(server_.port()) + ">\r\n"),
              std::string::npos);
    EXPECT_NE(log.find(" C: USER alice\r\n"), std::string::npos);
    EXPECT_NE(log.find(" C: PASS *\r\n"), std::string::npos);
    EXPECT_EQ(log.find("secret"), std::string::npos);
    EXPECT_NE(log.find(" S: +OK logged in\r\n"), std::string::npos);
    EXPECT_NE(log.find(" S: 1 uid-first\r\n"), std::string::npos) << "UIDL lines are logged";
    EXPECT_NE(log.find("         C: (message completely received)\r\n"), std::string::npos);
    EXPECT_NE(log.find("         C: (message header received; sender: Ann <ann@example.org>)\r\n"),
              std::string::npos);
    EXPECT_EQ(log.find("line 2"), std::string::npos) << "message texts are not logged";
    EXPECT_EQ(log.find("Subject: one"), std::string::npos) << "TOP headers are not logged";
    EXPECT_NE(log.find(" C: QUIT\r\n"), std::string::npos);
    // Every protocol line carries the time stamp.
    std::size_t user = log.find(" C: USER alice");
    ASSERT_GE(user, 8u);
    std::string stamp = log.substr(user - 8, 8);
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(stamp[0])) && stamp[2] == ':' && stamp[5] == ':') << stamp;
}

TEST_F(Pop3ClientTest, TopGivesTheHeaderAndTheAskedBodyLines) {
    Pop3Client client;
    open(client);
    std::unique_ptr<MailMessage> header = client.top(2, 2);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->source(), "From: Bob <bob@example.org>\r\nSubject: two\r\n\r\nline 1\r\nline 2\r\n");
    EXPECT_EQ(header->topLines(), 3);
    EXPECT_STREQ(header->headerByName("Subject"), "two");
    EXPECT_EQ(server_.commands().back(), "TOP 2 2");
}

TEST_F(Pop3ClientTest, ServerWithoutUidlStillLists) {
    server_.setUidl(false);
    Pop3Client client;
    open(client);
    const std::vector<Pop3ListEntry>* list = client.list();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_FALSE((*list)[0].uid.has_value());
    EXPECT_FALSE((*list)[1].uid.has_value());
    EXPECT_NE(client.retr(2), nullptr);
}

TEST_F(Pop3ClientTest, ListAndUidlGoTogetherToAPipeliningServerAndTheAnswersStayInStep) {
    struct Case {
        bool pipelining, uidl, listRefused;
    };
    for (const Case c : {Case{true, true, false}, Case{true, false, false}, Case{true, true, true},
                         Case{false, true, false}, Case{false, true, true}}) {
        SCOPED_TRACE(::testing::Message() << c.pipelining << c.uidl << c.listRefused);
        server_.setPipelining(c.pipelining);
        server_.setUidl(c.uidl);
        server_.setListRefused(c.listRefused);
        const int uidlBefore = server_.count("UIDL");
        Pop3Client client;
        open(client);
        ASSERT_EQ(client.offersPipelining(), c.pipelining);
        const std::vector<Pop3ListEntry>* list = client.list();
        if (c.listRefused) {
            EXPECT_EQ(list, nullptr);
        } else {
            ASSERT_NE(list, nullptr);
            ASSERT_EQ(list->size(), 2u);
            EXPECT_EQ((*list)[1].uid, c.uidl ? std::optional<std::string>("uid-second") : std::nullopt);
        }
        // UIDL went with LIST exactly when the server pipelines; an answer nobody wanted was read
        // to its end, so the next command gets its own answer.
        EXPECT_EQ(server_.count("UIDL") - uidlBefore, c.pipelining || !c.listRefused ? 1 : 0);
        EXPECT_EQ(client.noop(), UpstreamResult::Ok);
        EXPECT_EQ(client.quit(), UpstreamResult::Ok);
        server_.clearSwitches();
    }
}

TEST_F(Pop3ClientTest, MalformedUidlLineIsSkippedAndTheAnswerReadToItsEnd) {
    // A UID with a line break makes the server send a line without a space inside its answer.
    server_.clearMailbox();
    server_.addMessage(kFirst, "a1\r\nbroken");
    server_.addMessage(kSecond, "b2");
    Pop3Client client;
    open(client);
    const std::vector<Pop3ListEntry>* list = client.list();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ((*list)[0].uid, "a1");
    EXPECT_EQ((*list)[1].uid, "b2");
    EXPECT_EQ(client.noop(), UpstreamResult::Ok);
    EXPECT_EQ(client.lastResponse(), "+OK\r\n") << "the connection stayed in step";
}

TEST_F(Pop3ClientTest, EmptyMailboxIsListedOnce) {
    server_.clearMailbox();
    Pop3Client client;
    open(client);
    EXPECT_EQ(client.list(), nullptr);
    EXPECT_TRUE(client.listEmpty());
    EXPECT_EQ(client.list(), nullptr);
    EXPECT_EQ(client.findNode(1), nullptr);
    EXPECT_EQ(server_.count("LIST"), 1);
}

TEST_F(Pop3ClientTest, DotLineFollowedAtOnceByMoreDataStaysText) {
    server_.clearMailbox();
    const std::string text = "Subject: dots\r\n\r\nabove\r\n.\r\nbelow\r\n.\r\nlast\r\n";
    server_.addMessage(text);
    server_.setUnstuffedDots(true);
    Pop3Client client;
    open(client);
    std::unique_ptr<MailMessage> message = client.retr(1);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->source(), text);
    // The real terminator was recognised: the next command gets its own answer.
    EXPECT_EQ(client.noop(), UpstreamResult::Ok);
}

// Messages of a pipelined download, as they were handed over.
struct Handed {
    std::vector<std::uint32_t> numbers;
    std::vector<std::string> texts; // "" for a message without text
    std::vector<UpstreamResult> results;
};

Handed retrieveAll(Pop3Client& client, const std::vector<std::uint32_t>& numbers, std::size_t window,
                   std::size_t stopAfter = SIZE_MAX) {
    Handed handed;
    client.retrPipelined(numbers, window, [&](Pop3Client::RetrievedText&& item) {
        handed.numbers.push_back(item.number);
        handed.texts.push_back(item.text.value_or(""));
        handed.results.push_back(item.result);
        return handed.numbers.size() < stopAfter;
    });
    return handed;
}

TEST_F(Pop3ClientTest, PipelinedDownloadGivesEveryMessageInOrderByteForByte) {
    server_.clearMailbox();
    // The 2nd has a line "." that the server forgot to stuff, followed at once by more text.
    const std::vector<std::string> texts = {
        "Subject: first\r\n\r\nfirst body\r\n", "Subject: dots\r\n\r\nabove\r\n.\r\nbelow\r\n", kSecond,
        "Subject: big\r\n\r\n" + std::string(30000, 'x') + "\r\n", "Subject: last\r\n\r\n+OK not an answer\r\n"};
    for (const std::string& text : texts) server_.addMessage(text);
    server_.setUnstuffedDots(true);
    struct Case { bool offered; std::size_t window; } cases[] = {{false, 1}, {true, 1}, {true, 3}, {true, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "offered " << c.offered << ", window " << c.window);
        server_.setPipelining(c.offered);
        Pop3Client client;
        open(client);
        EXPECT_EQ(client.offersPipelining(), c.offered);
        EXPECT_EQ(client.offersPipelining(), c.offered);
        // Number 9 is not on the server: refused without a command, and the others go on.
        Handed handed = retrieveAll(client, {1, 2, 9, 3, 4, 5}, c.window);
        EXPECT_EQ(handed.numbers, (std::vector<std::uint32_t>{1, 2, 9, 3, 4, 5}));
        ASSERT_EQ(handed.texts.size(), 6u);
        EXPECT_EQ(handed.texts[0], texts[0]);
        EXPECT_EQ(handed.texts[1], texts[1]);
        EXPECT_EQ(handed.texts[2], "");
        EXPECT_EQ(handed.results[2], UpstreamResult::Refused);
        EXPECT_EQ(handed.texts[3], texts[2]);
        EXPECT_EQ(handed.texts[4], texts[3]);
        EXPECT_EQ(handed.texts[5], texts[4]);
        // Every answer was read to its end: the next command gets its own.
        EXPECT_EQ(client.noop(), UpstreamResult::Ok);
        EXPECT_EQ(client.quit(), UpstreamResult::Ok);
        ASSERT_TRUE(server_.waitUntilIdle());
        EXPECT_EQ(server_.count("CAPA"), 1);
        EXPECT_EQ(server_.count("RETR"), 5);
        server_.clearRecord();
    }
}

TEST_F(Pop3ClientTest, PipelinedDownloadEndsAtALostConnectionOrWhenTheTakerStops) {
    for (int i = 0; i < 4; ++i) server_.addMessage(kSecond);
    server_.setPipelining(true);
    {
        server_.setDropAt("RETR", 3);
        Pop3Client client;
        open(client);
        Handed handed = retrieveAll(client, {1, 2, 3, 4, 5, 6}, 8);
        ASSERT_EQ(handed.numbers, (std::vector<std::uint32_t>{1, 2, 3})) << "nothing after the failure";
        EXPECT_EQ(handed.texts[1], kSecond);
        EXPECT_EQ(handed.texts[2], "");
        EXPECT_NE(handed.results[2], UpstreamResult::Ok);
        EXPECT_NE(handed.results[2], UpstreamResult::Refused);
        server_.clearSwitches();
    }
    {
        Pop3Client client;
        open(client);
        Handed handed = retrieveAll(client, {1, 2, 3, 4, 5, 6}, 8, 2);
        EXPECT_EQ(handed.numbers.size(), 2u);
        // Answers were still due: the connection is not left to mix them up with later ones.
        EXPECT_FALSE(client.isConnected());
    }
}

TEST_F(Pop3ClientTest, EmptyMessageTextIsAFailure) {
    server_.clearMailbox();
    server_.addMessage("");
    server_.addMessage(".\r\n");
    Pop3Client client;
    open(client);
    EXPECT_EQ(client.retr(1), nullptr);
    std::unique_ptr<MailMessage> dotOnly = client.retr(2);
    ASSERT_NE(dotOnly, nullptr) << "a stuffed \"..\" line is text";
    EXPECT_EQ(dotOnly->source(), ".\r\n");
    EXPECT_EQ(client.noop(), UpstreamResult::Ok);
}

TEST_F(Pop3ClientTest, RefusedTopAndWrongPasswordLeaveTheServerAnswer) {
    server_.setTopRefused(true);
    Pop3Client client;
    ASSERT_EQ(client.connect("127.0.0.1", server_.port(), nullptr), UpstreamResult::Ok);
    EXPECT_EQ(client.login("alice", "wrong"), UpstreamResult::Refused);
    EXPECT_EQ(client.lastResponse(), "-ERR [AUTH] Authentication failed.\r\n");
    EXPECT_EQ(client.login("nobody", "secret"), UpstreamResult::Refused);
    ASSERT_EQ(client.login("alice", "secret"), UpstreamResult::Ok);
    EXPECT_EQ(client.top(1, 0), nullptr);
    EXPECT_EQ(client.lastResponse().value_or("").rfind("-ERR", 0), 0u);
    EXPECT_NE(client.retr(1), nullptr) << "a refused TOP leaves the connection usable";
}

TEST_F(Pop3ClientTest, ErrGreetingIsRefusedAndNotConnected) {
    server_.setGreeting("-ERR too busy");
    Pop3Client client;
    EXPECT_EQ(client.connect("127.0.0.1", server_.port(), nullptr), UpstreamResult::Refused);
    EXPECT_FALSE(client.isConnected());
    EXPECT_EQ(client.lastResponse(), "-ERR too busy\r\n");
    EXPECT_EQ(client.list(), nullptr);
    EXPECT_EQ(server_.count("LIST"), 0);
}

TEST_F(Pop3ClientTest, FailedConnectsGiveTheirCodes) {
    Pop3Client client;
    EXPECT_EQ(client.connect("host.invalid", 110, nullptr), UpstreamResult::ConnectFailed);
    EXPECT_EQ(client.lastError(), UpstreamResult::ConnectFailed);
    int closedPort = server_.port();
    server_.stop();
    EXPECT_EQ(client.connect("127.0.0.1", closedPort, nullptr), UpstreamResult::ConnectFailed);

    FakePop3Server dropping;
    dropping.setDropAt("GREETING");
    ASSERT_TRUE(dropping.start());
    EXPECT_EQ(client.connect("127.0.0.1", dropping.port(), nullptr), UpstreamResult::NoAnswer);
    EXPECT_FALSE(client.isConnected());
}

TEST_F(Pop3ClientTest, LineBreakInAnArgumentIsNeverSent) {
    Pop3Client client;
    ASSERT_EQ(client.connect("127.0.0.1", server_.port(), nullptr), UpstreamResult::Ok);
    EXPECT_EQ(client.login("alice", "secret\r\nDELE 1"), UpstreamResult::SendFailed);
    EXPECT_EQ(client.login("alice\r\nDELE 1", "secret"), UpstreamResult::SendFailed);
    client.quit();
    ASSERT_TRUE(server_.waitUntilIdle());
    EXPECT_EQ(server_.count("DELE"), 0);
    EXPECT_EQ(server_.count("USER"), 1);
    EXPECT_EQ(server_.count("PASS"), 0);
}

TEST_F(Pop3ClientTest, DroppedConnectionBeforeDeleIsReportedAsFailure) {
    server_.setDropAt("DELE");
    Pop3Client client;
    open(client);
    ASSERT_NE(client.list(), nullptr);
    EXPECT_EQ(client.dele(1), UpstreamResult::NoAnswer);
    EXPECT_NE(client.dele(1), UpstreamResult::Ok) << "the connection is gone; no DELE can succeed";
    ASSERT_TRUE(server_.waitUntilIdle());
    EXPECT_EQ(server_.mailbox().size(), 2u);
}

TEST_F(Pop3ClientTest, ProgressIsReportedInStepsOfTwoPercent) {
    server_.clearMailbox();
    std::string text = "Subject: big\r\n\r\n";
    while (text.size() < 200000) text += std::string(70, 'p') + "\r\n";
    server_.addMessage(text);
    Pop3Client client;
    open(client);
    std::vector<std::uint32_t> reports;
    client.setProgressCallback([&](std::uint32_t bytes) { reports.push_back(bytes); });
    ASSERT_NE(client.retr(1), nullptr);
    // Reports come as the data does, each once at least a step (2 % of the size) has come since
    // the last one; what is left below a step at the end is not reported.
    const std::uint32_t step = static_cast<std::uint32_t>(text.size() / 50);
    ASSERT_GE(reports.size(), 10u);
    ASSERT_LE(reports.size(), 50u);
    std::uint64_t sum = 0;
    for (std::uint32_t bytes : reports) {
        EXPECT_GE(bytes, step);
        sum += bytes;
    }
    EXPECT_LE(sum, text.size() + 3);
    EXPECT_GT(sum + step, text.size());
}

TEST_F(Pop3ClientTest, BogusListSizeDoesNotDecideTheBuffer) {
    server_.setListSize(1, 4000000000u);
    server_.setListSize(2, 3);
    Pop3Client client;
    open(client);
    std::unique_ptr<MailMessage> first = client.retr(1);
    std::unique_ptr<MailMessage> second = client.retr(2);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->source(), kSecond);
}

TEST_F(Pop3ClientTest, MessageLineLongerThanTheAnswerLineLimitIsReceived) {
    // A message that could not be received would block every later check of the mailbox.
    server_.clearMailbox();
    std::string text = "Subject: long\r\n\r\n" + std::string(ProtocolClient::kMaxLineLength + 10, 'x') + "\r\n";
    server_.addMessage(text);
    Pop3Client client;
    open(client);
    std::optional<std::string> received = client.retrText(1);
    ASSERT_TRUE(received);
    EXPECT_TRUE(*received == text);
}

TEST_F(Pop3ClientTest, PlainTrickleIsReassembled) {
    server_.setTrickle(7, 0us);
    Pop3Client client;
    open(client);
    std::unique_ptr<MailMessage> message = client.retr(2);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->source(), kSecond);
}

TEST(Pop3ClientTlsTest, TheNextConnectionResumesTheSessionAndIsJudgedOnTheSameCertificate) {
    FakePop3Server server(true);
    server.addMessage(kSecond, "u2");
    ASSERT_TRUE(server.start());
    TlsContext context = TlsContext::create(TlsContext::Side::Client);
    ASSERT_TRUE(context);
    std::vector<std::pair<std::string, CertificateProblem>> seen;
    bool trust = true;
    // Connects, reads the mailbox (the server's session arrives with the first answers) and says
    // whether the handshake resumed a session.
    auto connectOnce = [&]() -> std::optional<bool> {
        Pop3Client client;
        client.setCertificateJudge([&](const CertificateCheck& check, const std::string&, int) {
            seen.emplace_back(check.fingerprint(), check.problem());
            return trust;
        });
        if (client.connect("127.0.0.1", server.port(), context.get()) != UpstreamResult::Ok) return std::nullopt;
        const bool resumed = SSL_session_reused(client.connection().tlsHandle()) == 1;
        EXPECT_EQ(client.login("alice", "secret"), UpstreamResult::Ok);
        EXPECT_NE(client.list(), nullptr);
        EXPECT_EQ(client.quit(), UpstreamResult::Ok);
        return resumed;
    };
    EXPECT_EQ(connectOnce(), false);
    EXPECT_EQ(connectOnce(), true);
    ASSERT_EQ(seen.size(), 2u);
    // The resumed session brings the certificate and its check along: the judge sees the same.
    EXPECT_FALSE(seen[0].first.empty());
    EXPECT_EQ(seen[1], seen[0]);

    // A certificate refused once is shown again in full next time, not resumed past the judge.
    trust = false;
    EXPECT_EQ(connectOnce(), std::nullopt);
    trust = true;
    EXPECT_EQ(connectOnce(), false);
    EXPECT_EQ(seen.size(), 4u);
}

TEST(Pop3ClientTlsTest, SpeaksTlsFromTheFirstByte) {
    TempFolder folder;
    FakePop3Server server(true);
    server.addMessage(kSecond, "u2");
    ASSERT_TRUE(server.start());
    TlsContext context = TlsContext::create(TlsContext::Side::Client);
    ASSERT_TRUE(context);

    Pop3Client client;
    ASSERT_EQ(client.openServerLog(folder.file("server.log").c_str(), LogFile::kDefaultMaxSize), 0);
    ASSERT_EQ(client.connect("127.0.0.1", server.port(), context.get()), UpstreamResult::Ok);
    ASSERT_EQ(client.login("alice", "secret"), UpstreamResult::Ok);
    std::unique_ptr<MailMessage> message = client.retr(1);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->source(), kSecond);
    EXPECT_EQ(client.quit(), UpstreamResult::Ok);
    client.openServerLog(nullptr, 0);
    EXPECT_NE(TempFolder::read(folder.file("server.log"))
                  .find("         C: <Negotiating TLS - Further commands are under TLS layer>\r\n"),
              std::string::npos);

    // A plain client against the TLS port gets no greeting it understands.
    Pop3Client plain;
    plain.setTimeout(kShortTimeoutMs);
    EXPECT_NE(plain.connect("127.0.0.1", server.port(), nullptr), UpstreamResult::Ok);
    EXPECT_FALSE(plain.isConnected());
}

// --- time-outs -------------------------------------------------------------------------------

TEST_F(Pop3ClientTest, SilentServerTimesOutAndTheClientStaysDeadForGood) {
    server_.setSilentAt("RETR");
    Pop3Client client;
    open(client);
    client.setTimeout(kShortTimeoutMs);
    EventLog events; // answers kFired with 0: abort
    client.setTimeoutHandler(events.handler());

    auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(client.retr(1), nullptr);
    auto waited = std::chrono::steady_clock::now() - began;
    EXPECT_GE(waited, std::chrono::milliseconds(kShortTimeoutMs - 10));
    EXPECT_LT(waited, 3s);
    EXPECT_EQ(client.lastError(), UpstreamResult::TimedOut);
    EXPECT_EQ(events.fired(), 1);

    EXPECT_EQ(client.noop(), UpstreamResult::TimedOut);
    EXPECT_EQ(client.dele(1), UpstreamResult::TimedOut);
    EXPECT_EQ(client.login("alice", "secret"), UpstreamResult::TimedOut);
    EXPECT_EQ(client.quit(), UpstreamResult::TimedOut);
    EXPECT_EQ(client.connect("127.0.0.1", server_.port(), nullptr), UpstreamResult::TimedOut);
    EXPECT_EQ(client.retr(2), nullptr);
    EXPECT_EQ(client.lastError(), UpstreamResult::TimedOut);
    EXPECT_EQ(server_.connections(), 1) << "a timed-out client opens no new connection";
}

TEST_F(Pop3ClientTest, EveryWaitIsArmedAndDisarmedAroundIt) {
    Pop3Client client;
    EventLog events;
    client.setTimeoutHandler(events.handler());
    ASSERT_EQ(client.connect("127.0.0.1", server_.port(), nullptr), UpstreamResult::Ok);
    // TCP connect, then the greeting: two waits, each armed then disarmed.
    EXPECT_EQ(events.events(), (std::vector<int>{1, 2, 1, 2}));
    ASSERT_EQ(client.noop(), UpstreamResult::Ok);
    EXPECT_EQ(events.events().size(), 8u) << "the command and its answer";
    EXPECT_EQ(events.fired(), 0);
}

TEST_F(Pop3ClientTest, WaitAnswerKeepsWaitingForASlowServer) {
    Pop3Client client;
    open(client);
    server_.setTrickle(3, 300ms); // "+OK\r\n" takes 300 ms to complete
    client.setTimeout(100);
    EventLog events(1); // "Wait..."
    client.setTimeoutHandler(events.handler());
    EXPECT_EQ(client.noop(), UpstreamResult::Ok);
    EXPECT_EQ(client.lastError(), UpstreamResult::Ok);
    EXPECT_EQ(events.fired(), 1) << "one question per wait, no new timer after Wait";
}

TEST_F(Pop3ClientTest, StallInsideAMessageTimesOut) {
    server_.setStallInBody(40);
    Pop3Client client;
    open(client);
    client.setTimeout(kShortTimeoutMs);
    EXPECT_EQ(client.retr(2), nullptr);
    EXPECT_EQ(client.lastError(), UpstreamResult::TimedOut);
}

TEST_F(Pop3ClientTest, SilenceBeforeTheGreetingOrHandshakeTimesOutTheConnect) {
    server_.setSilentAt("GREETING");
    Pop3Client client;
    client.setTimeout(kShortTimeoutMs);
    EXPECT_EQ(client.connect("127.0.0.1", server_.port(), nullptr), UpstreamResult::TimedOut);
    EXPECT_FALSE(client.isConnected());

    FakePop3Server tls(true);
    tls.setSilentAt("HANDSHAKE");
    ASSERT_TRUE(tls.start());
    TlsContext context = TlsContext::create(TlsContext::Side::Client);
    Pop3Client secure;
    secure.setTimeout(kShortTimeoutMs);
    EXPECT_EQ(secure.connect("127.0.0.1", tls.port(), context.get()), UpstreamResult::TimedOut);
}

// --- the session's time-out handler through the shell ----------------------------------------

// A shell whose time-out question stays open, like a modal dialog, until it is closed (then it
// answers "Wait...") or until `answerAfter` passes (then it answers `answer`).
class ModalShell : public ScriptedShell {
public:
    ModalShell(int answer, std::chrono::milliseconds answerAfter) : answer_(answer), answerAfter_(answerAfter) {}
    int timeoutQuestion() override {
        std::unique_lock<std::mutex> lock(mutex_);
        ++asked_;
        if (cv_.wait_for(lock, answerAfter_, [this] { return closed_; })) {
            closed_ = false;
            return 1;
        }
        return answer_;
    }
    void closeTimeoutQuestion() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++closes_;
        closed_ = true;
        cv_.notify_all();
    }
    int asked() {
        std::lock_guard<std::mutex> lock(mutex_);
        return asked_;
    }
    int closes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return closes_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool closed_ = false;
    int asked_ = 0;
    int closes_ = 0;
    int answer_;
    std::chrono::milliseconds answerAfter_;
};

class SessionTimeoutHandlerTest : public Pop3ClientTest {
protected:
    void SetUp() override {
        Pop3ClientTest::SetUp();
        ASSERT_TRUE(Application::instance().setProgramFolder(home_.path()));
    }
    void TearDown() override { Application::instance().setShell(nullptr); }
    TempFolder home_;
};

TEST_F(SessionTimeoutHandlerTest, AbortEndsTheWaitAskedOrNot) {
    struct Case {
        const char* name;
        int autoAbort;
        int questions;
    };
    for (const Case& c : {Case{"asked, Abort chosen", 0, 1}, Case{"AutoAbortOnTimeout", 1, 0}}) {
        SCOPED_TRACE(c.name);
        ScriptedShell shell;
        shell.answerTimeoutQuestions({0});
        Application::instance().setShell(&shell);
        settings::setAutoAbortOnTimeout(c.autoAbort);
        server_.setSilentAt("NOOP");
        Pop3Client client;
        open(client);
        client.setTimeout(kShortTimeoutMs);
        client.setTimeoutHandler(makeSessionTimeoutHandler());
        EXPECT_EQ(client.noop(), UpstreamResult::TimedOut);
        EXPECT_EQ(client.noop(), UpstreamResult::TimedOut);
        EXPECT_EQ(shell.count("timeoutQuestion"), c.questions);
        EXPECT_EQ(shell.count("closeTimeoutQuestion"), 0) << "no question was open when the wait ended";
        Application::instance().setShell(nullptr);
    }
}

TEST_F(SessionTimeoutHandlerTest, AnswerFromTheServerClosesAnOpenQuestionAsWait) {
    // The question would answer Abort after 5 s; the server's answer at 300 ms must close it
    // first, and the command then succeeds.
    ModalShell shell(0, 5000ms);
    Application::instance().setShell(&shell);
    Pop3Client client;
    open(client);
    server_.setTrickle(3, 300ms);
    client.setTimeout(80);
    client.setTimeoutHandler(makeSessionTimeoutHandler());
    auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(client.noop(), UpstreamResult::Ok);
    EXPECT_LT(std::chrono::steady_clock::now() - began, 3s);
    EXPECT_EQ(shell.asked(), 1);
    EXPECT_GE(shell.closes(), 1);
    EXPECT_EQ(client.lastError(), UpstreamResult::Ok);
}

// --- Mailbox -----------------------------------------------------------------------------------

class MailboxTest : public Pop3ClientTest {
protected:
    void openMailbox() {
        ASSERT_EQ(mailbox_.openServerLog(logPath().c_str(), LogFile::kDefaultMaxSize), 0);
        ASSERT_EQ(mailbox_.connect("127.0.0.1", server_.port(), nullptr), UpstreamResult::Ok);
        ASSERT_EQ(mailbox_.login("alice", "secret"), UpstreamResult::Ok);
    }
    Mailbox mailbox_;
};

TEST_F(MailboxTest, ListIsBuiltOnceInServerOrder) {
    EXPECT_EQ(mailbox_.noop(), UpstreamResult::NoAnswer) << "not connected";
    openMailbox();
    std::uint64_t total = 0;
    EXPECT_EQ(mailbox_.count(&total), 2);
    EXPECT_EQ(total, kFirst.size() + kSecond.size());
    ServerMessage* first = mailbox_.messages();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->next, nullptr);
    EXPECT_EQ(first->number, 1u);
    EXPECT_EQ(first->uid, "uid-first");
    EXPECT_EQ(first->next->previous, first);
    EXPECT_EQ(first->next->next, nullptr);
    EXPECT_EQ(mailbox_.find(2), first->next);
    EXPECT_EQ(mailbox_.find(3), nullptr);
    EXPECT_EQ(server_.count("LIST"), 1);
    EXPECT_EQ(server_.count("UIDL"), 1);
}

TEST_F(MailboxTest, CopiesAreHeldAndReplacedAsNeeded) {
    openMailbox();
    ServerMessage* header = mailbox_.top(2, 0);
    ASSERT_NE(header, nullptr);
    EXPECT_TRUE(header->holdsHeaderOnly());
    EXPECT_EQ(header->size, kSecond.size()) << "a header copy keeps the LIST size";
    EXPECT_EQ(mailbox_.top(2, 5), header);
    EXPECT_EQ(server_.count("TOP"), 1) << "a held copy is returned as it is";

    ServerMessage* whole = mailbox_.retr(2);
    ASSERT_EQ(whole, header);
    EXPECT_TRUE(whole->holdsWhole()) << "RETR replaces a header-only copy";
    EXPECT_EQ(whole->size, kSecond.size());
    EXPECT_EQ(mailbox_.retr(2), whole);
    EXPECT_EQ(server_.count("RETR"), 1);

    mailbox_.dropMessage(2);
    EXPECT_EQ(whole->message, nullptr);
    EXPECT_EQ(whole->size, 0u);
    EXPECT_EQ(mailbox_.dele(9), UpstreamResult::NoAnswer);
    EXPECT_EQ(mailbox_.dele(2), UpstreamResult::Ok);
    EXPECT_EQ(server_.commands().back(), "DELE 2");
}

TEST_F(MailboxTest, MessageFromTheCacheIsNotDownloaded) {
    openMailbox();
    MailMessage cached;
    cached.parse("Subject: cached\r\n\r\nfrom disk");
    ServerMessage* entry = mailbox_.setFromExternal(1, cached);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->message->source(), cached.source());
    EXPECT_EQ(entry->size, cached.size());
    EXPECT_EQ(mailbox_.retr(1), entry);
    EXPECT_EQ(mailbox_.setFromExternal(7, cached), nullptr);
    EXPECT_EQ(server_.count("RETR"), 0);
    mailbox_.quit();
    mailbox_.openServerLog(nullptr, 0);
    EXPECT_NE(TempFolder::read(logPath())
                  .find("         C: RETR (receiving message (ID=1) from external source (maybe cache))\r\n"),
              std::string::npos);
}

TEST_F(MailboxTest, ListThatCouldNotBeReadIsTriedAgain) {
    EXPECT_EQ(mailbox_.count(), 0) << "not connected yet";
    EXPECT_EQ(mailbox_.messages(), nullptr);
    openMailbox();
    EXPECT_EQ(mailbox_.count(), 2);
}

} // namespace
