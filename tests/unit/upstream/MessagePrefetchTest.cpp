#include "upstream/MessagePrefetch.h"

#include "upstream/Pop3Client.h"
#include "tests/fakes/FakePop3Server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace corvanthelix;
using namespace corvanthelix::testing;

namespace {

std::string messageText(int i) {
    return "Subject: message " + std::to_string(i) + "\r\n\r\n" + std::string(2000 + i, 'a' + i % 26) + "\r\n";
}

class MessagePrefetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 1; i <= 6; ++i) server_.addMessage(messageText(i));
        server_.setPipelining(true);
        ASSERT_TRUE(server_.start());
        ASSERT_EQ(client_.connect("127.0.0.1", server_.port(), nullptr), UpstreamResult::Ok);
        ASSERT_EQ(client_.login(FakePop3Server::kDefaultUser, FakePop3Server::kDefaultPassword), UpstreamResult::Ok);
        ASSERT_NE(client_.list(), nullptr);
    }

    FakePop3Server server_;
    Pop3Client client_;
};

TEST_F(MessagePrefetchTest, HandsTheMessagesOverInTheirOrderWhateverTheBudget) {
    // A budget of one byte lets one message wait at a time; the download still completes.
    for (std::size_t budget : {std::size_t(1), MessagePrefetch::kDefaultBudget}) {
        SCOPED_TRACE(budget);
        MessagePrefetch prefetch(client_, {5, 1, 3, 6}, budget);
        for (int number : {5, 1, 3, 6}) {
            MessagePrefetch::Item item = prefetch.take(static_cast<std::uint32_t>(number));
            ASSERT_NE(item.message, nullptr) << number;
            EXPECT_EQ(item.number, static_cast<std::uint32_t>(number));
            EXPECT_EQ(item.message->source(), messageText(number));
        }
        MessagePrefetch::Item after = prefetch.take(2);
        EXPECT_EQ(after.message, nullptr);
        EXPECT_EQ(after.result, UpstreamResult::NoAnswer);
    }
    EXPECT_TRUE(client_.isConnected());
    EXPECT_EQ(client_.noop(), UpstreamResult::Ok);
}

TEST_F(MessagePrefetchTest, ATakeOutOfTurnGetsNothingAndAnEarlyEndClosesTheConnection) {
    {
        MessagePrefetch prefetch(client_, {1, 2, 3, 4, 5, 6}, 1);
        EXPECT_EQ(prefetch.take(2).message, nullptr);
        EXPECT_NE(prefetch.take(1).message, nullptr);
        // Left with messages still to come.
    }
    EXPECT_FALSE(client_.isConnected());
}

TEST_F(MessagePrefetchTest, ALostConnectionEndsTheDownloadWithTheFailure) {
    server_.setDropAt("RETR", 2);
    MessagePrefetch prefetch(client_, {1, 2, 3});
    EXPECT_NE(prefetch.take(1).message, nullptr);
    MessagePrefetch::Item lost = prefetch.take(2);
    EXPECT_EQ(lost.message, nullptr);
    EXPECT_NE(lost.result, UpstreamResult::Refused);
    EXPECT_EQ(prefetch.take(3).message, nullptr);
}

} // namespace
