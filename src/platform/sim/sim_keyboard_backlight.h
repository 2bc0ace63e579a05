#pragma once
// Simulated keyboard backlight: changes are told at once, as the real service tells them on the
// main queue.

#include "platform/keyboard_backlight.h"

namespace halvyn {

class SimKeyboardBacklight final : public KeyboardBacklight {
public:
    std::optional<float> level() const override { return level_; }
    Subscription observeChanges(Callback cb) override { return changes_.connect(std::move(cb)); }

    void reset(std::optional<float> level) { level_ = level; }
    // The level as the service reports it, unchecked.
    void change(float level, bool external) {
        level_ = level;
        changes_.emit(level, external);
    }

private:
    std::optional<float> level_ = 0.5f;
    Signal<float, bool> changes_;
};

}  // namespace halvyn
