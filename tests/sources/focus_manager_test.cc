#include "sources/focus_manager.h"

#include <chrono>

#include "app/context_fixture.h"
#include "lockscreen/lock_manager.h"
#include "platform/sim/sim_focus_log.h"
#include "runtime/owned_access.h"

namespace halvyn::context_testing {
namespace {

const char* kWork =
    "Delivering state update: modeIdentifier: com.apple.focus.work; name: Work; symbolImageName: "
    "person.lanyardcard.fill; tintColorName: systemMintColor";

std::string custom(const std::string& tint) {
    return "Delivering state update: modeIdentifier: com.example.focus.Écrire-2; name: Deep Work ; symbolImageName: "
           "pencil.line; tintColorName: " + tint;
}

TEST(FocusPatterns, MatchTheFirstPlaceWhereTheWholePatternFits) {
    EXPECT_EQ(focus::identifier("x modeIdentifier:   com.apple.focus.work; y"), "com.apple.focus.work");
    // The first marker has no value: the search goes on to the next one.
    EXPECT_EQ(focus::identifier("modeIdentifier: ; modeIdentifier:a-b.c"), "a-b.c");
    EXPECT_EQ(focus::identifier("modeIdentifier:Écrire-2;"), "Écrire-2") << "\\w is Unicode";
    EXPECT_EQ(focus::symbol("symbolImageName: moon.fill-x"), "moon.fill") << "no dash in a symbol";
    EXPECT_EQ(focus::tint("tintColorName:systemBlueColor>"), "systemBlueColor");
    EXPECT_EQ(focus::name("name: Deep Work ; other"), "Deep Work ");
    EXPECT_EQ(focus::name("name:   ;"), " ") << "white space is itself no semicolon";
    EXPECT_EQ(focus::name("name:;"), std::nullopt);
    EXPECT_EQ(focus::name("symbolImageName: x"), std::nullopt) << "case-sensitive";
    EXPECT_EQ(focus::identifier("modeIdentifier:"), std::nullopt);
    EXPECT_EQ(focus::tint("tintColorName: \xFF\xFE"), std::nullopt) << "malformed bytes are no word";

    EXPECT_EQ(focus::tintColor("systemMintColor"), "TealColor");
    EXPECT_EQ(focus::tintColor("systemRedColor"), "RoseColor");
    EXPECT_EQ(focus::tintColor("systemYellowColor"), "IndigoColor");
    EXPECT_EQ(focus::builtInModes().size(), 10u);
}

TEST(FocusPatterns, PgrepOutputGivesTheFirstDecimalLine) {
    EXPECT_EQ(focus::firstProcessID("311\n412\n"), 311);
    EXPECT_EQ(focus::firstProcessID("\n\n  77  \r\n"), 77);
    EXPECT_EQ(focus::firstProcessID("abc\n12x\n+9\n"), 9);
    EXPECT_EQ(focus::firstProcessID("99999999999\n5"), 5) << "beyond 32 bits is no process id";
    EXPECT_EQ(focus::firstProcessID(""), std::nullopt);
    EXPECT_EQ(focus::firstProcessID("--1\n"), std::nullopt);
}

class FocusTest : public ContextTest {
protected:
    FocusTest() {
        sim->simProcesses().reset({{311, "identityservicesd"}, {412, "donotdisturbd"}});
        startNotch();
    }
    FocusManager& focus() {
        FocusManager& f = ctx->focus();
        time->runUntil(time->uptime());
        return f;
    }
    void line(const char* process, const char* category, const std::string& message) {
        focus();
        sim->simLogStream().write(process, category, message);
        time->runUntil(time->uptime());
    }
    void state(const std::string& m) { line("identityservicesd", "ServiceProvider", m); }
    void dnd(bool on) { line("donotdisturbd", "Registration", std::string("DND Enabled: ") + (on ? "YES" : "NO")); }
};

// The arrival order, a repeated mode and the end of Focus are played in focus_work_notification.
TEST_F(FocusTest, StateUpdatesAndRegistrationsInArrivalOrder) {
    state(custom("systemMintColor"));
    EXPECT_TRUE(focus().isFocus);
    ASSERT_TRUE(focus().focusMode.get());
    EXPECT_EQ(focus().focusMode.get()->tintColor, "TealColor");
    EXPECT_EQ(focus().focusMode.get()->displayName(), "Deep Work ");
    EXPECT_EQ(focus().focusMode.get()->identifier, "com.example.focus.Écrire-2");
    state(custom("systemYellowColor;"));
    EXPECT_EQ(focus().focusMode.get()->tintColor, "TealColor") << "same identifier: unchanged";

    // The markers without values: the mode becomes unknown, Focus stays on.
    state("Delivering state update name: symbolImageName: tintColorName:");
    EXPECT_FALSE(focus().focusMode.get());
    EXPECT_TRUE(focus().isFocus);
    at(20);
    calls.lines.clear();
    dnd(false);
    EXPECT_FALSE(focus().isFocus);
    EXPECT_EQ(calls.of("setNotification"), std::vector<std::string>{"20.000 setNotification [true,\"isFocus\",0.35,5]"});
}

TEST_F(FocusTest, OtherCategoriesAndIncompleteLinesAreIgnored) {
    state(std::string(kWork).replace(0, 10, "Delivered!"));
    line("identityservicesd", "Other", kWork);
    line("donotdisturbd", "ServiceProvider", "DND Enabled: NO");
    line("launchd", "ServiceProvider", kWork);  // not a followed process
    EXPECT_FALSE(focus().hasBeenFocused);
    EXPECT_FALSE(logged("message:"));
}

TEST_F(FocusTest, HugeLinesAreMatchedInLinearTime) {
    std::string big = "Delivering state update: name: " + std::string(1 << 20, 'x') +
                      " symbolImageName: tintColorName: modeIdentifier:";
    const auto t0 = std::chrono::steady_clock::now();
    state(big);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_TRUE(focus().isFocus);
    EXPECT_FALSE(focus().focusMode.get());
    std::string spaces = "Delivering state update: symbolImageName: tintColorName: name:" + std::string(1 << 20, ' ');
    state(spaces);
    EXPECT_FALSE(focus().focusMode.get());
}

// Locked, a Focus change is told by a notification, not the activity: see focus_live_activity_custom.
TEST_F(FocusTest, LockedShowsTheNotificationAndAsksAllowFocusWhenLocked) {
    defaults().set(keys::displayWhileActive, true);
    setAsOwner(ctx->lock().isLocked, true);
    defaults().set(keys::allowFocusWhenLocked, false);
    EXPECT_FALSE(focus().allowsNotification(N::isFocus));
    state(kWork);
    EXPECT_EQ(calls.of("setNotification").size(), 1u);
    EXPECT_FALSE(notch().hasNotification) << "refused by the notch while locked";

    setAsOwner(ctx->lock().isLocked, false);
    setAsOwner(ctx->lock().hasScreensaver, true);
    EXPECT_FALSE(focus().wantsLiveActivity());
    defaults().set(keys::enableFocus, false);
    EXPECT_FALSE(focus().allowsNotification(N::isFocus));
    calls.lines.clear();
    dnd(false);
    EXPECT_TRUE(calls.lines.empty()) << "Focus off in the settings posts nothing";
}

// Nothing read after a stream error is played in focus_live_activity_custom.
TEST_F(FocusTest, TheStreamNeedsBothDaemonsAndRestartsWhenFocusIsTurnedOn) {
    EXPECT_TRUE(focus().isFollowing());
    sim->simLogStream().fail("Connection interrupted");
    EXPECT_TRUE(logged("Log stream error: Connection interrupted"));
    EXPECT_FALSE(focus().isFollowing());

    sim->simProcesses().quit(412);
    defaults().set(keys::enableFocus, false);
    defaults().set(keys::enableFocus, true);
    EXPECT_FALSE(focus().isFollowing()) << "without donotdisturbd there is no stream";

    sim->simProcesses().launch({413, "donotdisturbd"});
    defaults().set(keys::enableFocus, false);
    defaults().set(keys::enableFocus, true);
    EXPECT_TRUE(focus().isFollowing());
    EXPECT_EQ(sim->simLogStream().openStreams(), 1u) << "a restart replaces the stream";
    state(kWork);
    EXPECT_TRUE(focus().isFocus);
}

}  // namespace
}  // namespace halvyn::context_testing
