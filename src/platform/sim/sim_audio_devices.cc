#include "platform/sim/sim_audio_devices.h"

#include "runtime/main_queue.h"

namespace halvyn {

SimAudioDevices::SimAudioDevices(MainQueue& main) : main_(main) {
    Device builtIn;
    builtIn.info = {1, "BuiltInSpeakerDevice", "Speakers", "Built-In"};
    builtIn.volume = 0.5f;
    builtIn.muted = false;
    devices_.push_back(builtIn);
    defaultOutput_ = 1;
}

std::vector<AudioDevice> SimAudioDevices::devices() const {
    std::vector<AudioDevice> out;
    for (auto& d : devices_) out.push_back(d.info);
    return out;
}

const SimAudioDevices::Device* SimAudioDevices::find(AudioDeviceID id) const {
    for (auto& d : devices_)
        if (d.info.id == id) return &d;
    return nullptr;
}

SimAudioDevices::Device* SimAudioDevices::findMutable(AudioDeviceID id) {
    for (auto& d : devices_)
        if (d.info.id == id) return &d;
    return nullptr;
}

std::optional<AudioDevice> SimAudioDevices::device(AudioDeviceID id) const {
    if (auto* d = find(id)) return d->info;
    return std::nullopt;
}

std::optional<AudioDevice> SimAudioDevices::defaultOutputDevice() const {
    if (!defaultOutput_) return std::nullopt;
    return device(*defaultOutput_);
}

bool SimAudioDevices::hasProperty(AudioDeviceID id, AudioProperty property) const {
    auto* d = find(id);
    if (!d) return false;
    return property == AudioProperty::volume ? d->volume.has_value() : d->muted.has_value();
}

std::optional<float> SimAudioDevices::volume(AudioDeviceID id) const {
    auto* d = find(id);
    return d ? d->volume : std::nullopt;
}

std::optional<bool> SimAudioDevices::isMuted(AudioDeviceID id) const {
    auto* d = find(id);
    return d ? d->muted : std::nullopt;
}

bool SimAudioDevices::setVolume(AudioDeviceID id, float volume) {
    auto* d = findMutable(id);
    if (!d || !d->volume) return false;
    writes_.push_back({"volume", id, static_cast<double>(volume)});
    const bool changed = *d->volume != volume;
    d->volume = volume;
    if (changed) notifyVolume(id);
    return true;
}

bool SimAudioDevices::setMuted(AudioDeviceID id, bool muted) {
    auto* d = findMutable(id);
    if (!d || !d->muted) return false;
    writes_.push_back({"mute", id, muted ? 1.0 : 0.0});
    const bool changed = *d->muted != muted;
    d->muted = muted;
    if (changed) notifyMute(id);
    return true;
}

void SimAudioDevices::deliver(std::function<void()> fn) {
    // A notification still queued when the port is gone is dropped.
    main_.post([alive = lifetime_.token(), fn = std::move(fn)] {
        if (alive) fn();
    });
}

Subscription SimAudioDevices::onDefaultOutputDeviceChanged(std::function<void(std::optional<AudioDevice>)> cb) {
    return defaultChanged_.connect(std::move(cb));
}
Subscription SimAudioDevices::onVolumeChanged(std::function<void(AudioDeviceID)> cb) {
    return volumeChanged_.connect(std::move(cb));
}
Subscription SimAudioDevices::onMuteChanged(std::function<void(AudioDeviceID)> cb) {
    return muteChanged_.connect(std::move(cb));
}

Subscription SimAudioDevices::onConnected(std::function<void()> cb) { return connected_.connect(std::move(cb)); }

void SimAudioDevices::reset(std::vector<Device> devices, std::optional<AudioDeviceID> defaultOutput) {
    devices_ = std::move(devices);
    defaultOutput_ = defaultOutput;
}

void SimAudioDevices::connectService(std::vector<Device> devices, std::optional<AudioDeviceID> defaultOutput) {
    reset(std::move(devices), defaultOutput);
    deliver([this] { connected_.emit(); });
}

void SimAudioDevices::addDevice(Device device) {
    if (auto* d = findMutable(device.info.id)) {
        *d = std::move(device);
        return;
    }
    devices_.push_back(std::move(device));
}

void SimAudioDevices::setDefaultOutput(std::optional<AudioDeviceID> id) {
    defaultOutput_ = id;
    deliver([this] { defaultChanged_.emit(defaultOutputDevice()); });
}

void SimAudioDevices::changeVolume(AudioDeviceID id, float volume) {
    if (auto* d = findMutable(id)) d->volume = volume;
    notifyVolume(id);
}

void SimAudioDevices::changeMute(AudioDeviceID id, bool muted) {
    if (auto* d = findMutable(id)) d->muted = muted;
    notifyMute(id);
}

void SimAudioDevices::notifyVolume(AudioDeviceID id) {
    deliver([this, id] { volumeChanged_.emit(id); });
}

void SimAudioDevices::notifyMute(AudioDeviceID id) {
    deliver([this, id] { muteChanged_.emit(id); });
}

}  // namespace halvyn
