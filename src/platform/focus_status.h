#pragma once
// The desktop's Focus as it changes: Focus turning on or off, and the mode that is active.

#include <functional>
#include <optional>
#include <string>

#include "runtime/published.h"

namespace halvyn {

// A mode as its source describes it; a source may leave any part out.
struct ReportedFocusMode {
    std::optional<std::string> identifier;
    std::optional<std::string> name;
    std::optional<std::string> symbol;
    std::optional<std::string> tint;  // a named colour ("TealColor")
};

// What a source reports, each with what it said (for the log; empty: nothing to say).
struct FocusReports {
    // Focus is on in this mode.
    std::function<void(const ReportedFocusMode& mode, const std::string& said)> modeActive;
    // Focus turned on or off.
    std::function<void(bool on, const std::string& said)> switched;
    // The reports ended: with the error to say, or with nothing when there is nothing to follow.
    std::function<void(const std::optional<std::string>& error)> ended;
};

class FocusStatus {
public:
    virtual ~FocusStatus() = default;
    // Reports come on the main queue, in order, until the subscription ends or `ended` is called;
    // a source that knows the state as it is reports it first.
    virtual Subscription follow(FocusReports reports) = 0;
};

}  // namespace halvyn
