#include "sources/source_state.h"

#include "notch/notch_sources.h"
#include "settings/defaults.h"

namespace halvyn {

bool isFocusActive(const Seam<FocusStateSource>& focus) {
    const FocusStateSource* source = focus.get();
    return source && source->isFocusActive();
}

bool isScreenLocked(const NotchSources& sources) {
    const LockStateSource* lock = sources.lockState();
    return lock && lock->isScreenLocked();
}

bool allowsShowing(const Defaults& d, const Seam<FocusStateSource>& focus, const NotchSources& sources,
                   const ShowSwitches& switches) {
    if (!d.get(switches.enabled)) return false;
    if (isFocusActive(focus) && !d.get(switches.whenFocused)) return false;
    if (isScreenLocked(sources)) return d.get(switches.whenLocked);
    return true;
}

}  // namespace halvyn
