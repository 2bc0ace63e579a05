#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "runtime/animation.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "runtime/virtual_time.h"

namespace halvyn {
namespace {

TEST(Published, NotifiesOnlyOnChangeAndStopsWithSubscription) {
    Published<int> p(1);
    std::vector<int> seen;
    {
        auto sub = p.observe([&](const int& v, const Animation*) { seen.push_back(v); });
        p.set(1);
        p.set(2);
        p.set(2);
        p = 3;
    }
    p.set(4);
    EXPECT_EQ(seen, (std::vector<int>{2, 3}));
    EXPECT_EQ(p.get(), 4);
}

TEST(Published, ObserverMayUnsubscribeAnotherDuringDelivery) {
    Published<bool> p;
    int second = 0;
    Subscription b;
    auto a = p.observe([&](const bool&, const Animation*) { b.reset(); });
    b = p.observe([&](const bool&, const Animation*) { ++second; });
    p.set(true);
    EXPECT_EQ(second, 0);
}

TEST(Signal, ChangesToTheListDuringDeliveryAndManyRemovals) {
    Signal<int> signal;
    std::vector<std::string> heard;
    std::vector<Subscription> subs(6);
    Subscription late;
    for (int i = 0; i < 6; ++i)
        subs[i] = signal.connect([&, i](int v) {
            heard.push_back(std::to_string(i) + ":" + std::to_string(v));
            if (i == 1 && v == 1) {
                subs[1].reset();  // itself
                subs[4].reset();  // one not yet called
                late = signal.connect([&](int w) { heard.push_back("late:" + std::to_string(w)); });
                signal.emit(10);  // a nested delivery sees the list as it is now
            }
        });
    signal.emit(1);
    EXPECT_EQ(heard, (std::vector<std::string>{"0:1", "1:1", "0:10", "2:10", "3:10", "5:10", "late:10", "2:1", "3:1",
                                              "5:1"}));
    heard.clear();
    // Removing most observers compacts the list without losing or repeating anyone.
    subs[0].reset();
    subs[2].reset();
    subs[3].reset();
    signal.emit(2);
    EXPECT_EQ(heard, (std::vector<std::string>{"5:2", "late:2"}));
    subs[5].reset();
    late.reset();
    EXPECT_TRUE(signal.empty());
    heard.clear();
    signal.emit(3);
    EXPECT_TRUE(heard.empty());
    auto again = signal.connect([&](int v) { heard.push_back("again:" + std::to_string(v)); });
    signal.emit(4);
    EXPECT_EQ(heard, (std::vector<std::string>{"again:4"}));
}

TEST(Published, ObserversHearTheAnimationOfTheChange) {
    VirtualTime vt;
    Published<bool> p;
    std::optional<Animation> heard;
    bool heardNull = false;
    auto sub = p.observe([&](const bool&, const Animation* a) {
        if (a) heard = *a;
        else heardNull = true;
    });
    animate(vt, Animation::spring(0.35, -0.2), [&] { p.set(true); });
    ASSERT_TRUE(heard);
    EXPECT_EQ(*heard, Animation::spring(0.35, -0.2));
    p.set(false);
    EXPECT_TRUE(heardNull);
}

TEST(Animation, CompletionTimesOfEachShape) {
    VirtualTime vt;
    struct Case {
        Animation anim;
        double completesAt;
    } cases[] = {
        {Animation::anim(0.35), 0.4875},        // critically damped, response 1.25·d + 0.05
        {Animation::spring(0.35, -0.2), 0.35},  // spring of duration d
        {Animation::critical(0.25), 0.25},
        {Animation::easeOut(0.2), 0.2},
        {Animation::linear(1.0), 1.0},
    };
    for (auto& c : cases) {
        const Uptime start = vt.uptime();
        std::optional<Uptime> doneAt;
        bool changed = false;
        animate(vt, c.anim, [&] { changed = true; }, [&] { doneAt = vt.uptime(); });
        EXPECT_TRUE(changed) << "the change applies at once";
        vt.advance(seconds(c.completesAt) - Duration(1));
        EXPECT_FALSE(doneAt) << c.completesAt;
        vt.advance(Duration(1));
        ASSERT_TRUE(doneAt) << c.completesAt;
        EXPECT_EQ(*doneAt - start, seconds(c.completesAt));
    }
}

TEST(PropertySet, SnapshotsInRegistrationOrder) {
    Published<bool> a(true);
    Published<double> b(0.5);
    PropertySet set;
    set.add("a", a);
    set.add("b", b);
    EXPECT_EQ(set.snapshot().toJson(), R"({"a":true,"b":0.5})");
    int calls = 0;
    auto sub = set.all()[1].observe([&] { ++calls; });
    b.set(0.75);
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace halvyn
