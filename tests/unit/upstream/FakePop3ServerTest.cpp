#include "tests/fakes/FakePop3Server.h"

#include "net/Connection.h"
#include "tests/fakes/SocketTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

using namespace corvanthelix;
using namespace corvanthelix::testing;
using namespace std::chrono_literals;

namespace {

// A logged-in connection to a fake server with two messages, the second with a LIST size set.
class FakePop3ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_->addMessage("Subject: a\r\n\r\n12345\r\n", "uid-a");
        server_->addMessage("Subject: b\r\n\r\nbody\r\n", "uid-b");
        server_->setListSize(2, 1000);
        ASSERT_TRUE(server_->start());
        ASSERT_TRUE(client_.connect("127.0.0.1", server_->port()));
        ASSERT_EQ(lineWithin(client_), std::string(FakePop3Server::kDefaultGreeting) + "\r\n");
        ASSERT_EQ(command("USER alice"), "+OK user accepted\r\n");
        ASSERT_EQ(command("PASS secret"), "+OK logged in\r\n");
    }

    // The first answer line. When none comes the session thread is stuck and stop() would wait
    // for it for ever: the server is then left to the end of the process, so the fault shows as
    // a failure instead of a hang.
    std::string command(const std::string& line) {
        client_.writeText(line + "\r\n");
        std::string answer = lineWithin(client_);
        if (answer == "(nothing)") (void)server_.release();
        return answer;
    }

    std::unique_ptr<FakePop3Server> server_ = std::make_unique<FakePop3Server>();
    Connection client_;
};

} // namespace

// The other tests talk to the fake through the upstream client, which sends neither STAT nor
// CAPA; the answers that read the mailbox or the switches under the server's lock are covered
// here.
TEST_F(FakePop3ServerTest, StatCountsTheMessagesNotMarkedDeleted) {
    ASSERT_EQ(command("STAT"), "+OK 2 1021\r\n") << "the size LIST reports counts, not the text size";
    EXPECT_EQ(command("DELE 2"), "+OK message deleted\r\n");
    EXPECT_EQ(command("STAT"), "+OK 1 21\r\n");
    EXPECT_EQ(command("RSET"), "+OK\r\n");
    EXPECT_EQ(command("STAT"), "+OK 2 1021\r\n");
    EXPECT_EQ(command("QUIT"), "+OK bye\r\n");
}

TEST_F(FakePop3ServerTest, CapaFollowsTheSwitches) {
    server_->setTopRefused(true);
    ASSERT_EQ(command("CAPA"), "+OK capabilities follow\r\n");
    std::string lines;
    for (std::string line = lineWithin(client_); line != ".\r\n" && line != "(nothing)" && line != "(closed)";
         line = lineWithin(client_))
        lines += line;
    EXPECT_EQ(lines, "USER\r\nUIDL\r\n");
}
