// Pointer input on the notch, on virtual time: hover, hover expansion, press and click.

#include "shell/notch_pointer.h"

#include <limits>

#include "shell/shell_fixture.h"

namespace halvyn {
namespace {

class Pointer : public test::ShellTest {
protected:
    Pointer() : pointer(*ctx) {
        notch().enable();
        at(1);
    }
    NotchPointer pointer;
};

TEST_F(Pointer, HoverRaisesAtOnceAndReportsInsideOnTheNextTurn) {
    pointer.entered();
    EXPECT_TRUE(notch().isElevated.get());
    EXPECT_FALSE(notch().isMouseInside.get()) << "set on the next turn";
    time->runCurrent();
    EXPECT_TRUE(notch().isMouseInside.get());
    EXPECT_TRUE(notch().hasRecentlyTriggeredHaptic.get()) << "entering taps";
    pointer.left();
    EXPECT_FALSE(notch().isElevated.get());
    time->runCurrent();
    EXPECT_FALSE(notch().isMouseInside.get());
}

TEST_F(Pointer, HoverExpandsAfterTheHoverDurationUnlessThePointerLeaves) {
    defaults().set(keys::expandNotchOnHover, true);
    defaults().set(keys::hoverDuration, 0.5);
    pointer.entered();
    at(1.3);
    pointer.left();
    at(3);
    EXPECT_FALSE(notch().isExpanded.get()) << "leaving after 0.3 s cancels the expansion";
    pointer.entered();
    at(3.49);
    EXPECT_FALSE(notch().isExpanded.get());
    at(3.6);
    EXPECT_TRUE(notch().isExpanded.get());
}

TEST_F(Pointer, NegativeOrNaNHoverDurationExpandsAtOnce) {
    defaults().set(keys::expandNotchOnHover, true);
    for (double d : {-3.0, std::numeric_limits<double>::quiet_NaN()}) {
        defaults().set(keys::hoverDuration, d);
        pointer.entered();
        at(toSeconds(time->uptime()) + 0.1);
        EXPECT_TRUE(notch().isExpanded.get()) << d;
        pointer.left();
        at(toSeconds(time->uptime()) + 1);
        EXPECT_FALSE(notch().isExpanded.get()) << "leaving the expanded notch folds it";
    }
}

TEST_F(Pointer, ClickOnTheCompactNotchExpandsIt) {
    pointer.entered();
    pointer.pressed();
    EXPECT_TRUE(notch().isPressed.get());
    pointer.released(true);
    EXPECT_FALSE(notch().isPressed.get());
    at(2);
    EXPECT_TRUE(notch().isExpanded.get());
}

TEST_F(Pointer, PressRuleDecidesWhetherAClickExpands) {
    // Released outside the outline: no expansion.
    pointer.pressed();
    pointer.released(false);
    at(2);
    EXPECT_FALSE(notch().isExpanded.get());
    // With hover expansion on, pressing does nothing.
    defaults().set(keys::expandNotchOnHover, true);
    defaults().set(keys::hoverDuration, 100.0);
    pointer.pressed();
    EXPECT_FALSE(notch().isPressed.get());
    pointer.released(true);
    at(3);
    EXPECT_FALSE(notch().isExpanded.get());
}

TEST(ScrollEvents, NonFiniteDeltasAreNotMovement) {
    EXPECT_TRUE((ScrollEvent{1, -2, 4, 0, false}.valid()));
    EXPECT_FALSE((ScrollEvent{std::numeric_limits<double>::quiet_NaN(), 0, 4, 0, false}.valid()));
    EXPECT_FALSE((ScrollEvent{0, std::numeric_limits<double>::infinity(), 4, 0, false}.valid()));
}

}  // namespace
}  // namespace halvyn
