#include "shell/notch_pointer.h"

#include <algorithm>

#include "app/context.h"
#include "notch/notch.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {

NotchPointer::NotchPointer(Context& ctx) : ctx_(ctx), hoverDebounce_(ctx.main(), "hoverDebounce") {}

void NotchPointer::entered() {
    if (inside_) return;
    inside_ = true;
    hoverDebounce_.cancel();
    Notch& n = ctx_.notch();
    n.triggerHaptic();
    n.isElevated.set(true, Animation::spring(0.35, 0.45));
    if (ctx_.defaults().get(keys::expandNotchOnHover)) {
        // A negative or NaN duration counts as no wait.
        double wait = ctx_.defaults().get(keys::hoverDuration);
        if (!(wait > 0)) wait = 0;
        hoverDebounce_.schedule(wait, [this] { ctx_.notch().setExpanded(true, false); });
    }
    ctx_.main().post([this] { ctx_.notch().isMouseInside.set(inside_); });
}

void NotchPointer::left() {
    if (!inside_) return;
    inside_ = false;
    hoverDebounce_.cancel();
    Notch& n = ctx_.notch();
    n.isElevated.set(false, Animation::spring(0.35, 0.05));
    n.isMouseInsideLeftContent.set(false);
    n.isMouseInsideRightContent.set(false);
    if (n.isPressed.get()) n.isPressed.set(false, Animation::spring(0.6, 0.35));
    pressedCompact_ = false;
    // The expanded notch folds away once the pointer leaves it.
    if (n.isExpanded.get()) n.setExpanded(false, false);
    ctx_.main().post([this] { ctx_.notch().isMouseInside.set(inside_); });
}

void NotchPointer::pressed() {
    Notch& n = ctx_.notch();
    pressedCompact_ = false;
    if (n.isPressed.get() || n.isExpanded.get() || ctx_.defaults().get(keys::expandNotchOnHover)) return;
    n.isPressed.set(true, Animation::spring(0.6, 0.35));
    pressedCompact_ = true;
}

void NotchPointer::released(bool inside) {
    Notch& n = ctx_.notch();
    if (!pressedCompact_) return;
    pressedCompact_ = false;
    n.isPressed.set(false, Animation::spring(0.6, 0.35));
    // A click on the compact notch opens it.
    if (inside) n.setExpanded(true, false);
}

void NotchPointer::scrolled(const ScrollEvent& e) {
    if (!e.valid()) return;
    // The swipe recogniser of the notch consumes these; until it is wired in, scrolling over the
    // notch changes nothing.
}

}  // namespace halvyn
