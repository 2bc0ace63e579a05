#pragma once

#include <map>

#include "platform/workspace.h"

namespace halvyn {

// Workspace events, delivered at once to the observers.
class SimWorkspace final : public Workspace {
public:
    Subscription observe(WorkspaceEvent event, std::function<void()> cb) override;

    // Simulation controls.
    void post(WorkspaceEvent event);

private:
    std::map<WorkspaceEvent, Signal<>> signals_;
};

}  // namespace halvyn
