#pragma once
// Whether the now-playing activity is hidden after a long idle time; read by the volume display,
// which leaves the lock screen's volume slider alone while that activity is not hidden.

namespace halvyn {

class NowPlayingVisibility {
public:
    virtual ~NowPlayingVisibility() = default;
    virtual bool isHidden() const = 0;
};

}  // namespace halvyn
