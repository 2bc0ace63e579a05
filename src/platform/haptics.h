#pragma once
// Trackpad haptic feedback.

namespace halvyn {

class Haptics {
public:
    virtual ~Haptics() = default;
    // Pattern: 0 generic, 1 alignment, 2 level change. Performance time: 0 default, 1 now, 2 when drawn.
    virtual void perform(int pattern, int performanceTime) = 0;
};

}  // namespace halvyn
