#pragma once

#include <vector>

#include "platform/screens.h"

namespace halvyn {

// Screens as plain state. Changing them tells the observers, as the system does after a
// display is attached, removed or rearranged.
class SimScreens final : public Screens {
public:
    SimScreens();

    std::vector<Screen> screens() const override { return screens_; }
    Subscription observeParameters(std::function<void()> cb) override { return changed_.connect(std::move(cb)); }

    void set(std::vector<Screen> screens);
    // One built-in main screen, 1512 × 982 with a 38-point camera housing between two 664-point areas.
    static Screen defaultScreen();

private:
    std::vector<Screen> screens_;
    Signal<> changed_;
};

}  // namespace halvyn
