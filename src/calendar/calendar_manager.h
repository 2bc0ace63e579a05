#pragma once
// Turns the user's calendar into notch activity: chooses the next event worth showing, runs its
// countdown live activity (to the start, then to the end), the calendar quick peeks, the
// time-to-leave notification and the hourly chime, and keeps the day of the month current.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "calendar/upcoming_event.h"
#include "lockscreen/lock_seams.h"
#include "notch/input_seams.h"
#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "platform/location.h"
#include "runtime/lifetime.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "runtime/seam.h"
#include "runtime/task.h"

namespace halvyn {

class Services;
class Defaults;
class Notch;
class NotchSources;
class ScreenManager;
class SoundManager;
class LockManager;
class Locale;

namespace calendar {
// Local time from the locale's offset (UTC without a locale).
int localDay(WallTime t, const Locale* locale);
// The first moment after `now` whose local minute is 0 / that starts a new local day. Local
// offsets move in steps of a quarter hour, so a daylight-saving change neither skips nor doubles
// a chime.
WallTime nextFullHour(WallTime now, const Locale* locale);
WallTime nextMidnight(WallTime now, const Locale* locale);
// The countdown's next tick: on whole minutes above 300 s, on tens of seconds above 60 s, else on
// whole seconds.
Duration tickDelay(Duration remaining);
// "ical://ekevent/20260302T100000Z/ID?method=show", or nothing when that is no valid URL.
std::optional<std::string> calendarURL(const UpcomingEvent& event);
}  // namespace calendar

class CalendarManager final : public NotificationSource, public LiveActivitySource, public CalendarControls,
                              public CalendarRefresh {
public:
    CalendarManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources, ScreenManager& screens,
                    SoundManager& sounds, LockManager& lock,
                    Seam<const Published<LocationAuthorization>> locationAuthorization);
    ~CalendarManager() override;
    CalendarManager(const CalendarManager&) = delete;
    CalendarManager& operator=(const CalendarManager&) = delete;

    Owned<CalendarAuthorization, CalendarManager> authorizationStatus{CalendarAuthorization::notDetermined};
    Owned<std::optional<UpcomingEvent>, CalendarManager> nextEvent;
    Owned<std::optional<double>, CalendarManager> remainingTime;
    Owned<std::optional<double>, CalendarManager> eventProgress;
    Owned<bool, CalendarManager> hasCountdown{false};
    Owned<int, CalendarManager> currentDay{1};
    Owned<std::optional<double>, CalendarManager> travelTime;

    bool wantsLiveActivity() const override;
    // timeToLeave.
    bool allowsNotification(Notch::Notification kind) const override;

    // `done` gets whether full access is granted.
    void requestAccess(std::function<void(bool)> done);
    void refreshEvents() override;
    // Reads the next 17 hours from the store and, when the answer comes (on a later turn of the
    // main queue), chooses `nextEvent` and runs `then`. A later call supersedes an earlier one.
    void fetchNextEvent(std::function<void()> then = {});
    void dismissEvent() override;
    void openInCalendar();
    void openMeetingLink();
    void cancelEventTimers();
    void scheduleHourlyChime();
    void scheduleMidnightTimer();
    void updateEventProgress();
    // The application became active: the authorization may have changed in the system settings.
    void applicationDidBecomeActive();

    // The identifiers of the calendars not hidden in the calendar application, in store order.
    std::vector<std::string> visibleCalendars() const;
    const std::set<std::string>& dismissedEventIds() const { return dismissedEventIds_; }

    const PropertySet& properties() const { return properties_; }

private:
    void pruneDismissed(const std::vector<CalendarEvent>& found);
    void chooseNextEvent(const std::vector<CalendarEvent>& events, bool upcomingOnly);
    void scheduleAfterFetch();
    void startCountdown(WallTime target, bool isStarted);
    void updateCountdown(WallTime target, bool isStarted);
    void endCalendarActivity();
    void peekWhenTaken();
    void computeTimeToLeave(const UpcomingEvent& event);
    void armTimeToLeave(const std::string& id, WallTime start, WallTime leave);
    void showTimeToLeave(double shown);
    void watchCalendarPreferences();
    void calendarPreferencesChanged();
    void observeSettings();
    bool lockedOrScreensaver() const;
    bool wants(Notch::LiveActivity kind) const;
    std::string preferencesFile() const;
    WallTime now() const;

    Services& ctx_;
    // The weather's location authorization, which the travel time needs (the weather is built later).
    Seam<const Published<LocationAuthorization>> locationAuthorization_;
    Defaults& defaults_;
    NotchSources& sources_;
    ScreenManager& screens_;
    SoundManager& sounds_;
    LockManager& lock_;
    Notch& notch;
    Lifetime lifetime_;
    TaskHandle upcomingEventTimer_, midnightTimer_, countdownTimer_, hourlyChimeTimer_, timeToLeaveTimer_;
    std::set<std::string> lastVisibleCalendarIds_;
    std::optional<std::string> lastTimeToLeaveEventId_;
    WallTime countdownTarget_{};
    struct PendingLeave {
        std::string eventId;
        WallTime start;
        WallTime leave;
    };
    std::optional<PendingLeave> pendingLeave_;
    std::set<std::string> dismissedEventIds_;
    std::uint64_t fetchGeneration_ = 0;
    Subscription calendarPrefsSource_;
    std::vector<Subscription> pendingPeek_;
    std::vector<Subscription> cancellables_;
    PropertySet properties_;
};

}  // namespace halvyn
