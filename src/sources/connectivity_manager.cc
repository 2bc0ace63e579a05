#include "sources/connectivity_manager.h"

#include <algorithm>
#include <cctype>

#include "hud/sound_manager.h"
#include "platform/platform.h"
#include "platform/screens.h"
#include "platform/services.h"
#include "platform/workspace.h"
#include "settings/defaults.h"
#include "sources/source_state.h"

namespace halvyn {

namespace {

bool isValidPercent(std::uint8_t p) { return p >= 1 && p <= 100; }

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trimmed(const std::string& s) {
    auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    auto b = std::find_if_not(s.begin(), s.end(), space);
    auto e = std::find_if_not(s.rbegin(), std::string::const_reverse_iterator(b), space).base();
    return std::string(b, e);
}

std::string beforeColon(const std::string& s) { return s.substr(0, s.find(':')); }

// The first word of the model identifier: the product identifier of a Bluetooth accessory.
std::string productIdentifier(const std::optional<std::string>& model) {
    if (!model) return {};
    const auto begin = model->find_first_not_of(' ');
    if (begin == std::string::npos) return {};
    return lower(model->substr(begin, model->find(' ', begin) - begin));
}

bool isBluetooth(const AudioDevice& d) {
    return d.transportType == "Bluetooth" || d.transportType == "Bluetooth LE";
}

bool carriesState(VirtualDevice::Kind k) { return k <= VirtualDevice::Kind::airPodsPro3; }

}  // namespace

Value toValue(BluetoothAuthorization a) { return Value(caseName(a)); }

AccessoryBattery readAccessoryBattery(const PairedDevice& accessory) {
    const auto l = accessory.batteryPercentLeft;
    const auto r = accessory.batteryPercentRight;
    const auto s = accessory.batteryPercentSingle;
    AccessoryBattery out;
    if (l == 0 && isValidPercent(r)) {
        out.state = AirPodsState::rightOnly;
    } else if (r == 0 && isValidPercent(l)) {
        out.state = AirPodsState::leftOnly;
    } else if (l != 0 && r != 0) {
        if (isValidPercent(l) && isValidPercent(r))
            out.state = AirPodsState::both;
        else if (isValidPercent(l))
            out.state = AirPodsState::leftOnly;
        else if (isValidPercent(r))
            out.state = AirPodsState::rightOnly;
    }
    int lowest = 101;
    for (auto p : {l, r, s})
        if (isValidPercent(p)) lowest = std::min<int>(lowest, p);
    if (lowest <= 100) out.level = lowest / 100.0;
    return out;
}

const PairedDevice* findAccessory(const std::vector<PairedDevice>& paired, const std::optional<std::string>& uid) {
    if (!uid) return nullptr;
    const std::string address = lower(trimmed(beforeColon(*uid)));
    if (address.empty()) return nullptr;
    for (const auto& d : paired)
        if (d.isConnected && lower(trimmed(d.addressString)) == address) return &d;
    return nullptr;
}

VirtualDevice recognizeDevice(const AudioDevice& device, std::optional<AirPodsState> state, AirPodsMaxColor color) {
    using K = VirtualDevice::Kind;
    VirtualDevice v;
    if (isBluetooth(device)) {
        const std::string p = productIdentifier(device.modelUID);
        struct Product {
            const char* id;
            K kind;
        };
        static constexpr Product products[] = {
            {"2002", K::airPods},     {"200f", K::airPods2},    {"2013", K::airPods3},
            {"2019", K::airPods4},    {"201b", K::airPods4},    {"200e", K::airPodsPro},
            {"2014", K::airPodsPro2}, {"2024", K::airPodsPro2}, {"2027", K::airPodsPro3},
            {"200a", K::airPodsMax},  {"201f", K::airPodsMax2},
        };
        v.kind = K::headphones;
        for (const auto& product : products)
            if (p == product.id) v.kind = product.kind;
        if (carriesState(v.kind)) v.state = state;
        if (v.isAirPodsMax()) v.color = color;
        return v;
    }
    if (device.transportType == "USB") {
        const std::string model = device.modelUID ? beforeColon(*device.modelUID) : std::string();
        if (model == "EarPods")
            v.kind = K::earPods;
        else if (model == "Studio Display Audio Control")
            v.kind = K::studioDisplay;
        else if (model == "Pro Display XDR Audio Control")
            v.kind = K::proDisplayXdr;
        else
            v.kind = K::speakers;
        return v;
    }
    if (device.uid == "BuiltInHeadphoneOutputDevice")
        v.kind = K::headphones;
    else if (device.uid == "BuiltInSpeakerDevice")
        v.kind = K::macBook;
    else
        v.kind = K::speakers;
    return v;
}

ConnectivityManager::ConnectivityManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                                         SoundManager& sounds, Seam<FocusStateSource> focus)
    : ctx_(ctx), focus_(std::move(focus)), defaults_(defaults), notch_(notch), sources_(sources), sounds_(sounds),
      simplyCA(ctx.platform().audioDevices()),
      bluetooth_(ctx.platform().bluetooth()),
      logger(ctx.logger("ConnectivityManager")),
      outputDeviceDebounce_(ctx.main(), "hasRecentlyChangedOutputDevice") {
    properties_.add("audioDevice", audioDevice);
    properties_.add("virtualDevice", virtualDevice);
    properties_.add("batteryLevel", batteryLevel);
    properties_.add("hasPassedThreshold", hasPassedThreshold);
    properties_.add("hasRecentlyChangedOutputDevice", hasRecentlyChangedOutputDevice);
    properties_.add("authorizationStatus", authorizationStatus);

    if (bluetooth_) authorizationStatus.set(bluetooth_->authorization());
    sounds_.prepareAlert("low-battery", "caf");
    if (simplyCA) {
        if (auto device = simplyCA->defaultOutputDevice()) recognize(*device);
    }
    if (defaults_.get(keys::warnOnLowConnectBattery)) startTimer();

    const Lifetime::Token weak = lifetime_.token();
    if (simplyCA) {
        cancellables.push_back(simplyCA->onDefaultOutputDeviceChanged([this, weak](std::optional<AudioDevice> device) {
            if (weak && device) outputDeviceChanged(*device);
        }));
        // A (re)connected audio service is recognised as at start-up, without a notification.
        cancellables.push_back(simplyCA->onConnected([this, weak] {
            if (weak) recognizeCurrentDevice();
        }));
    }
    if (Workspace* ws = ctx.platform().workspace()) {
        for (auto event : {WorkspaceEvent::didWake, WorkspaceEvent::screensDidWake}) {
            cancellables.push_back(ws->observe(event, [this, weak] {
                if (weak) recognizeCurrentDevice();
            }));
        }
    }
    if (bluetooth_) {
        cancellables.push_back(bluetooth_->observeAuthorization([this, weak] {
            if (weak) authorizationStatus.set(bluetooth_->authorization());
        }));
    }
    Defaults& d = defaults_;
    cancellables.push_back(d.observe(keys::warnOnLowConnectBattery, [this, weak](const bool&, const bool& now) {
        if (!weak) return;
        if (now)
            startTimer();
        else
            stopTimer();
    }));
    cancellables.push_back(d.observe(keys::lowConnectBatteryThreshold, [this, weak](const double&, const double&) {
        if (!weak) return;
        stopTimer();
        if (defaults_.get(keys::warnOnLowConnectBattery)) startTimer();
    }));

    auto& registry = sources_;
    cancellables.push_back(registry.addNotificationSource(Notch::Notification::didConnectAirPods, *this));
    cancellables.push_back(registry.addNotificationSource(Notch::Notification::isLowAirPodsBattery, *this));
    cancellables.push_back(registry.setAccessory(*this));
}

ConnectivityManager::~ConnectivityManager() { timer_.cancel(); }

bool ConnectivityManager::allowsNotification(Notch::Notification) const {
    const Defaults& d = defaults_;
    return allowsShowing(d, focus_, sources_,
                         {keys::enableConnectivity, keys::allowConnectivityWhenFocused,
                          keys::allowConnectivityWhenLocked});
}

bool ConnectivityManager::isWatching() const {
    const Defaults& d = defaults_;
    return d.get(keys::enableConnectivity) ||
           (d.get(keys::enableLockScreen) && d.get(keys::allowConnectivityWhenLocked));
}

bool ConnectivityManager::isShowing(Notch::Notification kind) const {
    const Notch& notch = notch_;
    return notch.hasNotification.get() && notch.notification.get() == kind;
}

bool ConnectivityManager::builtInScreenHasNotch() const {
    if (Screens* screens = ctx_.platform().screens()) {
        for (const Screen& screen : screens->screens())
            if (screen.isBuiltIn()) return screen.hasAuxiliaryTopAreas();
    }
    return false;
}

std::string ConnectivityManager::deviceSymbol() const {
    const auto& device = virtualDevice.get();
    return device ? device->symbol(builtInScreenHasNotch()) : std::string();
}

std::string ConnectivityManager::budsSymbol() const {
    const auto& device = virtualDevice.get();
    return device ? device->budsSymbol(builtInScreenHasNotch()) : std::string();
}

std::optional<std::string> ConnectivityManager::batteryIndicatorColor() const {
    const auto level = batteryLevel.get();
    if (!level) return std::nullopt;
    return *level <= defaults_.get(keys::lowConnectBatteryThreshold) / 100.0 ? "RoseColor" : "GreenColor";
}

void ConnectivityManager::recognize(const AudioDevice& device) {
    audioDevice.set(device);
    if (isBluetooth(device)) {
        std::optional<std::vector<PairedDevice>> paired;
        if (bluetooth_) paired = bluetooth_->pairedDevices();
        const PairedDevice* accessory = paired ? findAccessory(*paired, device.uid) : nullptr;
        const AccessoryBattery reading = accessory ? readAccessoryBattery(*accessory) : AccessoryBattery{};
        batteryLevel.set(reading.level);
        const AirPodsMaxColor color = airPodsMaxColor(accessory ? accessory->colorID : std::nullopt);
        virtualDevice.set(recognizeDevice(device, reading.state, color));
    } else {
        virtualDevice.set(recognizeDevice(device, std::nullopt, AirPodsMaxColor::spaceGray));
    }
}

void ConnectivityManager::recognizeCurrentDevice() {
    if (!simplyCA) return;
    if (auto device = simplyCA->defaultOutputDevice()) recognize(*device);
}

void ConnectivityManager::outputDeviceChanged(const AudioDevice& device) {
    hasRecentlyChangedOutputDevice.set(true);
    outputDeviceDebounce_.schedule(0.5, [this] { hasRecentlyChangedOutputDevice.set(false); });

    if (!isWatching()) return;
    recognize(device);
    logger.info("deviceUID: %{public}s", device.uid.value_or(""));
    logger.info("deviceTransportType: %{public}s", device.transportType.value_or(""));
    logger.info("modelUID: %{public}s", device.modelUID.value_or(""));

    const Defaults& d = defaults_;
    if (!d.get(keys::enableConnectivity) || !virtualDevice.get() || !virtualDevice.get()->isAirPodsFamily()) return;
    const Lifetime::Token weak = lifetime_.token();
    ctx_.main().post([this, weak] {
        if (!weak) return;
        const Defaults& d = defaults_;
        if (!isShowing(Notch::Notification::isLowAirPodsBattery))
            notch_.setNotification(true, Notch::Notification::didConnectAirPods, 0.35,
                                         d.get(keys::connectivityDuration));
        // The connection notification shows the low level and stands in for the warning.
        const auto level = batteryLevel.get();
        if (level && *level <= d.get(keys::lowConnectBatteryThreshold) / 100.0 && !hasPassedThreshold.get())
            hasPassedThreshold.set(true);
    });
}

void ConnectivityManager::startTimer() {
    timer_.cancel();
    const Duration period = seconds(defaults_.get(keys::lowConnectBatteryThreshold) == 10.0 ? 1.0 : 2.0);
    scheduleFiring(ctx_.clock().uptime(), period);
}

void ConnectivityManager::stopTimer() { timer_.cancel(); }

void ConnectivityManager::scheduleFiring(Uptime due, Duration period) {
    const Lifetime::Token weak = lifetime_.token();
    // Each firing is due one period after the previous one was due, so the timer does not drift.
    timer_ = ctx_.main().postAfter(due - ctx_.clock().uptime(), [this, weak, due, period] {
        if (!weak) return;
        scheduleFiring(due + period, period);
        timerFired();
    });
}

void ConnectivityManager::timerFired() {
    if (!isWatching()) return;
    if (authorizationStatus.get() != BluetoothAuthorization::allowedAlways || !bluetooth_) return;
    const auto& device = audioDevice.get();
    if (!device || !virtualDevice.get() || !virtualDevice.get()->isAirPodsFamily()) return;

    // The Bluetooth stack may block: read it off the main queue and come back with the result.
    const std::string uid = device->uid.value_or("");
    Bluetooth* bluetooth = bluetooth_;
    MainQueue* main = &ctx_.main();
    const Lifetime::Token weak = lifetime_.token();
    ctx_.background().post([this, bluetooth, main, uid, weak] {
        const auto paired = bluetooth->pairedDevices();
        const PairedDevice* accessory = paired ? findAccessory(*paired, uid) : nullptr;
        const AccessoryBattery reading = accessory ? readAccessoryBattery(*accessory) : AccessoryBattery{};
        const AirPodsMaxColor color = airPodsMaxColor(accessory ? accessory->colorID : std::nullopt);
        // `this` is touched only back on the main queue, and only while the manager lives.
        main->post([this, weak, uid, reading, color] {
            if (weak) batteryRead(uid, reading, color);
        });
    });
}

void ConnectivityManager::batteryRead(const std::string& uid, AccessoryBattery reading, AirPodsMaxColor color) {
    const auto& device = audioDevice.get();
    // The output changed while the accessory was being read: the reading is of another device.
    if (!device || device->uid.value_or("") != uid) return;

    batteryLevel.set(reading.level);
    const VirtualDevice fresh = recognizeDevice(*device, reading.state, color);
    const auto& old = virtualDevice.get();
    if (carriesState(fresh.kind) && fresh.state && (!old || old->state != fresh.state)) virtualDevice.set(fresh);

    const Defaults& d = defaults_;
    if (!d.get(keys::enableConnectivity) || !reading.level) return;
    const double threshold = d.get(keys::lowConnectBatteryThreshold);
    const double level = *reading.level;
    if (level <= threshold / 100.0 && !hasPassedThreshold.get()) {
        if (isShowing(Notch::Notification::didConnectAirPods)) return;
        // At exactly 10 the warning shows without the sound.
        if (d.get(keys::playSoundOnLowConnectBattery) && threshold != 10.0) sounds_.playAlert("low-battery");
        notch_.setNotification(true, Notch::Notification::isLowAirPodsBattery, 0.35,
                                     d.get(keys::connectivityDuration));
        hasPassedThreshold.set(true);
        return;
    }
    if (level > threshold / 100.0 && hasPassedThreshold.get()) hasPassedThreshold.set(false);
}

}  // namespace halvyn
