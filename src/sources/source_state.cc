#include "sources/source_state.h"

#include "app/context.h"
#include "notch/notch_sources.h"

namespace halvyn {

bool isFocusActive(Context& ctx) {
    const FocusStateSource* focus = ctx.focusState();
    return focus && focus->isFocusActive();
}

bool isScreenLocked(Context& ctx) {
    const LockStateSource* lock = ctx.notchSources().lockState();
    return lock && lock->isScreenLocked();
}

}  // namespace halvyn
