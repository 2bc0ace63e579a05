#pragma once
// Follows the default audio output device: recognises what kind of device it is, reads the
// battery of Bluetooth AirPods, and asks the notch for the accessory-connected and accessory
// low-battery notifications.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "platform/audio_devices.h"
#include "platform/bluetooth.h"
#include "runtime/debounce.h"
#include "runtime/lifetime.h"
#include "runtime/logger.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "runtime/seam.h"
#include "sources/virtual_device.h"

namespace halvyn {

class Services;
class Defaults;
class FocusStateSource;
class Notch;
class NotchSources;
class SoundManager;

// The buds in use and the battery of an accessory, as far as its readings tell.
struct AccessoryBattery {
    std::optional<AirPodsState> state;
    std::optional<double> level;  // 0...1
};

// Percentages 1 to 100 are readings; 0 and 101 to 255 are not.
AccessoryBattery readAccessoryBattery(const PairedDevice& accessory);
// The connected paired device whose address is the output device's unique identifier up to the
// first ":", compared without case and surrounding white space.
const PairedDevice* findAccessory(const std::vector<PairedDevice>& paired, const std::optional<std::string>& uid);
// The device kind from the transport, model and unique identifier; for Bluetooth the product
// identifier picks the AirPods model, which carries `state` (or the accessory's colour).
VirtualDevice recognizeDevice(const AudioDevice& device, std::optional<AirPodsState> state,
                              AirPodsMaxColor color);

class ConnectivityManager final : public NotificationSource, public AccessorySource {
public:
    ConnectivityManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources, SoundManager& sounds,
                        Seam<FocusStateSource> focus);
    ~ConnectivityManager() override;
    ConnectivityManager(const ConnectivityManager&) = delete;
    ConnectivityManager& operator=(const ConnectivityManager&) = delete;

    Owned<std::optional<AudioDevice>, ConnectivityManager> audioDevice;
    Owned<std::optional<VirtualDevice>, ConnectivityManager> virtualDevice;
    // Battery of the AirPods-family accessory, 0...1.
    Owned<std::optional<double>, ConnectivityManager> batteryLevel;
    // The low-battery warning has been given, or is not due: starts true so that a level that is
    // already low at start-up does not warn until it has once been above the threshold.
    Owned<bool, ConnectivityManager> hasPassedThreshold{true};
    // True for 0.5 s after each output-device change; the volume display stays quiet.
    Owned<bool, ConnectivityManager> hasRecentlyChangedOutputDevice{false};
    Owned<BluetoothAuthorization, ConnectivityManager> authorizationStatus{BluetoothAuthorization::notDetermined};

    // didConnectAirPods, isLowAirPodsBattery.
    bool allowsNotification(Notch::Notification kind) const override;
    std::optional<VirtualDevice> currentDevice() const override { return virtualDevice.get(); }

    // The current device's symbol, and the one showing the buds in use, as the views draw them;
    // empty without a device. The built-in screen's camera housing picks the notched laptop.
    std::string deviceSymbol() const;
    std::string budsSymbol() const;

    // The colour asset of the accessory battery indicator in the connectivity notification:
    // "RoseColor" at or below "lowConnectBatteryThreshold", else "GreenColor"; nothing (no
    // indicator) while the level is unknown.
    std::optional<std::string> batteryIndicatorColor() const;

    // Whether the accessory battery timer runs.
    bool isTimerRunning() const { return timer_.pending(); }

    const PropertySet& properties() const { return properties_; }

private:
    void recognize(const AudioDevice& device);
    void outputDeviceChanged(const AudioDevice& device);
    void recognizeCurrentDevice();
    void startTimer();
    void stopTimer();
    void scheduleFiring(Uptime due, Duration period);
    void timerFired();
    void batteryRead(const std::string& uid, AccessoryBattery reading, AirPodsMaxColor color);
    bool isWatching() const;
    bool isShowing(Notch::Notification kind) const;
    bool builtInScreenHasNotch() const;

    Services& ctx_;
    Seam<FocusStateSource> focus_;
    Defaults& defaults_;
    Notch& notch_;
    NotchSources& sources_;
    SoundManager& sounds_;
    AudioDevices* simplyCA;
    Bluetooth* bluetooth_;
    Logger logger;
    Lifetime lifetime_;
    std::vector<Subscription> cancellables;
    Debounce outputDeviceDebounce_;
    TaskHandle timer_;
    PropertySet properties_;
};

Value toValue(BluetoothAuthorization a);

}  // namespace halvyn
