#pragma once
// Simulated audio devices: plain state set by a test or a scenario. Every change notification
// is delivered on the main queue, one turn later, as the real service hands them over.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/lifetime.h"
#include "platform/audio_devices.h"

namespace halvyn {

class MainQueue;

class SimAudioDevices final : public AudioDevices {
public:
    struct Device {
        AudioDevice info;
        std::optional<float> volume;  // nothing: the device has no volume property
        std::optional<bool> muted;    // nothing: the device has no mute property
    };

    explicit SimAudioDevices(MainQueue& main);

    std::vector<AudioDevice> devices() const override;
    std::optional<AudioDevice> device(AudioDeviceID id) const override;
    std::optional<AudioDevice> defaultOutputDevice() const override;
    bool hasProperty(AudioDeviceID id, AudioProperty property) const override;
    std::optional<float> volume(AudioDeviceID id) const override;
    std::optional<bool> isMuted(AudioDeviceID id) const override;
    bool setVolume(AudioDeviceID id, float volume) override;
    bool setMuted(AudioDeviceID id, bool muted) override;
    Subscription onDefaultOutputDeviceChanged(std::function<void(std::optional<AudioDevice>)> cb) override;
    Subscription onVolumeChanged(std::function<void(AudioDeviceID)> cb) override;
    Subscription onMuteChanged(std::function<void(AudioDeviceID)> cb) override;
    Subscription onConnected(std::function<void()> cb) override;

    // Simulation controls.
    // Replaces every device (no notification): the state at start.
    void reset(std::vector<Device> devices, std::optional<AudioDeviceID> defaultOutput);
    // Replaces every device and announces the audio service as (re)connected with them.
    void connectService(std::vector<Device> devices, std::optional<AudioDeviceID> defaultOutput);
    // Adds or replaces a device (no notification).
    void addDevice(Device device);
    // Makes the device the default output and notifies.
    void setDefaultOutput(std::optional<AudioDeviceID> id);
    // The device's volume changed (outside the system); always notifies, even with the same
    // value, like a key press at full volume. Gives the property to a device that lacked it.
    void changeVolume(AudioDeviceID id, float volume);
    void changeMute(AudioDeviceID id, bool muted);
    // A notification for the device without any change (or for a device that does not exist).
    void notifyVolume(AudioDeviceID id);
    void notifyMute(AudioDeviceID id);

    // The device's state as stored, for assertions.
    const Device* find(AudioDeviceID id) const;
    // Every write made through the port, in order: ("volume"|"mute", device, value).
    struct Write {
        const char* what;
        AudioDeviceID device;
        double value;
    };
    const std::vector<Write>& writes() const { return writes_; }

private:
    Device* findMutable(AudioDeviceID id);
    void deliver(std::function<void()> fn);

    MainQueue& main_;
    std::vector<Device> devices_;
    std::optional<AudioDeviceID> defaultOutput_;
    std::vector<Write> writes_;
    Signal<std::optional<AudioDevice>> defaultChanged_;
    Signal<AudioDeviceID> volumeChanged_;
    Signal<AudioDeviceID> muteChanged_;
    Signal<> connected_;
    Lifetime lifetime_;
};

}  // namespace halvyn
