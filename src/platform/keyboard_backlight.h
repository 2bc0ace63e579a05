#pragma once
// The keyboard's backlight: its level and the changes made to it. A machine without a lit
// keyboard (or without the service that reports it) has no level and tells no change.

#include <functional>
#include <optional>

#include "runtime/published.h"

namespace halvyn {

class KeyboardBacklight {
public:
    virtual ~KeyboardBacklight() = default;

    // The level 0...1; nothing while it is unknown.
    virtual std::optional<float> level() const = 0;
    // Each change, on the main queue: the new level 0...1, and whether the hardware made it (a key
    // the firmware handles) rather than a program through the service.
    using Callback = std::function<void(float level, bool external)>;
    virtual Subscription observeChanges(Callback cb) = 0;
};

}  // namespace halvyn
