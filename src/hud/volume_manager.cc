#include "hud/volume_manager.h"

#include <algorithm>
#include <cmath>

#include "notch/notch.h"
#include "nowplaying/now_playing_visibility.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "settings/hud_settings.h"
#include "settings/keys.h"
#include "sources/connectivity_manager.h"
#include "sources/source_state.h"

namespace halvyn {

namespace {
constexpr Duration kThrottle = std::chrono::milliseconds(100);
const Animation kSpring = Animation::spring(0.35, 0.3);

// A device reading within 0...kMaxDeviceVolume; nothing for one that is not a number.
std::optional<float> reading(std::optional<float> v) {
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return std::clamp(*v, 0.0f, kMaxDeviceVolume);
}
}  // namespace

bool isKeyStep(float diff) {
    const float rounded = std::floor(diff * 100.0f) / 100.0f;
    for (float step : VolumeManager::kKeySteps)
        if (std::fabs(rounded - step) < 0.001f) return true;
    return false;
}

VolumeManager::VolumeManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                             ConnectivityManager& connectivity, Seam<FocusStateSource> focus,
                             Seam<NowPlayingVisibility> nowPlaying)
    : ctx_(ctx), focus_(std::move(focus)), nowPlaying_(std::move(nowPlaying)), defaults_(defaults), notch_(notch),
      sources_(sources), connectivity_(connectivity),
      simplyCA(ctx.platform().audioDevices()),
      logger(ctx.logger("VolumeManager")),
      hasRecentlyChangedVolumeDebounce(ctx.main(), "hasRecentlyChangedVolumeDebounce"),
      setVolumeDebounce(ctx.main(), "setVolumeDebounce"),
      volumeStream(ctx.main(), kThrottle, [this](const float& v) { postWeak([v](VolumeManager& m) { m.volumeChanged(v); }); }),
      muteStream(ctx.main(), kThrottle, [this](const bool& m) { postWeak([m](VolumeManager& v) { v.muteChanged(m); }); }),
      self_(std::make_shared<VolumeManager*>(this)) {
    if (auto device = outputDevice(); device && simplyCA) {
        if (auto v = reading(simplyCA->volume(device->id))) {
            actualVolume = std::min(*v, 1.0f);
            overAmplification = *v - actualVolume;
        }
        if (auto m = simplyCA->isMuted(device->id)) isMuted = *m;
    }
    volume = isMuted ? 0.0f : actualVolume.get();

    if (simplyCA) {
        cancellables.push_back(simplyCA->onConnected([this] { readBaseline(); }));
        // Each device change is reduced to the new value; repeats are dropped before the
        // throttle so that a burst of identical notifications costs one interval at most.
        cancellables.push_back(simplyCA->onVolumeChanged([this](AudioDeviceID id) {
            auto v = reading(simplyCA->volume(id));
            if (!v || lastDeviceVolume == v) return;
            lastDeviceVolume = v;
            volumeStream.push(*v);
        }));
        cancellables.push_back(simplyCA->onMuteChanged([this](AudioDeviceID id) {
            auto m = simplyCA->isMuted(id);
            if (!m || lastDeviceMute == m) return;
            lastDeviceMute = m;
            muteStream.push(*m);
        }));
    }
    registration_ = sources_.addNotificationSource(Notch::Notification::didChangeVolume, *this);

    properties_.add("volume", volume);
    properties_.add("actualVolume", actualVolume);
    properties_.add("isMuted", isMuted);
    properties_.add("isDraggingSlider", isDraggingSlider);
    properties_.add("hasRecentlyChangedVolume", hasRecentlyChangedVolume);
}

VolumeManager::~VolumeManager() { *self_ = nullptr; }

// An audio service that answers after start-up, or comes back, is read as at construction: the
// level it has is no change the user made, so nothing is shown; the next change is measured from it.
void VolumeManager::readBaseline() {
    const auto device = simplyCA->defaultOutputDevice();
    if (!device) return;
    lastDeviceVolume = reading(simplyCA->volume(device->id));
    lastDeviceMute = simplyCA->isMuted(device->id);
    if (lastDeviceVolume) {
        actualVolume = std::min(*lastDeviceVolume, 1.0f);
        overAmplification = *lastDeviceVolume - actualVolume;
    }
    if (lastDeviceMute) isMuted = *lastDeviceMute;
    volume = isMuted ? 0.0f : actualVolume.get();
}

void VolumeManager::postWeak(std::function<void(VolumeManager&)> fn) {
    ctx_.main().post([weak = std::weak_ptr<VolumeManager*>(self_), fn = std::move(fn)] {
        if (auto s = weak.lock(); s && *s) fn(**s);
    });
}

std::optional<AudioDevice> VolumeManager::outputDevice() const { return connectivity_.audioDevice.get(); }

bool VolumeManager::isNowPlayingHidden() const {
    const NowPlayingVisibility* nowPlaying = nowPlaying_.get();
    return nowPlaying && nowPlaying->isHidden();
}

bool VolumeManager::allowsNotification(Notch::Notification) const {
    auto& d = defaults_;
    return allowsShowing(d, focus_, sources_,
                         {keys::enableVolume, keys::allowVolumeWhenFocused, keys::allowVolumeWhenLocked});
}

bool VolumeManager::isQuiet() const {
    auto& d = defaults_;
    if (!d.get(keys::enableVolume)) return true;
    Notch& notch = notch_;
    if (notch.isExpanded && notch.hasOutput) return true;
    if (isDraggingSlider || hasRecentlyChangedVolume) return true;
    if (d.get(keys::showVolumeControl) && isScreenLocked(sources_) && d.get(keys::allowNowPlayingWidgetWhenLocked) &&
        !isNowPlayingHidden())
        return true;
    return false;
}

void VolumeManager::volumeChanged(float value) {
    // A step past full moves only the amplification, and is shown like any other step.
    const float level = std::min(value, 1.0f), over = value - level;
    if (volume.get() == level && overAmplification.get() == over) return;
    const float previous = volume.get() > 0.0f ? volume.get() + overAmplification.get() : 0.0f;
    volume.set(level, kSpring);
    actualVolume = level;
    overAmplification.set(over, kSpring);
    isMuted.set(level == 0.0f, kSpring);

    if (isQuiet()) return;

    const float diff = std::fabs(previous - value);
    logger.info("volumeDiff: %{public}f", diff);
    ConnectivityManager& connectivity = connectivity_;
    if (auto device = connectivity.virtualDevice.get(); device && device->isAirPodsFamily() && !isKeyStep(diff))
        return;
    if (diff >= 0.1f) return;
    if (connectivity.hasRecentlyChangedOutputDevice) return;
    postWeak([](VolumeManager& m) { m.showHUD(); });
}

void VolumeManager::muteChanged(bool muted) {
    if (isMuted.get() == muted) return;
    {
        AnimationScope scope(&kSpring);
        isMuted = muted;
        volume = muted ? 0.0f : actualVolume.get();
    }
    if (isQuiet()) return;
    if (connectivity_.hasRecentlyChangedOutputDevice) return;
    showHUD();
}

void VolumeManager::setVolume(float level) {
    if (isDraggingSlider) {
        hasRecentlyChangedVolumeDebounce.cancel();
        hasRecentlyChangedVolume = true;
        hasRecentlyChangedVolumeDebounce.schedule(0.15, [this] { hasRecentlyChangedVolume = false; });
    }
    setVolumeDebounce.schedule(0.01, [this, level] { applyVolume(level); });
}

void VolumeManager::applyVolume(float level) {
    auto device = outputDevice();
    float target = level;
    if (isMuted) {
        // Unmuting from a slider starts one step above the volume that was muted (one below when
        // the slider went to zero); the step must not carry the level past either end.
        target = level != 0.0f ? actualVolume + 0.1f : actualVolume - 0.1f;
        target = std::clamp(target, 0.0f, 1.0f);
        if (device && simplyCA) simplyCA->setMuted(device->id, false);
    }
    actualVolume = target;
    if (device && simplyCA) simplyCA->setVolume(device->id, target);
}

void VolumeManager::showHUD() {
    const HUDSettings s = hudSettings(defaults_, HUDKind::volume);
    notch_.setNotification(true, Notch::Notification::didChangeVolume, animationDuration(s.speed), s.duration);
}

}  // namespace halvyn
