// Cancel in the status window during a download that hangs: the check's upstream connection is
// closed at once, and the mail client hears that the person cancelled.
#include "tests/unit/proxy/CheckSessionFixture.h"

#include <atomic>

namespace corvanthelix::testing {
namespace {

using namespace std::chrono_literals;

class MailCheckCancelTest : public CheckSessionTest {};

TEST_F(MailCheckCancelTest, CancelClosesAHangingDownloadAtOnce) {
    upstream_.addMessage(message("A <a@example.org>", "a", std::string(20000, 'x') + "\r\n"), "uid-a");
    // The server stops in the middle of the message; its time-out (60 s) is far away.
    upstream_.setStallInBody(1000);
    std::atomic<bool> done{false};
    std::thread presser([&] {
        while (!done && upstream_.count("RETR") == 0) std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(50ms);
        Application::instance().status().requestCancel();
    });
    MailClient& cancelled = login();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(cancelled.command("STAT"), "-ERR Corvanthelix: Connection aborted by user");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    done = true;
    presser.join();
    cancelled.command("QUIT");
    ASSERT_TRUE(sessionsEnded());

    // The abort belonged to that check only: a Cancel between checks closes nothing.
    Application::instance().status().requestCancel();
    upstream_.clearSwitches();
    EXPECT_EQ(visibleSubjects(), (std::vector<std::string>{"a"}));
}

} // namespace
} // namespace corvanthelix::testing
