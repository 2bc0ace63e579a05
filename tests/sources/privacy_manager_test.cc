#include "sources/privacy_manager.h"

#include "lockscreen/lock_manager.h"
#include "sources/source_state.h"
#include "sources_fixture.h"

namespace halvyn::sources_testing {
namespace {

using Names = std::vector<std::string>;

class PrivacyTest : public SourcesTest {
protected:
    PrivacyManager& privacy() { return ctx->privacy(); }
    void use(CaptureDevice device, std::string app, bool active, bool own = false, bool meter = false) {
        sim->capture.set(device, CaptureUse{std::move(app), 0, own, meter}, active);
    }
};

TEST(CaptureApplications, LeaveOutMetersAndOwnUseOneSortedBoundedEntryPerName) {
    std::vector<CaptureUse> uses{{"Firefox", 7, false, false}, {"", 8, false, false},    {"Firefox", 9, false, false},
                                 {"pavucontrol", 10, false, true}, {"Halvyn", 11, true, false}, {"Audacity", 0, false, false}};
    EXPECT_EQ(captureApplications(uses), (Names{"Audacity", "Firefox", "Unknown application"}));
    uses.clear();
    for (int i = 0; i < 20; ++i) uses.push_back({"app" + std::to_string(10 + i), i, false, false});
    EXPECT_EQ(captureApplications(uses).size(), kMaxCaptureApplications);
}

TEST_F(PrivacyTest, NotifiesOnlyWhenANewApplicationStartsNotForUseAtStartUpOrEnds) {
    use(CaptureDevice::microphone, "Zoom", true);  // recording before the program starts
    startNotch();
    EXPECT_EQ(privacy().microphoneApplications.get(), Names{"Zoom"});
    EXPECT_TRUE(privacy().isIndicatorVisible.get());

    at(1);
    use(CaptureDevice::camera, "Firefox", true);
    use(CaptureDevice::microphone, "pavucontrol", true, false, true);
    use(CaptureDevice::microphone, "Halvyn", true, true);
    EXPECT_EQ(privacy().cameraApplications.get(), Names{"Firefox"});
    EXPECT_EQ(privacy().microphoneApplications.get(), Names{"Zoom"});
    EXPECT_EQ(privacy().notificationText(), "Firefox is using the camera");
    EXPECT_EQ(calls.requests(), std::vector<std::string>{"1.000 setNotification [true,\"isRecording\",0.35,3]"});
    at(2);
    EXPECT_TRUE(notch().hasNotification.get());
    at(4.5);
    EXPECT_FALSE(notch().hasNotification.get());

    at(5);
    use(CaptureDevice::microphone, "Firefox", true);
    EXPECT_EQ(privacy().microphoneApplications.get(), (Names{"Firefox", "Zoom"}));
    EXPECT_EQ(privacy().notificationText(), "Firefox is using the microphone");
    use(CaptureDevice::microphone, "Zoom", false);
    use(CaptureDevice::camera, "Firefox", false);
    use(CaptureDevice::microphone, "Firefox", false);
    EXPECT_EQ(calls.requests().size(), 2u);
    EXPECT_FALSE(privacy().isIndicatorVisible.get());
}

TEST_F(PrivacyTest, SettingsFocusAndLockAreReadWhenUsed) {
    FocusSwitch focus;
    ctx->assemble({.focusState = &focus});
    startNotch();
    use(CaptureDevice::microphone, "Firefox", true);
    EXPECT_TRUE(notch().hasNotification.get() || notch().notificationIntent.get() == N::isRecording);

    focus.on = true;
    EXPECT_FALSE(privacy().allowsNotification(N::isRecording));
    focus.on = false;
    defaults().set(keys::notifyWhenRecordingStarts, false);
    EXPECT_FALSE(privacy().allowsNotification(N::isRecording));
    defaults().set(keys::notifyWhenRecordingStarts, true);
    sim->simWorkspace.post(WorkspaceEvent::screenLocked);
    EXPECT_FALSE(privacy().allowsNotification(N::isRecording));

    // The dot follows its setting as it changes, with the device still in use.
    defaults().set(keys::showPrivacyIndicator, false);
    at(1);
    EXPECT_FALSE(privacy().isIndicatorVisible.get());
    defaults().set(keys::showPrivacyIndicator, true);
    at(2);
    EXPECT_TRUE(privacy().isIndicatorVisible.get());
}

}  // namespace
}  // namespace halvyn::sources_testing
