#pragma once
// The user's calendars and events, the calendar authorization, and store change notifications.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/location.h"
#include "runtime/case_names.h"
#include "runtime/published.h"
#include "runtime/time.h"

namespace halvyn {

// What the user lets the program do with the calendars; only full access reads events. The
// numbers are the stored and traced form.
enum class CalendarAuthorization { notDetermined = 0, restricted = 1, denied = 2, fullAccess = 3, writeOnly = 4 };

template <>
struct OptionTraits<CalendarAuthorization> {
    using A = CalendarAuthorization;
    static constexpr OptionCase<A> cases[] = {
        {A::notDetermined, "notDetermined", ""}, {A::restricted, "restricted", ""}, {A::denied, "denied", ""},
        {A::fullAccess, "fullAccess", ""},       {A::writeOnly, "writeOnly", ""},
    };
};
// Traces show the authorization by its number.
inline Value toValue(CalendarAuthorization a) { return Value(static_cast<int>(a)); }

struct CalendarInfo {
    std::string id;
    int type = 0;        // 0 local, 1 CalDAV, 2 Exchange, 3 subscription, 4 birthday
    int sourceType = 0;  // 0 local, 1 Exchange, 2 CalDAV, 3 MobileMe, 4 subscribed, 5 birthdays
    std::string color;   // "#RRGGBB"
};

struct CalendarAttendee {
    bool isCurrentUser = false;
    int status = 0;  // 0 unknown, 1 pending, 2 accepted, 3 declined, 4 tentative, ...
};

struct CalendarEvent {
    std::string id;
    std::string calendarId;
    std::string title;
    WallTime start;
    WallTime end;
    bool isAllDay = false;
    std::optional<std::string> location;  // free text
    std::optional<std::string> url;
    std::optional<std::string> notes;
    std::optional<GeoCoordinate> geo;  // of the structured location
    std::vector<CalendarAttendee> attendees;
};

// One reading of the store: the events of some calendars in a window, and some events looked up
// by identifier wherever they are.
struct CalendarQuery {
    WallTime from;
    WallTime to;
    std::vector<std::string> calendarIds;
    std::vector<std::string> eventIds;
};

struct CalendarAnswer {
    std::vector<CalendarEvent> events;  // that overlap [from, to] in the calendars, in the store's order
    std::vector<CalendarEvent> found;   // of the identifiers asked for, those the store still has
};

class CalendarStore {
public:
    virtual ~CalendarStore() = default;
    virtual CalendarAuthorization authorizationStatus() const = 0;
    // Asks the user for full access; `done` comes on the main queue with the answer, or with an
    // error text.
    virtual void requestFullAccess(std::function<void(bool granted, std::optional<std::string> error)> done) = 0;
    virtual std::vector<CalendarInfo> calendars() const = 0;
    // Reads the events off the main queue; `done` comes on a later turn of the main queue.
    virtual void fetch(CalendarQuery query, std::function<void(CalendarAnswer)> done) = 0;
    // Called on the main queue after the store's contents changed.
    virtual Subscription observeChanges(std::function<void()> changed) = 0;
};

}  // namespace halvyn
