#include "proxy/MailCheck.h"

#include "tests/unit/proxy/CheckSessionFixture.h"

#include <atomic>
#include <thread>

using namespace corvanthelix;
using namespace corvanthelix::testing;
using namespace std::chrono_literals;

namespace {

class MailCheckTest : public CheckSessionTest {};

const std::string kSpamWordsBody = "act now, 100% free, big bucks\r\n";

TEST(MailCheckParts, SenderVerdictBentByTheSettings) {
    struct Case {
        int list;
        bool filtering;
        int aggressiveness;
        int expected;
    };
    const Case cases[] = {
        {MailCheck::kBlockedSender, true, 50, MailCheck::kBlockedSender},
        {MailCheck::kFriend, true, 50, MailCheck::kFriend},
        {-1, true, 50, -1},
        {-1, true, 0, MailCheck::kFriend},
        {MailCheck::kBlockedSender, true, 0, MailCheck::kBlockedSender},
        {-1, true, 100, MailCheck::kBlockedSender},
        {MailCheck::kFriend, true, 100, MailCheck::kFriend},
        {MailCheck::kBlockedSender, false, 100, MailCheck::kFriend},
        {-1, false, 50, MailCheck::kFriend},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MailCheck::bentSenderVerdict(c.list, c.filtering, c.aggressiveness), c.expected)
            << c.list << " " << c.filtering << " " << c.aggressiveness;
    EXPECT_EQ(MailCheck::accountKey("jane", "mail.example.org"), "jane @ mail.example.org");
}

// Known messages keep their places and cost no download; new spam is hidden; the list runs
// from the last server message to the first.
TEST_F(MailCheckTest, NumbersFromTheLastServerMessageAndSkipsKnownOnes) {
    upstream_.addMessage(message("Ann <ann@example.org>", "a"), "uid-a");
    upstream_.addMessage(message("Bob <bob@example.org>", "b"), "uid-b");
    EXPECT_EQ(visibleSubjects(), (std::vector<std::string>{"b", "a"}));

    upstream_.addMessage(message("Shop <deals@shop.example>", "c", kSpamWordsBody), "uid-c");
    upstream_.addMessage(message("Cy <cy@example.org>", "d"), "uid-d");
    upstream_.addMessage(message("X <x@bad.example>", "e"), "uid-e");
    upstream_.clearRecord();
    EXPECT_EQ(visibleSubjects(), (std::vector<std::string>{"d", "b", "a"}));
    // Only the three new messages were downloaded.
    EXPECT_EQ(upstream_.count("RETR"), 3);
    EXPECT_EQ(serverSubjects(), (std::vector<std::string>{"a", "b", "d"}));
}

TEST_F(MailCheckTest, AggressivenessAndTheMainSwitch) {
    struct Case {
        const char* name;
        int aggressiveness;
        int enable;
        std::vector<std::string> visible;
    };
    const Case cases[] = {
        {"normal", 50, 1, {"neutral", "friend"}},
        {"lowest: only blocked senders", 0, 1, {"neutral", "words", "friend"}},
        {"highest: only friends", 100, 1, {"friend"}},
        {"filter off", 100, 0, {"neutral", "words", "blocked", "friend"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        upstream_.clearMailbox();
        upstream_.addMessage(message("Friend <friend@example.org>", "friend"));
        upstream_.addMessage(message("B <b@bad.example>", "blocked"));
        upstream_.addMessage(message("Shop <deals@shop.example>", "words", kSpamWordsBody));
        upstream_.addMessage(message("N <n@example.net>", "neutral"));
        settings::setAggressiveness(c.aggressiveness);
        settings::setEnable(c.enable);
        settings::setKeepSpamMails(1); // keep everything on the server between cases
        EXPECT_EQ(visibleSubjects(), c.visible);
        if (c.enable == 0) {
            EXPECT_EQ(Application::instance().status().detailText(), "The Spam-Filter has been disabled");
        }
    }
}

TEST_F(MailCheckTest, HeaderOnlyModeFetchesBlockedSendersHeadersAndFallsBackToRetr) {
    settings::setDontDownloadBlockedSenders(1);
    upstream_.addMessage(message("B <b@bad.example>", "blocked"));
    upstream_.addMessage(message("N <n@example.net>", "neutral"));
    EXPECT_EQ(visibleSubjects(), (std::vector<std::string>{"neutral"}));
    // The blocked sender's message only by its header, the other one whole after its header.
    EXPECT_EQ(upstream_.count("TOP"), 2);
    EXPECT_EQ(upstream_.count("RETR"), 1);

    // A server that refuses TOP: every message comes with RETR and is filtered as usual.
    upstream_.clearMailbox();
    upstream_.addMessage(message("B <b@bad.example>", "blocked 2"));
    upstream_.addMessage(message("N <n@example.net>", "neutral 2"));
    upstream_.setTopRefused(true);
    upstream_.clearRecord();
    MailClient& client = login();
    EXPECT_EQ(client.command("STAT").substr(0, 5), "+OK 1");
    EXPECT_EQ(upstream_.count("RETR"), 2);
    EXPECT_EQ(client.command("QUIT"), "+OK Everything done.");
}

TEST_F(MailCheckTest, FailuresAnswerOnceAndTheNextSessionStartsAfresh) {
    upstream_.addMessage(message("A <a@example.org>", "a"), "uid-a");
    upstream_.addMessage(message("B <b@example.org>", "b"), "uid-b");

    // The server drops the connection in the middle of the downloads.
    upstream_.setDropAt("RETR", 2);
    MailClient& dropped = login();
    EXPECT_EQ(dropped.command("LIST"), "-ERR Corvanthelix: One or more messages could not be received");
    EXPECT_EQ(dropped.line(), "(closed)");
    ASSERT_TRUE(sessionsEnded());

    // A list that cannot be read is no empty mailbox.
    upstream_.clearSwitches();
    upstream_.setDropAt("LIST", 1);
    MailClient& noList = login();
    EXPECT_EQ(noList.command("STAT"), "-ERR Corvanthelix: One or more messages could not be received");
    ASSERT_TRUE(sessionsEnded());

    // Cancel pressed during a slow download.
    upstream_.clearSwitches();
    upstream_.clearRecord();
    upstream_.setTrickle(8, 3ms);
    std::atomic<bool> done{false};
    std::thread presser([&] {
        while (!done && upstream_.count("RETR") == 0) std::this_thread::sleep_for(1ms);
        Application::instance().status().setCancelRequested(true);
    });
    MailClient& cancelled = login();
    EXPECT_EQ(cancelled.command("UIDL"), "-ERR Corvanthelix: Connection aborted by user");
    done = true;
    presser.join();
    ASSERT_TRUE(sessionsEnded());

    // Nothing was committed: the next check takes both messages for new and shows them.
    upstream_.clearSwitches();
    upstream_.clearRecord();
    EXPECT_EQ(visibleSubjects(), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(upstream_.count("RETR"), 2);
}

} // namespace
