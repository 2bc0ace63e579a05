#include "platform/sim/sim_screens.h"

namespace halvyn {

SimScreens::SimScreens() : screens_{defaultScreen()} {}

Screen SimScreens::defaultScreen() {
    Screen s;
    s.displayNumber = 1;
    s.builtIn = true;
    s.mainDisplay = true;
    s.frame = {0, 0, 1512, 982};
    s.visibleFrame = {0, 0, 1512, 944};
    s.safeAreaTop = 38;
    s.auxiliaryTopLeft = 664;
    s.auxiliaryTopRight = 664;
    return s;
}

void SimScreens::set(std::vector<Screen> screens) {
    screens_ = std::move(screens);
    changed_.emit();
}

}  // namespace halvyn
