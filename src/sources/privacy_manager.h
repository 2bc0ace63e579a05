#pragma once
// Follows who records from the microphone and who has a camera open: publishes the applications
// using each, whether the in-use dot shows, and asks the notch for a short notification naming
// the application when recording starts. Level meters and this program's own use are no one's
// recording and are left out of everything.

#include <optional>
#include <string>
#include <vector>

#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "platform/capture_devices.h"
#include "runtime/case_names.h"
#include "runtime/lifetime.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "runtime/seam.h"

namespace halvyn {

class Services;
class Defaults;
class FocusStateSource;
class NotchSources;

// The names an application list holds at most; a hostile system cannot grow the notch's list.
inline constexpr std::size_t kMaxCaptureApplications = 8;

// The applications behind the uses, as the notch shows them: without level meters and this
// program's own use, one entry per name, sorted; an unnamed use reads "Unknown application".
std::vector<std::string> captureApplications(const std::vector<CaptureUse>& uses);

class PrivacyManager final : public NotificationSource {
public:
    PrivacyManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                   Seam<FocusStateSource> focus);
    ~PrivacyManager() override;
    PrivacyManager(const PrivacyManager&) = delete;
    PrivacyManager& operator=(const PrivacyManager&) = delete;

    Owned<std::vector<std::string>, PrivacyManager> microphoneApplications;
    Owned<std::vector<std::string>, PrivacyManager> cameraApplications;
    // A device is in use and "showPrivacyIndicator" is on: the dot and the open notch's list show.
    Owned<bool, PrivacyManager> isIndicatorVisible{false};
    // The latest start of a recording: the application and its device.
    Owned<std::optional<std::string>, PrivacyManager> startedApplication;
    Owned<std::optional<CaptureDevice>, PrivacyManager> startedDevice;

    // isRecording: "notifyWhenRecordingStarts" on, no Focus, the screen not locked.
    bool allowsNotification(Notch::Notification kind) const override;
    // "Firefox is using the microphone"; nothing before any start.
    std::optional<std::string> notificationText() const;

    const PropertySet& properties() const { return properties_; }

private:
    // `baseline`: what is in use when following starts is no start.
    void read(CaptureDevice device, bool baseline);
    void updateIndicator();

    Services& ctx_;
    Seam<FocusStateSource> focus_;
    NotchSources& sources_;
    Defaults& defaults_;
    Notch& notch_;
    CaptureDevices* port_;
    Lifetime lifetime_;
    std::vector<Subscription> cancellables_;
    PropertySet properties_;
};

template <>
struct OptionTraits<CaptureDevice> {
    static constexpr OptionCase<CaptureDevice> cases[] = {
        {CaptureDevice::microphone, "microphone", "Microphone"},
        {CaptureDevice::camera, "camera", "Camera"},
    };
};

}  // namespace halvyn
