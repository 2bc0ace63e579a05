#pragma once
// What the program shows around the notch, as the application state asks for it: named windows,
// the status item, the activation policy and the end of the process. The application state
// decides; a shell (the desktop program, halvyn-sim) shows. Window names are those of
// `AppState::windows` ("about", "settings", "update", the permission pages, "onboarding").

#include <string>

#include "runtime/case_names.h"

namespace halvyn {

// Regular: the application shows in the task bar or Dock (while onboarding); accessory: only
// the notch and the status item.
enum class ActivationPolicy { regular = 0, accessory = 1 };
template <>
struct OptionTraits<ActivationPolicy> {
    static constexpr OptionCase<ActivationPolicy> cases[] = {
        {ActivationPolicy::regular, "regular", ""},
        {ActivationPolicy::accessory, "accessory", ""},
    };
};

class AppShell {
public:
    virtual ~AppShell() = default;
    // Creates the named window if it is not open and brings it to the front, whether or not the
    // application is active. False when this shell has no such window (nothing opened).
    virtual bool openWindow(const std::string& name) = 0;
    virtual void closeWindow(const std::string& name) = 0;
    virtual void setStatusItemVisible(bool visible) = 0;
    virtual void setActivationPolicy(ActivationPolicy) {}
    // Brings the application itself to the front (after another application was asked to
    // yield to it).
    virtual void activate() {}
    // Ends the process at once; nothing is torn down beyond giving the system display back.
    virtual void terminate() = 0;
};

}  // namespace halvyn
