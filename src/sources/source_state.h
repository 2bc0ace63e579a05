#pragma once
// The state the sources' allow rules read from other sources at the moment they decide: whether
// a Focus is active and whether the screen is locked. A source that does not exist yet reads as
// "no".

#include "runtime/seam.h"
#include "settings/key.h"

namespace halvyn {

class Defaults;
class NotchSources;

// The Focus source: a Focus mode is on.
class FocusStateSource {
public:
    virtual ~FocusStateSource() = default;
    virtual bool isFocusActive() const = 0;
};

bool isFocusActive(const Seam<FocusStateSource>& focus);
bool isScreenLocked(const NotchSources& sources);

// The switches of a source that shows on a change: its own, and whether it may show while a
// Focus is active and while the screen is locked.
struct ShowSwitches {
    const Key<bool>& enabled;
    const Key<bool>& whenFocused;
    const Key<bool>& whenLocked;
};

// On, and let through by an active Focus and by the lock.
bool allowsShowing(const Defaults& defaults, const Seam<FocusStateSource>& focus, const NotchSources& sources,
                   const ShowSwitches& switches);

}  // namespace halvyn
