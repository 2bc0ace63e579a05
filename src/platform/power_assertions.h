#pragma once
// Keeping the machine and its display awake: the system's power assertions (the session's idle
// inhibitor on a Linux desktop).

#include <cstdint>
#include <string>

namespace halvyn {

class PowerAssertions {
public:
    using AssertionID = std::uint32_t;
    static constexpr AssertionID kNone = 0;

    virtual ~PowerAssertions() = default;
    // Takes an assertion of the given type ("PreventUserIdleDisplaySleep", ...) with a reason
    // shown to the user; kNone when the system refused it.
    virtual AssertionID create(const std::string& type, const std::string& reason) = 0;
    // Releases an assertion taken by create; releasing kNone or an unknown one does nothing.
    virtual void release(AssertionID id) = 0;
};

}  // namespace halvyn
