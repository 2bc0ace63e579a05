#pragma once
// The simulated microphone and camera users: a list of uses per device that a test or a scenario
// sets; each change is announced at once.

#include <map>
#include <string>
#include <vector>

#include "platform/capture_devices.h"

namespace halvyn {

class SimCaptureDevices final : public CaptureDevices {
public:
    std::vector<CaptureUse> uses(CaptureDevice device) const override;
    Subscription observeChanges(std::function<void(CaptureDevice, bool)> cb) override;

    // Simulation controls. Starts (or, inactive, ends) every use of the device under this
    // application's name, and announces the change.
    void set(CaptureDevice device, const CaptureUse& use, bool active);

private:
    std::map<CaptureDevice, std::vector<CaptureUse>> uses_;
    Signal<CaptureDevice, bool> changed_;
};

}  // namespace halvyn
