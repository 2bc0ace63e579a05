#include "platform/sim/sim_platform.h"

#include "runtime/main_queue.h"

namespace halvyn {

SimPlatform::SimPlatform(MainQueue& main) : main_(main) {}

SimPlatform::~SimPlatform() = default;

}  // namespace halvyn
