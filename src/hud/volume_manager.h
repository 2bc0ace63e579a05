#pragma once
// Follows the output volume and mute state of the audio devices, asks the notch for the volume
// display when the user changes the volume, and applies the volume the notch's sliders set.

#include <memory>
#include <optional>
#include <vector>

#include "notch/notch_sources.h"
#include "platform/audio_devices.h"
#include "runtime/debounce.h"
#include "runtime/logger.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "runtime/seam.h"
#include "runtime/throttle.h"

namespace halvyn {

class Services;
class Defaults;
class FocusStateSource;
class NowPlayingVisibility;
class Notch;
class NotchSources;
class ConnectivityManager;

class VolumeManager final : public NotificationSource {
public:
    VolumeManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                  ConnectivityManager& connectivity, Seam<FocusStateSource> focus,
                  Seam<NowPlayingVisibility> nowPlaying);
    ~VolumeManager() override;
    VolumeManager(const VolumeManager&) = delete;
    VolumeManager& operator=(const VolumeManager&) = delete;

    // Level shown by the views: 0 while muted, else the device volume.
    Owned<float, VolumeManager> volume{1.0f};
    // Last known device volume, also while muted.
    Owned<float, VolumeManager> actualVolume{1.0f};
    Owned<bool, VolumeManager> isMuted{false};
    // How far past full the device amplifies (0.2 at 120 %), also while muted; 0 at full or below.
    // `volume` and `actualVolume` stay within 0...1, so everything that reads them keeps its range.
    Owned<float, VolumeManager> overAmplification{0.0f};
    // A volume slider of the notch is being dragged; set by the slider views.
    Owned<bool, VolumeManager> isDraggingSlider{false};
    // The user set the volume through a notch slider within the last 0.15 s.
    Owned<bool, VolumeManager> hasRecentlyChangedVolume{false};

    // Asked by the notch before the volume display shows.
    bool allowsNotification(Notch::Notification kind) const override;
    // A notch slider asks for this level.
    void setVolume(float level);
    // The user holds the volume slider (or lets it go).
    void dragSlider(bool dragging) { isDraggingSlider.set(dragging); }

    const PropertySet& properties() const { return properties_; }

    // The sizes of the steps that volume and brightness keys make.
    static constexpr float kKeySteps[] = {0.06f, 0.05f, 0.04f, 0.03f, 0.02f, 0.01f};

private:
    void volumeChanged(float reading);
    void readBaseline();
    void muteChanged(bool muted);
    void applyVolume(float level);
    void showHUD();
    // The stops shared by volume and mute changes: the display is off, the notch shows its own
    // output control, a slider is at work, or the lock-screen widget has its slider.
    bool isQuiet() const;
    // The current output device, as the audio-output source follows it.
    std::optional<AudioDevice> outputDevice() const;
    bool isNowPlayingHidden() const;
    void postWeak(std::function<void(VolumeManager&)> fn);

    Services& ctx_;
    Seam<FocusStateSource> focus_;
    Seam<NowPlayingVisibility> nowPlaying_;
    Defaults& defaults_;
    Notch& notch_;
    NotchSources& sources_;
    ConnectivityManager& connectivity_;
    AudioDevices* simplyCA;
    Logger logger;
    Debounce hasRecentlyChangedVolumeDebounce;
    Debounce setVolumeDebounce;
    Throttle<float> volumeStream;
    Throttle<bool> muteStream;
    std::optional<float> lastDeviceVolume;
    std::optional<bool> lastDeviceMute;
    std::vector<Subscription> cancellables;
    Subscription registration_;
    PropertySet properties_;
    std::shared_ptr<VolumeManager*> self_;
};

// Whether a change of `diff` has the size of a volume or brightness key step (rounded down to
// hundredths, within 0.001 of 0.06, 0.05, ..., 0.01).
bool isKeyStep(float diff);

}  // namespace halvyn
