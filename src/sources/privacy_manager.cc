#include "sources/privacy_manager.h"

#include <algorithm>

#include "platform/platform.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "sources/source_state.h"

namespace halvyn {

namespace {
constexpr double kNotificationSeconds = 3.0;

Value toValue(const std::vector<std::string>& names) {
    Value::Array out;
    for (const auto& n : names) out.emplace_back(n);
    return Value(std::move(out));
}
}  // namespace

std::vector<std::string> captureApplications(const std::vector<CaptureUse>& uses) {
    std::vector<std::string> names;
    for (const auto& use : uses) {
        if (use.isOwn || use.isLevelMeter) continue;
        names.push_back(use.application.empty() ? "Unknown application" : use.application);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    if (names.size() > kMaxCaptureApplications) names.resize(kMaxCaptureApplications);
    return names;
}

PrivacyManager::PrivacyManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                               Seam<FocusStateSource> focus)
    : ctx_(ctx), focus_(std::move(focus)), sources_(sources), defaults_(defaults), notch_(notch),
      port_(ctx.platform().captureDevices()) {
    auto list = [](const Published<std::vector<std::string>>& p) {
        return [&p] { return toValue(p.get()); };
    };
    auto watch = [](const Published<std::vector<std::string>>& p) {
        return [&p](std::function<void()> cb) {
            return p.observe([cb = std::move(cb)](const std::vector<std::string>&, const Animation*) { cb(); });
        };
    };
    properties_.add("microphoneApplications", list(microphoneApplications), watch(microphoneApplications));
    properties_.add("cameraApplications", list(cameraApplications), watch(cameraApplications));
    properties_.add("isIndicatorVisible", isIndicatorVisible);
    properties_.add("startedApplication", startedApplication);
    properties_.add("startedDevice", startedDevice);

    const Lifetime::Token weak = lifetime_.token();
    if (port_) {
        cancellables_.push_back(port_->observeChanges([this, weak](CaptureDevice device, bool firstReading) {
            if (weak) read(device, firstReading);
        }));
        read(CaptureDevice::microphone, true);
        read(CaptureDevice::camera, true);
    }
    cancellables_.push_back(defaults_.observe(keys::showPrivacyIndicator, [this, weak](bool, bool) {
        if (weak) updateIndicator();
    }));
    cancellables_.push_back(sources.addNotificationSource(Notch::Notification::isRecording, *this));
}

PrivacyManager::~PrivacyManager() = default;

bool PrivacyManager::allowsNotification(Notch::Notification) const {
    if (!defaults_.get(keys::notifyWhenRecordingStarts)) return false;
    return !isFocusActive(focus_) && !isScreenLocked(sources_);
}

std::optional<std::string> PrivacyManager::notificationText() const {
    if (!startedApplication.get() || !startedDevice.get()) return std::nullopt;
    const bool camera = *startedDevice.get() == CaptureDevice::camera;
    return *startedApplication.get() + (camera ? " is using the camera" : " is using the microphone");
}

void PrivacyManager::read(CaptureDevice device, bool baseline) {
    auto& published = device == CaptureDevice::camera ? cameraApplications : microphoneApplications;
    const std::vector<std::string> before = published.get();
    published = captureApplications(port_->uses(device));
    updateIndicator();
    if (baseline) return;
    // A start is a name that was not there before; a list that only shrinks starts nothing.
    for (const auto& name : published.get()) {
        if (std::find(before.begin(), before.end(), name) != before.end()) continue;
        startedApplication = name;
        startedDevice = device;
        notch_.setNotification(true, Notch::Notification::isRecording, 0.35, kNotificationSeconds);
        return;
    }
}

void PrivacyManager::updateIndicator() {
    const bool inUse = !microphoneApplications.get().empty() || !cameraApplications.get().empty();
    isIndicatorVisible = inUse && defaults_.get(keys::showPrivacyIndicator);
}

}  // namespace halvyn
