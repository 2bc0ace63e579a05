#pragma once
// Workspace events: sleep and wake, the screens', the screen lock, the screen saver, the active
// space.

#include <functional>

#include "runtime/published.h"

namespace halvyn {

enum class WorkspaceEvent {
    willSleep,
    didWake,
    screensDidSleep,
    screensDidWake,
    activeSpaceDidChange,
    screenLocked,
    screenUnlocked,
    screensaverStarted,
    screensaverStopped,
};

class Workspace {
public:
    virtual ~Workspace() = default;
    // Callbacks come on the main queue.
    virtual Subscription observe(WorkspaceEvent event, std::function<void()> cb) = 0;
};

}  // namespace halvyn
