#include "sources/privacy_manager.h"

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

// A second application, the ends of use and own or meter use are played in privacy_two_apps and
// privacy_suppressed.
TEST_F(PrivacyTest, NotifiesOnlyWhenANewApplicationStartsNotForUseAtStartUpOrEnds) {
    use(CaptureDevice::microphone, "Zoom", true);  // recording before the program starts
    startNotch();
    EXPECT_EQ(privacy().microphoneApplications.get(), Names{"Zoom"});
    EXPECT_TRUE(privacy().isIndicatorVisible.get());
    at(1);
    use(CaptureDevice::camera, "Firefox", true);
    EXPECT_EQ(privacy().cameraApplications.get(), Names{"Firefox"});
    EXPECT_EQ(privacy().notificationText(), "Firefox is using the camera");
    EXPECT_EQ(calls.requests(), std::vector<std::string>{"1.000 setNotification [true,\"isRecording\",0.35,3]"});
}

}  // namespace
}  // namespace halvyn::sources_testing
