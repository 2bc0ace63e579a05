#include "platform/sim/sim_capture_devices.h"

#include <algorithm>

namespace halvyn {

std::vector<CaptureUse> SimCaptureDevices::uses(CaptureDevice device) const {
    auto it = uses_.find(device);
    return it == uses_.end() ? std::vector<CaptureUse>{} : it->second;
}

Subscription SimCaptureDevices::observeChanges(std::function<void(CaptureDevice, bool)> cb) {
    return changed_.connect(std::move(cb));
}

void SimCaptureDevices::set(CaptureDevice device, const CaptureUse& use, bool active) {
    auto& list = uses_[device];
    std::erase_if(list, [&](const CaptureUse& u) { return u.application == use.application; });
    if (active) list.push_back(use);
    changed_.emit(device, false);
}

}  // namespace halvyn
