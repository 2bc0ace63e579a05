#pragma once
// What the notch input drives in sources it does not know: the now-playing source (track skips,
// the pointer over the notch) and the calendar source (dismissing its event). The sources register
// an implementation on the context; while none is registered, nothing can be skipped or dismissed.

namespace halvyn {

class NowPlayingControls {
public:
    virtual ~NowPlayingControls() = default;
    virtual bool hasPreviousSkip() const = 0;
    virtual bool hasNextSkip() const = 0;
    // The media commands "previous" and "next".
    virtual void previous() = 0;
    virtual void next() = 0;
    // The pointer entered (true) or left (false) the notch: the source holds its idle and hide
    // timers while it is inside.
    virtual void setPointerOverNotch(bool inside) = 0;
    virtual void cancelIdleTimer() = 0;
};

class CalendarControls {
public:
    virtual ~CalendarControls() = default;
    // The user dismissed the event the notch shows.
    virtual void dismissEvent() = 0;
};

}  // namespace halvyn
