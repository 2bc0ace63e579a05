#pragma once
// The user's calendars as iCalendar files (libical): every *.ics in the program's own calendar
// folder and the local calendars of Evolution, each file one calendar. Recurring events are
// expanded within the asked window, time zones honoured; a changed file is read again and
// announced as the store's change. No toolkit here: files come through the FileSystem port.

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/calendar_store.h"
#include "runtime/logger.h"

namespace halvyn {

class FileSystem;
class MainQueue;

namespace ics {

// What an expansion needs besides the file.
struct ExpandOptions {
    std::string calendarId;
    std::vector<std::string> ownAddresses;  // lower case, without "mailto:"
    std::string localZone;                  // zone of floating times and all-day dates; empty: UTC
    std::size_t maxStepsPerEvent = 5000;    // recurrence steps one event may take per query
};

// One parsed iCalendar file.
class Calendar {
public:
    // Nothing, with the reason in `error`, when the text holds no VCALENDAR.
    static std::unique_ptr<Calendar> parse(std::string_view text, std::string* error = nullptr);
    ~Calendar();
    Calendar(const Calendar&) = delete;
    Calendar& operator=(const Calendar&) = delete;

    // Instances that overlap [from, to] (an instant at either end counts), masters in file order,
    // each one's instances in time order. `truncated` is set when a recurrence hit its step limit.
    void events(WallTime from, WallTime to, const ExpandOptions& options, std::vector<CalendarEvent>& out,
                bool* truncated = nullptr) const;
    // The colour the calendar names for itself ("#RRGGBB"), if any.
    const std::optional<std::string>& color() const { return color_; }
    // The organisers' addresses, lower case, one per event that names one.
    const std::vector<std::string>& organizers() const { return organizers_; }
    std::size_t eventCount() const;
    // The event or instance with this identifier (an instance's: see instanceId).
    std::optional<CalendarEvent> find(const std::string& id, const ExpandOptions& options) const;

    struct Item;

private:
    Calendar() = default;
    // The parsed tree (an icalcomponent): the items point into it for their zones and rules.
    void* tree_ = nullptr;
    std::vector<Item> items_;
    std::optional<std::string> color_;
    std::vector<std::string> organizers_;
};

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

    IcsCalendarStore(FileSystem& files, MainQueue& main, Logger log, Folders folders,
                     std::vector<std::string> ownAddresses, std::string localZone = ics::systemZoneName());
    ~IcsCalendarStore() override;

    CalendarAuthorization authorizationStatus() const override { return kCalendarFullAccess; }
    void requestFullAccess(std::function<void(bool, std::optional<std::string>)> done) override;
    std::vector<CalendarInfo> calendars() const override;
    std::vector<CalendarEvent> events(WallTime from, WallTime to, const std::vector<std::string>& calendarIds) const override;
    std::optional<CalendarEvent> event(const std::string& id) const override;
    Subscription observeChanges(std::function<void()> changed) override { return changed_.connect(std::move(changed)); }

    // The addresses an attendee must have to be the user.
    const std::vector<std::string>& ownAddresses() const { return own_; }
    // Reads every calendar file again now (what a change of the folders does on the next turn).
    void reload();

private:
    struct File {
        std::string path;
        std::string id;
        std::unique_ptr<ics::Calendar> calendar;  // the last good reading; null before one
        std::size_t digest = 0;                   // of the text of that reading
        std::string failure;                      // the last failure logged, to log it once
        Subscription watch;
    };
    void scheduleReload();
    std::vector<std::string> calendarPaths() const;
    void watchFolders();
    ics::ExpandOptions optionsFor(const File& file) const;

    FileSystem& files_;
    MainQueue& main_;
    Logger log_;
    Folders folders_;
    std::vector<std::string> configured_;
    std::vector<std::string> own_;
    std::string zone_;
    std::vector<File> calendars_;
    std::vector<Subscription> folderWatches_;
    mutable std::set<std::string> truncatedLogged_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool reloadPending_ = false;
    Signal<> changed_;
};

}  // namespace halvyn
