#pragma once
// Workspace notifications (sleep, wake, active space) and distributed notifications between
// processes.

#include <functional>
#include <string>

#include "runtime/published.h"

namespace halvyn {

enum class WorkspaceEvent { willSleep, didWake, screensDidSleep, screensDidWake, activeSpaceDidChange };

class Workspace {
public:
    virtual ~Workspace() = default;
    // Callbacks come on the main queue.
    virtual Subscription observe(WorkspaceEvent event, std::function<void()> cb) = 0;
    virtual Subscription observeDistributed(const std::string& name, std::function<void()> cb) = 0;
    // Posts a distributed notification to every observer of `name`.
    virtual void postDistributed(const std::string& name) = 0;
};

}  // namespace halvyn
