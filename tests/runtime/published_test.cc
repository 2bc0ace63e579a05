#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "runtime/animation.h"
#include "runtime/published.h"
#include "runtime/virtual_time.h"

namespace halvyn {
namespace {

// Stands for a manager: the one that sets its property.
template <class T>
struct Holder {
    Owned<T, Holder> p;
    void set(T v) { p.set(std::move(v)); }
    void set(T v, const Animation& anim) { p.set(std::move(v), anim); }
    void assign(T v) { p = std::move(v); }
};

template <class P>
concept SettableHere = requires(P& p) { p.set(1); } || requires(P& p) { p = 1; };
static_assert(!SettableHere<Owned<int, Holder<int>>>, "only the owner sets its property");

TEST(Published, NotifiesOnlyOnChangeAndStopsWithSubscription) {
    Holder<int> h;
    h.set(1);
    const Published<int>& p = h.p;  // what everyone else sees
    std::vector<int> seen;
    {
        auto sub = p.observe([&](const int& v, const Animation*) { seen.push_back(v); });
        h.set(1);
        h.set(2);
        h.set(2);
        h.assign(3);
    }
    h.set(4);
    EXPECT_EQ(seen, (std::vector<int>{2, 3}));
    EXPECT_EQ(p.get(), 4);
}

// Published delivers through a Signal: changes to the list during delivery are the Signal's.
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
    Holder<bool> h;
    std::optional<Animation> heard;
    int heardNull = 0;
    auto sub = h.p.observe([&](const bool&, const Animation* a) {
        if (a) heard = *a;
        else ++heardNull;
    });
    animate(vt, Animation::spring(0.35, -0.2), [&] { h.set(true); });
    ASSERT_TRUE(heard);
    EXPECT_EQ(*heard, Animation::spring(0.35, -0.2));
    h.set(false);
    EXPECT_EQ(heardNull, 1);
    h.set(true, Animation::easeOut(0.2));
    EXPECT_EQ(*heard, Animation::easeOut(0.2));
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

}  // namespace
}  // namespace halvyn
