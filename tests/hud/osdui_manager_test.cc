// The system-display suppression: the instance that is drawing or already held, a process gone
// before its signal, a failing state query, the port's guard and the callers by setting. The
// kill, stop and continue sequence is played in hud_suppression_off.

#include "hud/osdui_manager.h"

#include "hud_fixture.h"

namespace halvyn::testing {
namespace {

class OSDUITest : public HudTest {
protected:
    OSDUIManager& osd() { return app().osdUI(); }
    void launchHelper(ProcessID pid, bool onScreen = false) {
        sim->simProcesses().launch({pid, "OSDUIHelper", std::string(OSDUIManager::kBundleIdentifier), false, onScreen});
        time->runCurrent();
    }
    std::vector<std::string> signals() const {
        std::vector<std::string> out;
        for (auto& e : effects("signal"))
            out.push_back(e.fields[0].second.toJson() + " " + e.fields[1].second.asString());
        return out;
    }
    using Strings = std::vector<std::string>;
};

// Whatever an adapter would deliver, signals through the port never reach every process (-1),
// a process group (0), init or this program.
TEST(ProcessesPort, SignalsNeverReachPidsOneAndBelowOrThisProgram) {
    struct Recording final : Processes {
        std::vector<ProcessID> signalled;
        std::vector<RunningApplication> runningApplications() const override { return {}; }
        std::vector<RunningApplication> runningApplications(const std::string&) const override { return {}; }
        Subscription observeRunningApplications(std::function<void(const std::vector<RunningApplication>&)>) override {
            return {};
        }
        std::optional<RunningApplication> frontmostApplication() const override { return std::nullopt; }
        Subscription observeActivation(std::function<void(const RunningApplication&)>) override { return {}; }
        bool sendSignal(ProcessID pid, ProcessSignal) override {
            signalled.push_back(pid);
            return true;
        }
        ProcessStatus status(ProcessID) const override { return {}; }
        std::vector<std::string> onScreenWindowOwners() const override { return {}; }
        std::optional<std::string> pgrep(const std::string&) const override { return std::nullopt; }
    } processes;
    for (ProcessID pid : {-1, 0, 1, static_cast<ProcessID>(::getpid()), 2, 4242})
        processes.signal(pid, ProcessSignal::kill);
    EXPECT_EQ(processes.signalled, (std::vector<ProcessID>{2, 4242}));
}

TEST_F(OSDUITest, AnInstanceThatIsDrawingIsLeftUntilTheNextChance) {
    osd().suppressSystemHUD();
    EXPECT_TRUE(signals().empty());
    launchHelper(400, true);
    EXPECT_EQ(osd().osduiPID, 400);
    EXPECT_TRUE(signals().empty());
    sim->simProcesses().setOnScreenWindow(400, false);
    osd().suspendDisplayProcess();
    EXPECT_EQ(signals(), Strings{"400 SIGSTOP"});
    osd().suspendDisplayProcess();  // already stopped: nothing more
    EXPECT_EQ(signals().size(), 1u);
}

TEST_F(OSDUITest, AProcessThatExitsBeforeItsSignalIsForgotten) {
    osd().suppressSystemHUD();
    sim->simProcesses().launch({500, "OSDUIHelper", std::string(OSDUIManager::kBundleIdentifier), false, false});
    sim->simProcesses().quit(500);  // gone before the main queue takes the new list
    time->runCurrent();
    EXPECT_EQ(osd().osduiPID, 0);
    EXPECT_TRUE(signals().empty());
    osd().restoreSystemHUD();
    EXPECT_TRUE(signals().empty());
}

TEST_F(OSDUITest, FailingStateQueryIsLoggedAndCountsAsRunning) {
    osd().suppressSystemHUD();
    sim->simProcesses().setStatusError("Operation not permitted");
    launchHelper(600);
    EXPECT_TRUE(logs.contains("sysctl: Operation not permitted"));
    EXPECT_EQ(signals(), Strings{"600 SIGSTOP"});
}

// Suppression taken and given back as the switches go off is played in hud_suppression_off; a
// switch turned on again takes it again, ending the instance that started meanwhile.
TEST_F(OSDUITest, SettingsTakeAndGiveBackTheSystemDisplay) {
    osd().followSettings();
    osd().suppressSystemHUD();
    set(keys::enableVolume, false);
    set(keys::enableBrightness, false);
    EXPECT_FALSE(osd().isObserving());
    launchHelper(801);
    EXPECT_TRUE(signals().empty());
    set(keys::enableVolume, true);
    EXPECT_TRUE(osd().isObserving());
    EXPECT_EQ(signals(), Strings{"801 SIGKILL"});
}

TEST_F(OSDUITest, QuittingGivesTheDisplayBackWhenEitherDisplayIsOn) {
    osd().suppressSystemHUD();
    launchHelper(900);
    app().defaults().set(keys::enableVolume, false);
    osd().applicationWillTerminate();
    EXPECT_EQ(signals().back(), "900 SIGCONT");
    app().defaults().set(keys::enableBrightness, false);
    osd().applicationWillTerminate();
    EXPECT_EQ(signals().size(), 2u);
}

}  // namespace
}  // namespace halvyn::testing
