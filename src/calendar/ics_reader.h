#pragma once
// The iCalendar reader (libical): one file's text parsed into its events, recurring events
// expanded within an asked window with their time zones, exclusions and moved instances. Pure:
// no files, no clock, no toolkit; the text is outside input, so nesting and the work of an
// expansion are bounded.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/calendar_store.h"

namespace halvyn {

namespace ics {

// Components within components, VCALENDAR included: real calendars need three (VCALENDAR >
// VEVENT > VALARM, VCALENDAR > VTIMEZONE > STANDARD). The parser and the tree it builds recurse
// once per level, so a deeper file is refused before it reaches them.
inline constexpr int kMaxNesting = 8;
// Recurrence steps: one event's share, one file's share of a query, and all of a query. A step is
// one instance the library's search finds, or the stretch it walks over to find it (a day of a
// daily rule, 64 seconds of a secondly one), about two microseconds of work. A daily series with a
// COUNT needs a step a day since its start; a real calendar needs some thousands in all. A rule
// that never matches costs the file's whole share; a rule more frequent than daily that names
// days or months is not expanded (the library would search it without end).
inline constexpr std::size_t kMaxStepsPerEvent = 5000;
inline constexpr std::size_t kMaxStepsPerFile = 100'000;
inline constexpr std::size_t kMaxStepsPerQuery = 1'000'000;

// What an expansion needs besides the file.
struct ExpandOptions {
    std::string calendarId;
    std::vector<std::string> ownAddresses;  // lower case, without "mailto:"
    std::string localZone;                  // zone of floating times and all-day dates; empty: UTC
    std::size_t maxStepsPerEvent = kMaxStepsPerEvent;
};

// The recurrence steps an expansion may still take, shared by every event it expands.
struct StepBudget {
    std::size_t left = kMaxStepsPerFile;
    bool exhausted = false;  // some recurrence was cut short
};

// One parsed iCalendar file.
class Calendar {
public:
    // Nothing, with the reason in `error`, when the text holds no VCALENDAR or nests deeper than
    // kMaxNesting.
    static std::unique_ptr<Calendar> parse(std::string_view text, std::string* error = nullptr);
    ~Calendar();
    Calendar(const Calendar&) = delete;
    Calendar& operator=(const Calendar&) = delete;

    // Instances that overlap [from, to] (an instant at either end counts), masters in file order,
    // each one's instances in time order. Recurrences stop early when the budget runs out.
    void events(WallTime from, WallTime to, const ExpandOptions& options, std::vector<CalendarEvent>& out,
                StepBudget& budget) const;
    // The colour the calendar names for itself ("#RRGGBB"), if any.
    const std::optional<std::string>& color() const { return color_; }
    // The organisers' addresses, lower case, one per event that names one.
    const std::vector<std::string>& organizers() const { return organizers_; }
    std::size_t eventCount() const;
    // The event or instance with this identifier (an instance's: see instanceId).
    std::optional<CalendarEvent> find(const std::string& id, const ExpandOptions& options, StepBudget& budget) const;

    struct Item;

private:
    Calendar() = default;
    // The parsed tree (an icalcomponent): the items point into it for their zones and rules.
    void* tree_ = nullptr;
    std::vector<Item> items_;
    std::optional<std::string> color_;
    std::vector<std::string> organizers_;
};

// The text as the parser is given it: folded lines joined, one line a line, up to a first zero
// byte; nothing, with the reason in `error`, when components nest deeper than kMaxNesting.
std::optional<std::string> unfoldedWithinNesting(std::string_view text, std::string* error = nullptr);

// The instance identifier of a recurring event: "UID/20260105T090000Z" (the original start in UTC).
std::string instanceId(std::string_view uid, WallTime originalStart);
// An address as events are matched by it: "mailto:Ann@Example.org" -> "ann@example.org"; other
// addresses as they are, in lower case.
std::string mailAddress(std::string_view value);

}  // namespace ics

}  // namespace halvyn
