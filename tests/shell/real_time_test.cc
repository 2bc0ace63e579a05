#include "shell/real_time.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "shell/event_loop.h"

namespace halvyn {
namespace {

using namespace std::chrono_literals;
using test::spinUntil;

TEST(RealTime, DelayedTasksNeverRunEarly) {
    RealTime rt;
    struct Run {
        Duration asked;
        Uptime posted;
        Uptime ran{-1};
    };
    std::vector<Run> runs = {{30ms, {}}, {1ms, {}}, {15ms, {}}, {0ms, {}}};
    for (auto& r : runs) {
        r.posted = rt.uptime();
        rt.postAfter(r.asked, [&rt, &r] { r.ran = rt.uptime(); });
    }
    ASSERT_TRUE(spinUntil([&] {
        for (auto& r : runs)
            if (r.ran < Uptime(0)) return false;
        return true;
    }));
    for (auto& r : runs) EXPECT_GE(r.ran - r.posted, r.asked) << "asked " << r.asked.count() << " us";
    EXPECT_EQ(rt.pendingCount(), 0u);
    EXPECT_FALSE(rt.timerArmed()) << "an empty queue must not keep a timer running";
}

TEST(RealTime, TasksRunInPostingOrderAndNeverInsideEachOther) {
    RealTime rt;
    std::vector<int> order;
    bool inside = false;
    bool nested = false;
    auto task = [&](int i) {
        return [&, i] {
            if (inside) nested = true;
            inside = true;
            order.push_back(i);
            inside = false;
        };
    };
    // Same delay posted in a row: equal or later due times, so posting order must hold.
    for (int i = 0; i < 100; ++i) {
        if (i % 2 == 0) rt.post(task(i));
        else rt.postAfter(0ms, task(i));
    }
    // A task that posts another: the new one runs after everything already queued.
    rt.post([&] { rt.post(task(1000)); });
    for (int i = 100; i < 200; ++i) rt.post(task(i));
    ASSERT_TRUE(spinUntil([&] { return order.size() == 201; }));
    std::vector<int> expected;
    for (int i = 0; i < 200; ++i) expected.push_back(i);
    expected.push_back(1000);
    EXPECT_EQ(order, expected);
    EXPECT_FALSE(nested);
}

TEST(RealTime, CancelledTasksNeverRun) {
    RealTime rt;
    bool cancelledRan = false;
    bool sentinel = false;
    TaskHandle h = rt.postAfter(5ms, [&] { cancelledRan = true; });
    EXPECT_TRUE(h.pending());
    h.cancel();
    h.cancel();  // idempotent
    EXPECT_FALSE(h.pending());
    // Cancelling the earliest task must not leave the later ones stranded.
    TaskHandle first = rt.postAfter(1ms, [&] { cancelledRan = true; });
    rt.postAfter(40ms, [&] { sentinel = true; });
    first.cancel();
    ASSERT_TRUE(spinUntil([&] { return sentinel; }));
    EXPECT_FALSE(cancelledRan);

    // Cancelling after the run is harmless and the handle reports it as no longer pending.
    bool ran = false;
    TaskHandle done = rt.postAfter(0ms, [&] { ran = true; });
    ASSERT_TRUE(spinUntil([&] { return ran; }));
    EXPECT_FALSE(done.pending());
    done.cancel();
    EXPECT_FALSE(rt.timerArmed());
}

TEST(RealTime, BackgroundWorkComesBackOnTheMainThread) {
    RealTime rt(2);
    const auto mainThread = std::this_thread::get_id();
    std::mutex m;
    std::vector<int> results;
    std::atomic<int> offMain{0};
    constexpr int kJobs = 50;
    for (int i = 0; i < kJobs; ++i) {
        rt.background().post([&, i] {
            if (std::this_thread::get_id() != mainThread) ++offMain;
            rt.post([&, i] {
                EXPECT_EQ(std::this_thread::get_id(), mainThread);
                std::lock_guard lock(m);
                results.push_back(i);
            });
        });
    }
    ASSERT_TRUE(spinUntil([&] {
        std::lock_guard lock(m);
        return results.size() == kJobs;
    }));
    EXPECT_EQ(offMain.load(), kJobs);
    // Posts from one thread keep their order even when they cross threads.
    std::vector<int> fromThread;
    std::thread t([&] {
        for (int i = 0; i < 20; ++i) rt.post([&fromThread, i] { fromThread.push_back(i); });
    });
    t.join();
    ASSERT_TRUE(spinUntil([&] { return fromThread.size() == 20; }));
    for (int i = 0; i < 20; ++i) EXPECT_EQ(fromThread[static_cast<std::size_t>(i)], i);
}

TEST(RealTime, DestroyingDropsWhatIsPending) {
    auto token = std::make_shared<int>(0);
    bool ran = false;
    {
        RealTime rt;
        rt.postAfter(1ms, [&ran, token] { ran = true; });
        // Background work that hands a result back while the runtime goes away: dropped, no crash.
        rt.background().post([&rt, token] { rt.post([token] {}); });
    }
    EXPECT_FALSE(ran);
    EXPECT_EQ(token.use_count(), 1) << "pending tasks must be released with the runtime";
}

}  // namespace
}  // namespace halvyn
