#include "app/source_states.h"

#include "notch/notch_sources.h"

namespace halvyn {

namespace {
// Clears the slot only while it still holds the same object.
template <class T>
Subscription release(const std::shared_ptr<void>& owner, T** slot, T* state) {
    std::weak_ptr<void> weak = owner;
    return Subscription([weak, slot, state] {
        if (!weak.expired() && *slot == state) *slot = nullptr;
    });
}
}  // namespace

SourceStates::SourceStates(NotchSources& notchSources)
    : notchSources_(notchSources), state_(std::make_shared<State>()) {}

Subscription SourceStates::setOutputDevice(OutputDeviceState& s) {
    state_->output = &s;
    return release(state_, &state_->output, &s);
}
Subscription SourceStates::setFocus(FocusState& s) {
    state_->focus = &s;
    return release(state_, &state_->focus, &s);
}
Subscription SourceStates::setNowPlaying(NowPlayingState& s) {
    state_->nowPlaying = &s;
    return release(state_, &state_->nowPlaying, &s);
}
Subscription SourceStates::setPowerSource(PowerSourceState& s) {
    state_->power = &s;
    return release(state_, &state_->power, &s);
}

std::optional<AudioDevice> SourceStates::audioDevice() const {
    return state_->output ? state_->output->audioDevice() : std::nullopt;
}
std::optional<VirtualDevice> SourceStates::virtualDevice() const {
    return state_->output ? state_->output->virtualDevice() : std::nullopt;
}
bool SourceStates::hasRecentlyChangedOutputDevice() const {
    return state_->output && state_->output->hasRecentlyChangedOutputDevice();
}
bool SourceStates::isFocus() const { return state_->focus && state_->focus->isFocus(); }
bool SourceStates::isLocked() const {
    auto* lock = notchSources_.lockState();
    return lock && lock->isScreenLocked();
}
bool SourceStates::isNowPlayingHidden() const { return state_->nowPlaying && state_->nowPlaying->isHidden(); }
bool SourceStates::hasRecentlyChangedPowerSource() const {
    return state_->power && state_->power->hasRecentlyChangedPowerSource();
}

}  // namespace halvyn
