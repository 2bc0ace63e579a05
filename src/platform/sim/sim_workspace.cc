#include "platform/sim/sim_workspace.h"

namespace halvyn {

Subscription SimWorkspace::observe(WorkspaceEvent event, std::function<void()> cb) {
    return signals_[event].connect(std::move(cb));
}

void SimWorkspace::post(WorkspaceEvent event) { signals_[event].emit(); }

}  // namespace halvyn
