#pragma once
// The user's calendars as iCalendar files (libical): every *.ics in the program's own calendar
// folder and the local calendars of Evolution, each file one calendar. Recurring events are
// expanded within the asked window, time zones honoured; a changed file is read again and
// announced as the store's change. No toolkit here: files come through the FileSystem port.
// Files are read and parsed, and events expanded, on the background queue; answers come back on
// the main queue. A file nested deeper than calendars nest is refused before it is parsed, and
// the recurrence steps of one query are bounded per file and in all.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/calendar_store.h"
#include "runtime/lifetime.h"
#include "runtime/logger.h"

namespace halvyn {

class BackgroundQueue;
class FileSystem;
class MainQueue;

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
// The system's zone name: $TZ, else the target of /etc/localtime below "zoneinfo/"; empty when unknown.
std::string systemZoneName();

}  // namespace ics

class IcsCalendarStore final : public CalendarStore {
public:
    struct Folders {
        std::string own;        // every *.ics here is a calendar
        std::string evolution;  // every <folder>/calendar.ics here is a calendar
        // $XDG_DATA_HOME (or ~/.local/share) /halvyn/calendars and /evolution/calendar.
        static Folders fromEnvironment(const std::string& home);
    };
    // The user's own addresses: $HALVYN_CALENDAR_EMAIL (comma separated), else $EMAIL; empty when
    // neither is set (the store then takes the organiser most of the user's events name).
    static std::vector<std::string> addressesFromEnvironment();

    static constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;

    // `files` must be safe to read from another thread (reading, listing and asking a type are).
    // The first reading starts at once; until it arrives there are no calendars.
    IcsCalendarStore(FileSystem& files, MainQueue& main, BackgroundQueue& background, Logger log, Folders folders,
                     std::vector<std::string> ownAddresses, std::string localZone = ics::systemZoneName());
    // Waits for a reading or query that is running (each is bounded); queued ones then do nothing.
    ~IcsCalendarStore() override;

    CalendarAuthorization authorizationStatus() const override { return kCalendarFullAccess; }
    void requestFullAccess(std::function<void(bool, std::optional<std::string>)> done) override;
    std::vector<CalendarInfo> calendars() const override;
    void fetch(CalendarQuery query, std::function<void(CalendarAnswer)> done) override;
    Subscription observeChanges(std::function<void()> changed) override { return changed_.connect(std::move(changed)); }

    // The addresses an attendee must have to be the user.
    const std::vector<std::string>& ownAddresses() const;
    // Reads every calendar file again (what a change of the folders does after it settles). The
    // reading comes back on a later turn; a reading asked for later replaces one still on its way.
    void reload();

    struct File;
    struct Reading;
    struct Shared;

private:
    void scheduleReload();
    void apply(std::shared_ptr<const Reading> reading);
    void watchFolders();

    FileSystem& files_;
    MainQueue& main_;
    BackgroundQueue& background_;
    Logger log_;
    Folders folders_;
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<const Reading> reading_;  // the one applied
    std::uint64_t readingsAsked_ = 0;
    std::map<std::string, std::string> failuresLogged_;  // path -> the failure logged for it
    std::set<std::string> truncatedLogged_;
    std::vector<Subscription> watches_;
    Lifetime lifetime_;
    bool reloadPending_ = false;
    Signal<> changed_;
};

}  // namespace halvyn
