#include "upstream/Mailbox.h"

#include "tests/fakes/FakePop3Server.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace corvanthelix;
using namespace corvanthelix::testing;

namespace {

constexpr std::size_t kMessageBytes = 10000;

std::string messageText(int i) {
    std::string text = "Subject: message " + std::to_string(i) + "\r\n\r\n";
    text += std::string(kMessageBytes - text.size() - 2, static_cast<char>('a' + i % 26));
    return text + "\r\n";
}

int retrCount(const FakePop3Server& server) {
    std::vector<std::string> commands = server.commands();
    return static_cast<int>(std::count_if(commands.begin(), commands.end(),
                                          [](const std::string& c) { return c.rfind("RETR", 0) == 0; }));
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

class MailboxSpoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 1; i <= 6; ++i) server_.addMessage(messageText(i), "uid-" + std::to_string(i));
        ASSERT_TRUE(server_.start());
        mailbox_ = std::make_unique<Mailbox>();
        ASSERT_EQ(mailbox_->connect("127.0.0.1", server_.port(), nullptr), UpstreamResult::Ok);
        ASSERT_EQ(mailbox_->login(FakePop3Server::kDefaultUser, FakePop3Server::kDefaultPassword), UpstreamResult::Ok);
        spoolFolder_ = folder_.file("cache/account.spool");
    }

    // Downloads every message, trimming after each as the mail check does.
    void retrAll() {
        for (std::uint32_t n = 1; n <= 6; ++n) {
            ASSERT_NE(mailbox_->retr(n), nullptr) << n;
            mailbox_->trim();
        }
    }

    FakePop3Server server_;
    TempFolder folder_;
    std::string spoolFolder_;
    std::unique_ptr<Mailbox> mailbox_;
};

TEST_F(MailboxSpoolTest, CopiesBeyondTheBudgetWaitInPrivateFilesAndComeBackByteForByte) {
    ASSERT_TRUE(mailbox_->spoolTo(spoolFolder_, 2 * kMessageBytes));
    retrAll();
    EXPECT_LE(mailbox_->spool().heldBytes(), 2 * kMessageBytes);
    EXPECT_EQ(mailbox_->spool().spooledCount(), 4u);
    for (std::uint32_t n = 1; n <= 4; ++n) {
        const ServerMessage* message = mailbox_->find(n);
        ASSERT_TRUE(message->spooled()) << n;
        EXPECT_TRUE(message->hasWholeCopy());
        EXPECT_EQ(message->size, kMessageBytes);
        struct stat info {};
        ASSERT_EQ(::stat(message->spool.file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
    }
    EXPECT_TRUE(mailbox_->find(6)->holdsWhole());

    // Read back (without a download) in any order, byte for byte; the budget holds throughout.
    for (std::uint32_t n : {3u, 1u, 6u, 2u, 4u, 5u}) {
        const ServerMessage* message = mailbox_->whole(n);
        ASSERT_NE(message, nullptr) << n;
        EXPECT_EQ(message->message->source(), messageText(static_cast<int>(n)));
        EXPECT_EQ(message->message->topLines(), -1);
        mailbox_->trim();
        EXPECT_LE(mailbox_->spool().heldBytes(), 2 * kMessageBytes);
    }
    EXPECT_EQ(retrCount(server_), 6);
    // retr() and top() serve a spooled copy too.
    mailbox_->trim();
    ASSERT_TRUE(mailbox_->find(1)->spooled());
    ASSERT_NE(mailbox_->retr(1), nullptr);
    EXPECT_EQ(mailbox_->find(1)->message->source(), messageText(1));
    mailbox_->trim();
    ASSERT_TRUE(mailbox_->find(3)->spooled());
    ASSERT_NE(mailbox_->top(3, 0), nullptr);
    EXPECT_TRUE(mailbox_->find(3)->holdsWhole());
    EXPECT_EQ(retrCount(server_), 6);

    // The files and the folder go with the mailbox.
    mailbox_.reset();
    EXPECT_FALSE(exists(spoolFolder_));
}

TEST_F(MailboxSpoolTest, TheCopiesUsedLeastRecentlyGoFirst) {
    ASSERT_TRUE(mailbox_->spoolTo(spoolFolder_, 3 * kMessageBytes));
    for (std::uint32_t n = 1; n <= 3; ++n) ASSERT_NE(mailbox_->retr(n), nullptr);
    ASSERT_NE(mailbox_->whole(1), nullptr); // used again: now the newest
    ASSERT_NE(mailbox_->retr(4), nullptr);
    // The folder comes with the first file.
    EXPECT_FALSE(exists(spoolFolder_));
    EXPECT_EQ(mailbox_->trim(), 1u);
    EXPECT_TRUE(exists(spoolFolder_));
    EXPECT_TRUE(mailbox_->find(2)->spooled());
    for (std::uint32_t n : {1u, 3u, 4u}) EXPECT_TRUE(mailbox_->find(n)->holdsWhole()) << n;
    // Nothing moves between trims, whatever is loaded meanwhile.
    ASSERT_NE(mailbox_->whole(2), nullptr);
    ASSERT_NE(mailbox_->retr(5), nullptr);
    for (std::uint32_t n = 1; n <= 5; ++n) EXPECT_TRUE(mailbox_->find(n)->holdsWhole()) << n;
}

TEST_F(MailboxSpoolTest, ADamagedSpoolFileIsDownloadedAgainAndADroppedCopyTakesItsFile) {
    ASSERT_TRUE(mailbox_->spoolTo(spoolFolder_, 0));
    retrAll();
    EXPECT_EQ(mailbox_->spool().heldBytes(), 0u);
    const std::string damaged = mailbox_->find(2)->spool.file;
    ASSERT_EQ(::truncate(damaged.c_str(), 100), 0);
    EXPECT_EQ(mailbox_->whole(2), nullptr);
    EXPECT_FALSE(mailbox_->find(2)->hasWholeCopy());
    const ServerMessage* again = mailbox_->retr(2);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->message->source(), messageText(2));
    EXPECT_EQ(retrCount(server_), 7);

    const std::string dropped = mailbox_->find(4)->spool.file;
    mailbox_->dropMessage(4);
    EXPECT_FALSE(exists(dropped));
    EXPECT_FALSE(mailbox_->find(4)->hasWholeCopy());
}

TEST_F(MailboxSpoolTest, WithoutASpoolFolderTheCopiesStayInMemory) {
    // The folder cannot be made: nothing is spooled, nothing is lost.
    folder_.write("cache", "a file where the folder should be");
    EXPECT_FALSE(mailbox_->spoolTo(spoolFolder_, 0));
    retrAll();
    for (std::uint32_t n = 1; n <= 6; ++n) EXPECT_TRUE(mailbox_->find(n)->holdsWhole()) << n;

    // A folder that cannot be made when the first copy is to go out: the copies stay.
    Mailbox other;
    ASSERT_EQ(other.connect("127.0.0.1", server_.port(), nullptr), UpstreamResult::Ok);
    ASSERT_EQ(other.login(FakePop3Server::kDefaultUser, FakePop3Server::kDefaultPassword), UpstreamResult::Ok);
    ASSERT_TRUE(other.spoolTo(folder_.file("later/second.spool"), 0));
    folder_.write("later", "a file where the folder should be");
    ASSERT_NE(other.retr(1), nullptr);
    EXPECT_EQ(other.trim(), 0u);
    ASSERT_TRUE(other.find(1)->holdsWhole());
    EXPECT_EQ(other.find(1)->message->source(), messageText(1));
}

TEST_F(MailboxSpoolTest, OpeningTheSpoolRemovesWhatAnEarlierRunLeftThere) {
    const std::string leftover = folder_.write("cache/account.spool/17.spool", "half a message");
    ASSERT_TRUE(mailbox_->spoolTo(spoolFolder_, 0));
    EXPECT_FALSE(exists(leftover));
    retrAll();
    // Opened again for the same folder (a check tried again), the files in use stay.
    ASSERT_TRUE(mailbox_->spoolTo(spoolFolder_, 0));
    ASSERT_NE(mailbox_->whole(1), nullptr);
    EXPECT_EQ(mailbox_->find(1)->message->source(), messageText(1));
}

} // namespace
