#pragma once
// The audio devices of the system: the device list, the default output device, each device's
// volume and mute state (which a device may lack), its identifiers and transport, and the three
// change notifications, and the service's (re)connection. Notifications are delivered on the
// main queue.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/published.h"
#include "runtime/value.h"

namespace halvyn {

using AudioDeviceID = std::uint32_t;

// A device as the system names it. Identity and kind do not change while the device exists;
// volume and mute are read through the port each time.
struct AudioDevice {
    AudioDeviceID id = 0;
    std::optional<std::string> uid;            // unique identifier, e.g. "BuiltInSpeakerDevice"
    std::optional<std::string> modelUID;       // model identifier, e.g. "2014 4c"
    std::optional<std::string> transportType;  // "Built-In", "Bluetooth", "Bluetooth LE", "USB", "HDMI", ...

    friend bool operator==(const AudioDevice&, const AudioDevice&) = default;
};

// {"id":1,"uid":"BuiltInSpeakerDevice","model":"Speakers","transport":"Built-In"}; absent parts are null.
inline Value toValue(const AudioDevice& device) {
    auto text = [](const std::optional<std::string>& s) { return s ? Value(*s) : Value(); };
    return Value(Value::Object{{"id", Value(device.id)},
                               {"uid", text(device.uid)},
                               {"model", text(device.modelUID)},
                               {"transport", text(device.transportType)}});
}

// The highest volume a device reading carries; louder readings are cut to it.
inline constexpr float kMaxDeviceVolume = 4.0f;

// The two controllable properties of an output device.
enum class AudioProperty { volume, mute };

class AudioDevices {
public:
    virtual ~AudioDevices() = default;

    virtual std::vector<AudioDevice> devices() const = 0;
    virtual std::optional<AudioDevice> device(AudioDeviceID id) const = 0;
    virtual std::optional<AudioDevice> defaultOutputDevice() const = 0;

    // Whether the device has the property on its output scope, main element (channel 0).
    virtual bool hasProperty(AudioDeviceID id, AudioProperty property) const = 0;
    // The main output volume, 0...1, or above 1 (up to kMaxDeviceVolume) where the device
    // amplifies past its full level, as PulseAudio does up to 150 % and further; nothing when the
    // device or the property is missing.
    virtual std::optional<float> volume(AudioDeviceID id) const = 0;
    // The mute state of channel 0; nothing when the device or the property is missing.
    virtual std::optional<bool> isMuted(AudioDeviceID id) const = 0;
    // Writes; false (and nothing written) when the device or the property is missing.
    virtual bool setVolume(AudioDeviceID id, float volume) = 0;
    virtual bool setMuted(AudioDeviceID id, bool muted) = 0;

    // Change notifications, each carrying the device concerned (for the default output change,
    // the new default output device, or nothing when there is none).
    virtual Subscription onDefaultOutputDeviceChanged(std::function<void(std::optional<AudioDevice>)> cb) = 0;
    virtual Subscription onVolumeChanged(std::function<void(AudioDeviceID)> cb) = 0;
    virtual Subscription onMuteChanged(std::function<void(AudioDeviceID)> cb) = 0;
    // The audio service was (re)connected and read in full: the default output device, its level
    // and its mute state are where later changes start from, as at start-up, not changes. A
    // platform whose audio service is there from the start never sends it.
    virtual Subscription onConnected(std::function<void()> cb) {
        (void)cb;
        return {};
    }
};

}  // namespace halvyn
