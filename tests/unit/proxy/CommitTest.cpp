#include "proxy/Commit.h"

#include "filter/FilterVerdict.h"
#include "proxy/UidList.h"
#include "tests/unit/proxy/CheckSessionFixture.h"

#include <filesystem>
#include <fstream>

using namespace corvanthelix;
using namespace corvanthelix::testing;

namespace {

class CommitTest : public CheckSessionTest {
protected:
    void addMixed() {
        upstream_.addMessage(message("Friend <friend@example.org>", "friend"), "uid-friend");
        upstream_.addMessage(message("B <b@bad.example>", "blocked"), "uid-blocked");
        upstream_.addMessage(message("N <n@example.net>", "neutral"), "uid-neutral");
    }
    std::string recycleIndex() {
        RecycleBin::instance().checkpoint();
        return TempFolder::read(home_.file("recycle/recyclebin.xml"));
    }
    std::size_t savedUids() {
        UidList list;
        list.load(home_.path(), "127.0.0.1", "alice");
        return list.size();
    }
    // The client deletes one message, the commit one spam; the connection is lost at the `n`-th
    // `verb`, which commits nothing on the server. Everything is made good on a second connection.
    void expectDeletionsMadeGoodAfterLossAt(const char* verb, int n) {
        upstream_.addMessage(message("N <n@example.net>", "read and deleted"), "uid-1");
        upstream_.addMessage(message("B <b@bad.example>", "spam"), "uid-2");
        upstream_.addMessage(message("N <n@example.net>", "kept"), "uid-3");
        upstream_.setDropAt(verb, n);
        MailClient& client = login();
        EXPECT_EQ(client.command("STAT").substr(0, 5), "+OK 2");
        EXPECT_EQ(client.command("DELE 2"), "+OK Message deleted");
        EXPECT_EQ(client.command("QUIT"), "+OK Everything done.");
        ASSERT_TRUE(sessionsEnded());
        EXPECT_EQ(upstream_.connections(), 2);
        EXPECT_EQ(serverSubjects(), std::vector<std::string>{"kept"});
    }
};

TEST(CommitParts, FilterLogLine) {
    FilterLogLine line;
    line.uid = "u 1";
    line.subject = "Hi \"you\"";
    line.from = "a@b";
    line.year = 2026, line.month = 1, line.day = 5, line.hour = 9, line.minute = 8, line.second = 7;
    line.size = 1234;
    line.decision = -1;
    line.label = "Spam Word Filter";
    line.reason = "free\r\nmoney";
    line.probability = 0.875;
    EXPECT_EQ(Commit::filterLogText(line),
              "\t\"u_1\" (\"Hi_=22you=22\", (null), \"a=40b\", \"2026-01-05\", \"09:08:07\", 1234, -1, "
              "\"Spam Word Filter\", \"free  money\", 0.88)");
}

TEST(CommitParts, DecisionAndLabel) {
    FilterVerdict named;
    named.setFilterName("Learning Filter");
    FilterVerdict none;
    struct Case {
        int sender;
        bool hidden;
        const FilterVerdict* verdict;
        int decision;
        const char* label;
    };
    const Case cases[] = {
        {2, false, &none, 1, "(Friend)"},        {2, true, &named, 1, "(Friend)"},
        {1, true, &none, -1, "(Blocked sender)"}, {-1, true, &named, -1, "Learning Filter"},
        {-1, false, &named, 1, "Learning Filter"}, {-1, false, &none, 0, ""},
    };
    for (const Case& c : cases) {
        int decision = 99;
        std::string label = "x";
        Commit::decisionAndLabel(c.sender, c.hidden, *c.verdict, decision, label);
        EXPECT_EQ(decision, c.decision);
        EXPECT_EQ(label, c.label);
    }
}

TEST_F(CommitTest, SpamMovesToTheBinAndOffTheServerEverythingElseIsRecorded) {
    addMixed();
    EXPECT_EQ(visibleSubjects(), (std::vector<std::string>{"neutral", "friend"}));
    EXPECT_EQ(serverSubjects(), (std::vector<std::string>{"friend", "neutral"}));
    EXPECT_EQ(binFiles(), 1);
    std::string index = recycleIndex();
    EXPECT_NE(index.find("uid=\"uid-blocked\""), std::string::npos);
    EXPECT_NE(index.find("stay=\"0\""), std::string::npos);
    EXPECT_EQ(savedUids(), 3u);
    EXPECT_EQ(Application::instance().spamCount(), 1);
    EXPECT_EQ(settings::statsMails(), "1,");
    // Friend and blocked sender were learned; only the neutral message waits in the training area.
    std::vector<TrainingEntry> training;
    ASSERT_TRUE(TrainingArea::instance().listEntries(training));
    ASSERT_EQ(training.size(), 1u);
    EXPECT_EQ(training[0].subject, "neutral");
    EXPECT_EQ(training[0].verdict, TrainingArea::kVerdictNonSpam);
    std::string log = TempFolder::read(home_.file("filter.log"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\t'), 3);
}

TEST_F(CommitTest, KeptSpamStaysOnTheServerAndBlockedSendersMayGoWithoutACopy) {
    settings::setKeepSpamMails(1);
    addMixed();
    visibleSubjects();
    EXPECT_EQ(serverSubjects().size(), 3u);
    EXPECT_NE(recycleIndex().find("stay=\"1\""), std::string::npos);

    // Blocked senders' mail deleted without a copy, counted but not in the tray counter.
    settings::setKeepSpamMails(0);
    settings::setDontDownloadBlockedSenders(1);
    upstream_.addMessage(message("C <c@bad.example>", "blocked again"), "uid-blocked-2");
    Application::instance().setSpamCount(0);
    visibleSubjects();
    EXPECT_EQ(serverSubjects(), (std::vector<std::string>{"friend", "blocked", "neutral"}));
    EXPECT_EQ(binFiles(), 1);
    EXPECT_EQ(Application::instance().spamCount(), 0);
    EXPECT_EQ(settings::statsMails(), "2,");
}

// No message may be lost: without a durable copy in the bin, spam stays on the server and is
// filtered again at the next check.
TEST_F(CommitTest, SpamWhoseCopyCannotBeStoredStaysOnTheServer) {
    RecycleBin::destroyInstance();
    std::filesystem::remove_all(home_.file("recycle"));
    std::ofstream(home_.file("recycle")) << "not a folder";
    addMixed();
    EXPECT_EQ(visibleSubjects(), (std::vector<std::string>{"neutral", "friend"}));
    EXPECT_EQ(serverSubjects().size(), 3u);
    EXPECT_EQ(upstream_.count("DELE"), 0);
    EXPECT_EQ(savedUids(), 2u);
    EXPECT_EQ(Application::instance().spamCount(), 0);
    upstream_.clearRecord();
    EXPECT_EQ(visibleSubjects(), (std::vector<std::string>{"neutral", "friend"}));
    EXPECT_EQ(upstream_.count("RETR"), 1); // the blocked sender's message, filtered again
}

TEST_F(CommitTest, ALostConnectionAtDeleIsMadeGoodOnANewOne) {
    upstream_.addMessage(message("B <b1@bad.example>", "spam 1"), "uid-1");
    upstream_.addMessage(message("N <n@example.net>", "kept"), "uid-2");
    upstream_.addMessage(message("B <b3@bad.example>", "spam 3"), "uid-3");
    // The second DELE loses the connection; the first was sent on it and never committed.
    upstream_.setDropAt("DELE", 2);
    EXPECT_EQ(visibleSubjects(), (std::vector<std::string>{"kept"}));
    EXPECT_EQ(serverSubjects(), (std::vector<std::string>{"kept"}));
    EXPECT_EQ(upstream_.connections(), 2);
    EXPECT_NE(TempFolder::read(home_.file("client.log")).find(Commit::kReconnectLogLine), std::string::npos);
}

TEST_F(CommitTest, TheClientsDeletionsAreRepeatedOnTheNewConnection) {
    // The client's DELE went upstream at once; the commit's own DELE, the second, is lost.
    expectDeletionsMadeGoodAfterLossAt("DELE", 2);
}

TEST_F(CommitTest, AConnectionLostAtQuitIsMadeGoodOnANewOne) {
    expectDeletionsMadeGoodAfterLossAt("QUIT", 1);
}

TEST_F(CommitTest, AFailedReconnectionCommitsNothingOnTheServer) {
    addMixed();
    upstream_.setDropAt("DELE", 1);
    MailClient& client = login();
    EXPECT_EQ(client.command("STAT").substr(0, 5), "+OK 2");
    upstream_.setGreeting("-ERR going away");
    EXPECT_EQ(client.command("QUIT"), std::string("-ERR ") + Commit::kConnectionLossReply);
    ASSERT_TRUE(sessionsEnded());
    EXPECT_EQ(serverSubjects().size(), 3u);
    EXPECT_EQ(upstream_.count("QUIT"), 0);
    EXPECT_FALSE(std::filesystem::exists(UidList::filePath(home_.path(), "127.0.0.1", "alice")));
    // The copy made before the failure stays in the bin.
    EXPECT_EQ(binFiles(), 1);
}

// The commit files its new messages in the training area together after the last entry; those of
// entries committed before a failure are filed all the same.
TEST_F(CommitTest, TheTrainingAreaGetsEveryNewMessageAlsoWhenTheCommitFails) {
    for (int i = 0; i < 12; ++i)
        upstream_.addMessage(message("N <n@example.net>", "neutral " + std::to_string(i)), "uid-n" + std::to_string(i));
    EXPECT_EQ(visibleSubjects().size(), 12u);
    std::vector<TrainingEntry> training;
    ASSERT_TRUE(TrainingArea::instance().listEntries(training));
    EXPECT_EQ(training.size(), 12u);

    // The commit takes the newest message first: the neutral one, then the blocked one whose DELE fails.
    upstream_.addMessage(message("B <b@bad.example>", "blocked"), "uid-blocked");
    upstream_.addMessage(message("N <n@example.net>", "before the failure"), "uid-before");
    upstream_.setDropAt("DELE", 1);
    MailClient& client = login();
    EXPECT_EQ(client.command("STAT").substr(0, 5), "+OK 1");
    upstream_.setGreeting("-ERR going away");
    EXPECT_EQ(client.command("QUIT"), std::string("-ERR ") + Commit::kConnectionLossReply);
    ASSERT_TRUE(sessionsEnded());
    ASSERT_TRUE(TrainingArea::instance().listEntries(training));
    ASSERT_EQ(training.size(), 13u);
    EXPECT_EQ(std::count_if(training.begin(), training.end(),
                            [](const TrainingEntry& entry) { return entry.subject == "before the failure"; }),
              1);
}

} // namespace
