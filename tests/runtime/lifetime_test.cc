#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/lifetime.h"
#include "runtime/virtual_time.h"

namespace halvyn {
namespace {

// Work queued by an owner runs while it lives, and does nothing once it has gone or has ended its
// lifetime in its destructor (when its members' destruction may still run what is queued).
TEST(Lifetime, QueuedWorkRunsOnlyWhileTheOwnerLives) {
    VirtualTime time;
    std::vector<std::string> ran;
    auto owner = std::make_unique<Lifetime>();
    const Lifetime::Token token = owner->token();
    time.main().post(owner->guard([&] { ran.push_back("guarded"); }));
    std::function<void(int)> withArgument = owner->guard([&](int n) { ran.push_back(std::to_string(n)); });
    time.advance(seconds(0));
    withArgument(7);
    EXPECT_EQ(ran, (std::vector<std::string>{"guarded", "7"}));
    EXPECT_TRUE(token);

    time.main().post(owner->guard([&] { ran.push_back("after the end"); }));
    owner->end();
    EXPECT_FALSE(token);
    withArgument(8);
    owner.reset();
    time.main().post([&, token] { if (token) ran.push_back("after destruction"); });
    time.advance(seconds(1));
    EXPECT_EQ(ran, (std::vector<std::string>{"guarded", "7"}));
}

}  // namespace
}  // namespace halvyn
