#include "lockscreen/lock_manager.h"

#include "lockscreen/lock_screen.h"
#include "notch/notch_sources.h"
#include "sources/sources_fixture.h"
#include "runtime/owned_access.h"

namespace halvyn::sources_testing {
namespace {

struct Wanting final : LiveActivitySource {
    bool wants = false;
    bool wantsLiveActivity() const override { return wants; }
};

class SuspendSpy final : public SystemHUDSuppression {
public:
    int suspended = 0;
    void suppressSystemHUD() override {}
    void restoreSystemHUD() override {}
    void suspendDisplayProcess() override { ++suspended; }
};

class LockTest : public SourcesTest {
protected:
    LockTest() {
        ctx->assemble({.systemHUD = &osd});
        visibility = ctx->lockScreen().isVisible.observe(
            [this](const bool& shown, const Animation*) { panel.push_back(shown ? "show" : "hide"); });
        registration = ctx->notchSources().addLiveActivitySource(L::isPlaying, playing);
        startNotch();
        lock();
    }
    LockManager& lock() { return ctx->lock(); }
    void post(WorkspaceEvent event) { sim->simWorkspace.post(event); }
    void screenLock() { post(WorkspaceEvent::screenLocked); }
    void screenUnlock() { post(WorkspaceEvent::screenUnlocked); }

    SuspendSpy osd;
    Wanting playing;
    Subscription registration;
    Subscription visibility;
    std::vector<std::string> panel;
};

// Lock and unlock with the lock screen on or off, under the screensaver, soon after waking: the
// lock scenarios' traces. Here: what those do not show.
TEST_F(LockTest, WithTheLockScreenOffUnlockingHandsBackAtOnceWithoutForcing) {
    defaults().set(keys::enableLockScreen, false);
    screenLock();
    EXPECT_FALSE(lock().wantsLiveActivity());
    at(2);
    playing.wants = true;
    at(3);
    screenUnlock();
    EXPECT_EQ(calls.of("setLiveActivity").back(), "3.000 setLiveActivity [true,\"isPlaying\",false,null,0.35]");
    at(5);
    EXPECT_EQ(calls.of("setLiveActivity").size(), 2u);
    EXPECT_TRUE(panel.empty());
    EXPECT_EQ(osd.suspended, 0);
}

TEST_F(LockTest, ASecondLockAfterTheScreensaverClearsTheNotchAgainWithoutPanelOrSound) {
    defaults().set(keys::playSoundOnLock, true);
    post(WorkspaceEvent::screensaverStarted);
    screenLock();
    at(1);
    post(WorkspaceEvent::screensaverStopped);
    calls.calls.clear();
    screenLock();
    at(2);
    EXPECT_TRUE(panel.empty());
    EXPECT_TRUE(sounds().empty());
    EXPECT_EQ(calls.of("setLiveActivity").front(), "1.000 setLiveActivity [false,\"none\",false,null,0.35]");
}

TEST_F(LockTest, NoLockSoundWithinHalfASecondOfWaking) {
    defaults().set(keys::playSoundOnLock, true);
    sim->simWorkspace.post(WorkspaceEvent::didWake);
    EXPECT_TRUE(lock().hasRecentlyWokeFromSleep.get());
    at(0.999);
    screenLock();
    EXPECT_TRUE(sounds().empty());
    screenUnlock();
    at(1.0);
    EXPECT_FALSE(lock().hasRecentlyWokeFromSleep.get());
    screenLock();
    EXPECT_EQ(sounds(), (std::vector<std::string>{"unlock", "lock"}));
}

TEST_F(LockTest, SuppressionIsReappliedOnlyBetweenSystems15And26) {
    for (auto [version, expected] : std::vector<std::pair<const char*, int>>{{"14.6", 0}, {"15.0", 1}, {"26.0", 0}}) {
        sim->system.setVersion(version);
        osd.suspended = 0;
        screenLock();
        screenUnlock();
        EXPECT_EQ(osd.suspended, expected) << version;
    }
    sim->system.setVersion("15.1");
    defaults().set(keys::enableVolume, false);
    defaults().set(keys::enableBrightness, false);
    osd.suspended = 0;
    screenLock();
    screenUnlock();
    EXPECT_EQ(osd.suspended, 0);
}

TEST_F(LockTest, ExpandedNotchCollapsesOnLock) {
    setAsOwner(notch().isExpanded, true);
    screenLock();
    at(0.7);
    const auto expanded = calls.of("setExpanded");
    ASSERT_EQ(expanded.size(), 1u);
    EXPECT_EQ(expanded[0], "0.700 setExpanded [false,true]");
}

}  // namespace
}  // namespace halvyn::sources_testing
