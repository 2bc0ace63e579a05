#include "platform/sim/sim_display_brightness.h"

namespace halvyn {

SimDisplayBrightness::SimDisplayBrightness() { displays_.push_back(Display{}); }

std::optional<float> SimDisplayBrightness::brightness(DisplayID display) const {
    for (auto& d : displays_)
        if (d.id == display) return d.level;
    return std::nullopt;
}

bool SimDisplayBrightness::canChangeBrightness(DisplayID display) const {
    for (auto& d : displays_)
        if (d.id == display) return d.canChange;
    return false;
}

int SimDisplayBrightness::registerForBrightnessChanges(DisplayID display, Callback callback) {
    ++registrationCount_[display];
    if (registrationResult_ != 0) return registrationResult_;
    bool known = false;
    for (auto& d : displays_) known = known || d.id == display;
    if (!known) return -1;
    callbacks_.emplace_back(display, std::move(callback));
    return 0;
}

bool SimDisplayBrightness::threadFlag(const std::string& key) const {
    auto it = flags_.find(key);
    return it != flags_.end() && it->second;
}

void SimDisplayBrightness::setThreadFlag(const std::string& key, bool value) { flags_[key] = value; }

void SimDisplayBrightness::reset(std::vector<Display> displays) { displays_ = std::move(displays); }

void SimDisplayBrightness::change(DisplayID display, double level) {
    for (auto& d : displays_)
        if (d.id == display) d.level = static_cast<float>(level);
    const Value info(Value::Object{{"value", Value(level)}});
    // Copy: a callback may register another.
    auto callbacks = callbacks_;
    for (auto& [id, cb] : callbacks)
        if (id == display) cb(info);
}

void SimDisplayBrightness::callback(const Value& userInfo) {
    auto callbacks = callbacks_;
    for (auto& entry : callbacks) entry.second(userInfo);
}

int SimDisplayBrightness::registrations(DisplayID display) const {
    auto it = registrationCount_.find(display);
    return it == registrationCount_.end() ? 0 : it->second;
}

}  // namespace halvyn
