#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/debounce.h"
#include "runtime/throttle.h"
#include "runtime/virtual_time.h"

namespace halvyn {
namespace {

TEST(VirtualTime, SameDueTimeRunsInPostingOrderAndPostedWhileRunningWaitsForNextTurn) {
    VirtualTime vt;
    std::vector<std::string> order;
    vt.postAfter(seconds(1), [&] { order.push_back("a@1"); });
    vt.post([&] {
        order.push_back("p1");
        vt.post([&] { order.push_back("p1-child"); });
    });
    vt.post([&] { order.push_back("p2"); });
    vt.postAfter(seconds(1), [&] { order.push_back("b@1"); });
    vt.postAfter(seconds(0.5), [&] { order.push_back("c@0.5"); });

    vt.runCurrent();
    EXPECT_EQ(order, (std::vector<std::string>{"p1", "p2", "p1-child"}));
    vt.advance(seconds(2));
    EXPECT_EQ(order, (std::vector<std::string>{"p1", "p2", "p1-child", "c@0.5", "a@1", "b@1"}));
    EXPECT_EQ(vt.uptime(), seconds(2));
}

TEST(VirtualTime, TaskSeesItsOwnDueTimeAndNegativeDelayIsNow) {
    VirtualTime vt;
    Uptime seen{-1};
    vt.postAfter(seconds(0.35), [&] { seen = vt.uptime(); });
    bool ran = false;
    vt.postAfter(seconds(-3), [&] { ran = true; });
    vt.advance(seconds(10));
    EXPECT_EQ(seen, seconds(0.35));
    EXPECT_TRUE(ran);
}

TEST(VirtualTime, RunBeforeLeavesTasksDueExactlyAtTheLimit) {
    VirtualTime vt;
    std::vector<int> order;
    vt.postAfter(seconds(1), [&] { order.push_back(1); });
    vt.postAfter(seconds(0.999), [&] { order.push_back(0); });
    vt.runBefore(seconds(1));
    EXPECT_EQ(order, (std::vector<int>{0}));
    EXPECT_EQ(vt.uptime(), seconds(1));
    order.push_back(-1);  // an event acting at t = 1
    vt.runCurrent();
    EXPECT_EQ(order, (std::vector<int>{0, -1, 1}));
}

TEST(VirtualTime, CancelledTaskNeverRunsAndHandleReportsState) {
    VirtualTime vt;
    bool ran = false;
    TaskHandle h = vt.postAfter(seconds(1), [&] { ran = true; });
    EXPECT_TRUE(h.pending());
    h.cancel();
    h.cancel();  // idempotent
    EXPECT_FALSE(h.pending());
    vt.advance(seconds(5));
    EXPECT_FALSE(ran);

    TaskHandle done = vt.postAfter(seconds(1), [] {});
    vt.advance(seconds(1));
    EXPECT_FALSE(done.pending());
}

TEST(VirtualTime, RunUntilIdleStopsARunawayTimer) {
    VirtualTime vt;
    int n = 0;
    std::function<void()> rearm = [&] {
        ++n;
        vt.postAfter(seconds(1), rearm);
    };
    vt.post(rearm);
    EXPECT_FALSE(vt.runUntilIdle(100));
    EXPECT_EQ(n, 100);
}

TEST(Seconds, RoundsToNearestMicrosecondAndSurvivesNonFinite) {
    EXPECT_EQ(seconds(0.35).count(), 350000);
    EXPECT_EQ(seconds(0.0000014).count(), 1);
    EXPECT_EQ(seconds(0.0000016).count(), 2);
    EXPECT_EQ(seconds(std::nan("")).count(), 0);
    EXPECT_GT(seconds(1e300).count(), 0);
    EXPECT_LT(seconds(-1e300).count(), 0);
}

TEST(Debounce, ReschedulingReplacesAndCancelledNeverRuns) {
    VirtualTime vt;
    Debounce d(vt, "test");
    std::vector<std::string> ran;
    d.schedule(1.0, [&] { ran.push_back("first"); });
    vt.advance(seconds(0.5));
    d.schedule(1.0, [&] { ran.push_back("second"); });
    EXPECT_TRUE(d.isPending());
    vt.advance(seconds(0.9));
    EXPECT_TRUE(ran.empty());
    vt.advance(seconds(0.1));
    EXPECT_EQ(ran, (std::vector<std::string>{"second"}));
    EXPECT_FALSE(d.isPending());

    d.schedule(1.0, [&] { ran.push_back("third"); });
    d.cancel();
    vt.advance(seconds(5));
    EXPECT_EQ(ran.size(), 1u);
}

TEST(Debounce, DestroyingTheSlotCancelsItsTask) {
    VirtualTime vt;
    bool ran = false;
    {
        Debounce d(vt, "gone");
        d.schedule(0.1, [&] { ran = true; });
    }
    vt.advance(seconds(1));
    EXPECT_FALSE(ran);
}

TEST(Throttle, FirstAtOnceThenLatestOfEachInterval) {
    VirtualTime vt;
    std::vector<std::pair<double, int>> out;
    Throttle<int> th(vt, seconds(0.1), [&](const int& v) { out.emplace_back(toSeconds(vt.uptime()), v); });
    th.push(1);  // t = 0: delivered at once
    vt.advance(seconds(0.02));
    th.push(2);
    vt.advance(seconds(0.03));
    th.push(3);  // latest of the first interval
    vt.advance(seconds(0.05));  // t = 0.1: 3 delivered, new interval
    vt.advance(seconds(0.05));
    th.push(4);
    vt.advance(seconds(0.05));  // t = 0.2: 4 delivered
    vt.advance(seconds(0.5));   // quiet interval ends without delivery
    th.push(5);                 // t = 0.7: delivered at once
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], std::make_pair(0.0, 1));
    EXPECT_EQ(out[1], std::make_pair(0.1, 3));
    EXPECT_EQ(out[2], std::make_pair(0.2, 4));
    EXPECT_EQ(out[3], std::make_pair(0.7, 5));
}

}  // namespace
}  // namespace halvyn
