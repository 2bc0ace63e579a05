#pragma once
// What the Focus notification and live activity, the calendar live activity and the
// time-to-leave notification show, and their painting into the notch's two wings. The content
// is plain values from the sources' published state, so the rules are testable without painting.

#include <QColor>
#include <QRectF>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "notch/notch.h"
#include "runtime/time.h"
#include "runtime/published.h"
#include "settings/options.h"

class QPainter;
class QPainterPath;

namespace halvyn {

class Context;
struct FocusMode;
struct UpcomingEvent;

struct WingContent {
    std::string symbol;     // left wing
    QColor tint;            // the symbol's colour
    std::string label;      // beside the symbol; empty: left out
    std::string trailing;   // right wing text; empty: left out
    std::string trailingShort;  // shown instead when `trailing` cannot show whole; empty: none
    std::optional<double> bar;  // right wing progress, 0 to 1
    QColor barColor = Qt::white;
};

// The program's named colours ("TealColor", …); unknown names are the indigo of the default mode.
QColor namedColor(std::string_view name);

// "Work" with its symbol and tint while on; the mode's symbol dimmed and "Off" when it ends.
WingContent focusContent(const std::optional<FocusMode>& mode, bool isFocus, bool hideLabel);
// "12m" (or "1h 05m") above five minutes, "4:50" above a minute, "45s" below: short enough for a
// compact wing.
std::string countdownText(double remaining);
// The shortened title, the time left and a bar of the event's progress: elapsed by default,
// remaining with "reverseEventProgress".
WingContent calendarContent(const UpcomingEvent& event, std::optional<double> remaining,
                            std::optional<double> progress, bool reverseProgress, bool colouredIndicator);
// "Time to leave" with the transport's symbol and the travel time.
WingContent timeToLeaveContent(std::optional<double> travelSeconds, TransportType transport);

// The content for the notch's current notification (Focus, time to leave) or live activity
// (Focus, calendar); nothing for other kinds or when their source does not exist.
std::optional<WingContent> focusCalendarNotification(Context& ctx, Notch::Notification kind);
std::optional<WingContent> focusCalendarActivity(Context& ctx);

// Paints `c` into the wings (left: symbol and label; right: text; the bar along the bottom under
// both), clipped to `clip`. The texts take the largest size that shows them whole; returns the
// right wing's text as drawn.
std::string paintWings(QPainter& p, const QRectF& left, const QRectF& right, const QPainterPath& clip,
                       const WingContent& c);

// "09:30" in the machine's local time.
std::string clockText(Context& ctx, WallTime t);

// What the calendar peek and the open notch say of the shown event.
struct EventDetails {
    std::string title;    // the whole title
    std::string when;     // "09:30 – 10:00"
    std::string service;  // "Google Meet"; empty without a meeting link
    QColor tint;
    bool joinable = false;
};
std::optional<EventDetails> eventDetails(Context& ctx);
// The title over the time and service, with a "Join" button at the right end when the event has
// a meeting link; returns the button's rectangle (empty without one).
QRectF paintEventDetails(QPainter& p, const QRectF& box, const EventDetails& e);

// Calls `changed` whenever what these views show may have changed.
Subscription observeFocusCalendar(Context& ctx, std::function<void()> changed);

}  // namespace halvyn
