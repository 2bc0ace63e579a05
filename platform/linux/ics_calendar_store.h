#pragma once
// The user's calendars as iCalendar files: every *.ics in the program's own calendar folder and
// the local calendars of Evolution, each file one calendar, read by the iCalendar reader; a
// changed file is read again and announced as the store's change. No toolkit here: files come
// through the FileSystem port. Files are read and parsed, and events expanded, on the background
// queue; answers come back on the main queue. The recurrence steps of one query are bounded per
// file and in all.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "calendar/ics_reader.h"
#include "platform/calendar_store.h"
#include "runtime/lifetime.h"
#include "runtime/logger.h"

namespace halvyn {

class BackgroundQueue;
class FileSystem;
class MainQueue;

namespace ics {
// The system's zone name: $TZ, else the target of /etc/localtime below "zoneinfo/"; empty when unknown.
std::string systemZoneName();
}  // namespace ics

class IcsCalendarStore final : public CalendarStore {
public:
    struct Folders {
        std::string own;        // every *.ics here is a calendar
        std::string evolution;  // every <folder>/calendar.ics here is a calendar
        // $XDG_DATA_HOME (or ~/.local/share) /halvyn/calendars and /evolution/calendar.
        static Folders fromEnvironment(const std::string& home) {
            const char* xdg = std::getenv("XDG_DATA_HOME");
            const std::string data = (xdg && *xdg == '/') ? std::string(xdg) : home + "/.local/share";
            return {data + "/halvyn/calendars", data + "/evolution/calendar"};
        }
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

    CalendarAuthorization authorizationStatus() const override { return CalendarAuthorization::fullAccess; }
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
