#pragma once
// Who records from the microphone and who has a camera open: each stream or open device as the
// system reports it, and a notification when either list changes. The lists are read through the
// port each time; notifications come on the main queue.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/published.h"

namespace halvyn {

enum class CaptureDevice { microphone, camera };

// One recording stream or one process holding a camera open.
struct CaptureUse {
    // The application's name as the system gives it, already bounded and stripped of control
    // characters by the adapter; empty when nothing names it.
    std::string application;
    // The process, where known (0: unknown).
    std::int64_t pid = 0;
    // This program's own process.
    bool isOwn = false;
    // A level meter (a peak-detecting stream, a stream from a monitor of an output), not a
    // recording.
    bool isLevelMeter = false;

    friend bool operator==(const CaptureUse&, const CaptureUse&) = default;
};

class CaptureDevices {
public:
    virtual ~CaptureDevices() = default;

    // The uses of the device now, in no particular order; empty while its service is gone.
    virtual std::vector<CaptureUse> uses(CaptureDevice device) const = 0;
    // The uses of the device changed. `firstReading`: the first full reading after the service
    // (re)connected, where later starts count from (those in it are no starts). Callbacks come
    // on the main queue.
    virtual Subscription observeChanges(std::function<void(CaptureDevice, bool firstReading)> cb) = 0;
};

}  // namespace halvyn
