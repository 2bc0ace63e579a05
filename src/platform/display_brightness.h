#pragma once
// The brightness of a display: its level, whether it can be changed, and change events. A
// registration cannot be undone; the main thread keeps a dictionary of flags so that a display
// is registered at most once per run, whoever asks.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "runtime/value.h"

namespace halvyn {

using DisplayID = std::uint32_t;

class DisplayBrightness {
public:
    virtual ~DisplayBrightness() = default;

    // The level 0...1, or nothing when it cannot be read.
    virtual std::optional<float> brightness(DisplayID display) const = 0;
    virtual bool canChangeBrightness(DisplayID display) const = 0;

    // Registers for the display's changes; 0 on success, an error code otherwise. The callback
    // may come on any thread, with the user-information dictionary of the change (its "value"
    // holds the new level as a number when all is well).
    using Callback = std::function<void(const Value& userInfo)>;
    virtual int registerForBrightnessChanges(DisplayID display, Callback callback) = 0;

    // The main thread's dictionary of flags; an unknown key reads false.
    virtual bool threadFlag(const std::string& key) const = 0;
    virtual void setThreadFlag(const std::string& key, bool value) = 0;
};

}  // namespace halvyn
