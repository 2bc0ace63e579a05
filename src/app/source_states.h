#pragma once
// The state of other sources that a source reads at the moment it acts: the output device, the
// Focus, the screen lock, the now-playing visibility, recent power-source changes. Each source
// registers here when it is created; until then, and after it is gone, the neutral answer holds
// (no device, no Focus, not locked, not hidden, nothing changed recently).

#include <memory>
#include <optional>

#include "platform/audio_devices.h"
#include "runtime/published.h"
#include "sources/virtual_device.h"

namespace halvyn {

class NotchSources;

// The audio-output source.
class OutputDeviceState {
public:
    virtual ~OutputDeviceState() = default;
    virtual std::optional<AudioDevice> audioDevice() const = 0;
    virtual std::optional<VirtualDevice> virtualDevice() const = 0;
    virtual bool hasRecentlyChangedOutputDevice() const = 0;
};

// The Focus source.
class FocusState {
public:
    virtual ~FocusState() = default;
    virtual bool isFocus() const = 0;
};

// The now-playing source.
class NowPlayingState {
public:
    virtual ~NowPlayingState() = default;
    virtual bool isHidden() const = 0;
};

// The battery source.
class PowerSourceState {
public:
    virtual ~PowerSourceState() = default;
    virtual bool hasRecentlyChangedPowerSource() const = 0;
};

class SourceStates {
public:
    explicit SourceStates(NotchSources& notchSources);

    // Each registration lasts as long as the returned subscription; a later one takes over.
    Subscription setOutputDevice(OutputDeviceState& state);
    Subscription setFocus(FocusState& state);
    Subscription setNowPlaying(NowPlayingState& state);
    Subscription setPowerSource(PowerSourceState& state);

    // The registered output-device source, if any: with none, callers may ask the system.
    const OutputDeviceState* outputDevice() const { return state_->output; }

    std::optional<AudioDevice> audioDevice() const;
    std::optional<VirtualDevice> virtualDevice() const;
    bool hasRecentlyChangedOutputDevice() const;
    bool isFocus() const;
    // The lock source's answer, as the notch knows it.
    bool isLocked() const;
    bool isNowPlayingHidden() const;
    bool hasRecentlyChangedPowerSource() const;

private:
    struct State {
        OutputDeviceState* output = nullptr;
        FocusState* focus = nullptr;
        NowPlayingState* nowPlaying = nullptr;
        PowerSourceState* power = nullptr;
    };
    NotchSources& notchSources_;
    std::shared_ptr<State> state_;
};

}  // namespace halvyn
