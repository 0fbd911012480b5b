#include "net/TimerService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

using namespace corvanthelix;
using namespace std::chrono_literals;

namespace {

TEST(TimerServiceTest, TimersFireInTheOrderTheyAreDueOnOneThread) {
    TimerService service;
    std::mutex mutex;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::promise<void> done;
    auto note = [&](int which) {
        std::lock_guard<std::mutex> lock(mutex);
        order.push_back(which);
        threads.push_back(std::this_thread::get_id());
        if (order.size() == 3) done.set_value();
    };
    // The later timer is started first: the thread must be woken for the earlier ones.
    service.start(300ms, [&] { note(3); });
    service.start(150ms, [&] { note(2); });
    service.start(0ms, [&] { note(1); });
    ASSERT_EQ(done.get_future().wait_for(3s), std::future_status::ready);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(threads[0], threads[2]);
    EXPECT_NE(threads[0], std::this_thread::get_id());
}

TEST(TimerServiceTest, CancelledTimerNeverFires) {
    TimerService service;
    std::atomic<int> fired{0};
    auto id = service.start(100ms, [&] { ++fired; });
    EXPECT_EQ(service.cancel(id), TimerService::Cancel::Cancelled);
    std::promise<void> later;
    service.start(200ms, [&] { later.set_value(); });
    ASSERT_EQ(later.get_future().wait_for(3s), std::future_status::ready);
    EXPECT_EQ(fired.load(), 0);
    EXPECT_EQ(service.cancel(id), TimerService::Cancel::Finished);
}

TEST(TimerServiceTest, CancelDuringTheCallbackReportsItRunningAndCanWaitForIt) {
    TimerService service;
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> left{false};
    auto id = service.start(0ms, [&] {
        entered.set_value();
        released.wait();
        left = true;
    });
    ASSERT_EQ(entered.get_future().wait_for(3s), std::future_status::ready);
    EXPECT_EQ(service.cancel(id), TimerService::Cancel::Running);
    EXPECT_FALSE(service.waitWhileRunning(id, 50ms));
    release.set_value();
    EXPECT_TRUE(service.waitWhileRunning(id, 3s));
    EXPECT_TRUE(left.load());
    EXPECT_EQ(service.cancel(id), TimerService::Cancel::Finished);
}

TEST(TimerServiceTest, WatchFiresOnlyWhenItsMovingDeadlinePasses) {
    TimerService service;
    std::atomic<std::int64_t> deadline{TimerService::kIdle};
    std::promise<std::int64_t> fired;
    auto ms = [](int n) { return static_cast<std::int64_t>(n) * 1000000; };
    // Idle: nothing fires, however often the service looks (every 20 ms here).
    auto id = service.watch(deadline, 20ms, [&] { fired.set_value(TimerService::now()); });
    std::future<std::int64_t> firedAt = fired.get_future();
    EXPECT_EQ(firedAt.wait_for(150ms), std::future_status::timeout);
    // A deadline moved forward again and again, as by a client reading line after line. The margin
    // is wide so that a loaded machine oversleeping a 20 ms step does not let a deadline pass.
    std::int64_t last = 0;
    for (int i = 0; i < 10; ++i) {
        last = TimerService::now() + ms(400);
        deadline.store(last);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(firedAt.wait_for(0ms), std::future_status::timeout) << "moved deadlines never passed";
    ASSERT_EQ(firedAt.wait_for(3s), std::future_status::ready);
    EXPECT_GE(firedAt.get(), last);
    EXPECT_EQ(deadline.load(), TimerService::kFired);
    // The promise is set inside the callback: let the callback return before asking.
    EXPECT_TRUE(service.waitWhileRunning(id, 3s));
    EXPECT_EQ(service.cancel(id), TimerService::Cancel::Finished);
}

TEST(TimerServiceTest, ThrowingCallbackDoesNotStopLaterTimers) {
    TimerService service;
    service.start(0ms, [] { throw std::runtime_error("callback failed"); });
    std::promise<void> later;
    service.start(20ms, [&] { later.set_value(); });
    EXPECT_EQ(later.get_future().wait_for(3s), std::future_status::ready);
}

} // namespace
