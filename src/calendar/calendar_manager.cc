#include "calendar/calendar_manager.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "hud/sound_manager.h"
#include "lockscreen/lock_manager.h"
#include "notch/screen_manager.h"
#include "platform/calendar_store.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "platform/travel_time.h"
#include "platform/url_opener.h"
#include "platform/workspace.h"
#include "runtime/clock.h"
#include "settings/defaults.h"
#include "settings/property_list.h"

namespace halvyn {

namespace {

using N = Notch::Notification;
using L = Notch::LiveActivity;
using Q = Notch::QuickPeek;
using namespace std::chrono;

constexpr auto kWindow = std::chrono::seconds(61200);  // 17 hours
constexpr std::size_t kMaxPreferencesBytes = 4 << 20;

Duration localOffset(WallTime t, const Locale* locale) {
    return std::chrono::seconds(locale ? locale->utcOffsetSeconds(t) : 0);
}

// The identifiers hidden in the calendar application's preferences, or nothing when the file
// is missing, unreadable or of another shape at any level.
std::optional<std::set<std::string>> hiddenCalendars(const FileSystem& fs, const std::string& path) {
    auto text = fs.readFile(path, kMaxPreferencesBytes);
    if (!text) return std::nullopt;
    auto plist = parsePropertyList(*text);
    if (!plist || !plist->isObject()) return std::nullopt;
    const Value* disabled = plist->find("DisabledCalendars");
    if (!disabled || !disabled->isObject()) return std::nullopt;
    const Value* main = disabled->find("MainWindow");
    if (!main || !main->isArray()) return std::nullopt;
    std::set<std::string> ids;
    for (auto& item : main->asArray()) {
        if (!item.isString()) return std::nullopt;
        const std::string& s = item.asString();
        const auto at = s.find("calendar://");
        ids.insert(at == std::string::npos ? s : s.substr(at + 11));
    }
    return ids;
}

}  // namespace

namespace calendar {

int localDay(WallTime t, const Locale* locale) {
    const auto local = floor<days>(t + localOffset(t, locale));
    return static_cast<int>(static_cast<unsigned>(year_month_day(local).day()));
}

namespace {
template <class Found>
WallTime nextQuarterWhere(WallTime now, const Locale* locale, Found found, Duration fallbackUnit) {
    constexpr Duration quarter = minutes(15);
    const Duration since = now.time_since_epoch();
    WallTime c = WallTime(since - ((since % quarter) + quarter) % quarter) + quarter;
    for (int i = 0; i < 4 * 27; ++i, c += quarter)
        if (found(c, c + localOffset(c, locale))) return c;
    // An offset off the quarter-hour grid: the next whole unit of local time.
    const WallTime local = now + localOffset(now, locale);
    const auto into = local.time_since_epoch() % fallbackUnit;
    return now + (fallbackUnit - into);
}
}  // namespace

WallTime nextFullHour(WallTime now, const Locale* locale) {
    return nextQuarterWhere(
        now, locale, [](WallTime, WallTime local) { return local.time_since_epoch() % hours(1) == Duration::zero(); },
        hours(1));
}

WallTime nextMidnight(WallTime now, const Locale* locale) {
    const auto today = floor<days>(now + localOffset(now, locale));
    return nextQuarterWhere(
        now, locale, [today](WallTime, WallTime local) { return floor<days>(local) > today; }, days(1));
}

Duration tickDelay(Duration remaining) {
    auto unitMod = [remaining](Duration unit) {
        const Duration r = remaining % unit;
        return r == Duration::zero() ? unit : r;
    };
    if (remaining > std::chrono::seconds(300)) return unitMod(std::chrono::seconds(60));
    if (remaining > std::chrono::seconds(60)) return unitMod(std::chrono::seconds(10));
    return unitMod(std::chrono::seconds(1));
}

std::optional<std::string> calendarURL(const UpcomingEvent& event) {
    const auto secs = floor<std::chrono::seconds>(event.startDate);
    const auto day = floor<days>(secs);
    const year_month_day ymd(day);
    const hh_mm_ss<std::chrono::seconds> tod(secs - day);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02u%02u'T'%02ld%02ld%02ld'Z'", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<long>(tod.hours().count()), static_cast<long>(tod.minutes().count()),
                  static_cast<long>(tod.seconds().count()));
    std::string formatted;
    for (const char* p = stamp; *p; ++p)
        if (*p != '\'') formatted += *p;
    std::string url = "ical://ekevent/" + formatted + "/" + event.id + "?method=show";
    // What a URL may not contain: white space, controls, quotes and the unsafe delimiters.
    for (unsigned char c : event.id)
        if (c <= 0x20 || c >= 0x7F || std::string_view("\"<>\\^`{|}").find(static_cast<char>(c)) != std::string_view::npos)
            return std::nullopt;
    if (event.id.empty()) return std::nullopt;
    return url;
}

}  // namespace calendar

CalendarManager::CalendarManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                                 ScreenManager& screens, SoundManager& sounds, LockManager& lock,
                                 Seam<const Published<LocationAuthorization>> locationAuthorization)
    : ctx_(ctx), locationAuthorization_(std::move(locationAuthorization)), defaults_(defaults), sources_(sources),
      screens_(screens), sounds_(sounds), lock_(lock), notch(notch) {
    properties_.add("authorizationStatus", authorizationStatus);
    properties_.add("nextEvent", nextEvent);
    properties_.add("remainingTime", remainingTime);
    properties_.add("eventProgress", eventProgress);
    properties_.add("hasCountdown", hasCountdown);
    properties_.add("currentDay", currentDay);
    properties_.add("travelTime", travelTime);

    CalendarStore* store = ctx.platform().calendarStore();
    authorizationStatus.set(store ? store->authorizationStatus() : CalendarAuthorization::notDetermined);
    currentDay.set(calendar::localDay(now(), ctx.platform().locale()));
    for (const char* sound : {"chime", "event", "directions"}) sounds_.prepareAlert(sound, "caf");

    const Lifetime::Token weak = lifetime_.token();
    if (store)
        cancellables_.push_back(store->observeChanges([this, weak] {
            if (weak) refreshEvents();
        }));
    if (Workspace* ws = ctx.platform().workspace())
        cancellables_.push_back(ws->observe(WorkspaceEvent::didWake, [this, weak] {
            if (!weak) return;
            refreshEvents();
            scheduleMidnightTimer();
            if (defaults_.get(keys::playHourlyChime)) scheduleHourlyChime();
        }));

    auto& registry = sources_;
    cancellables_.push_back(registry.addNotificationSource(N::timeToLeave, *this));
    cancellables_.push_back(registry.addLiveActivitySource(L::isCalendar, *this));

    watchCalendarPreferences();
    scheduleMidnightTimer();
    if (defaults_.get(keys::playHourlyChime)) scheduleHourlyChime();
    if (defaults_.get(keys::enableCalendar))
        ctx.main().postAfter(seconds(2.5), [this, weak] {
            if (weak) refreshEvents();
        });
    observeSettings();
}

CalendarManager::~CalendarManager() {
    for (auto* t : {&upcomingEventTimer_, &midnightTimer_, &countdownTimer_, &hourlyChimeTimer_, &timeToLeaveTimer_})
        t->cancel();
}

WallTime CalendarManager::now() const { return ctx_.clock().now(); }

bool CalendarManager::lockedOrScreensaver() const {
    LockManager& lock = lock_;
    return lock.isLocked.get() || lock.hasScreensaver.get();
}

bool CalendarManager::wants(L kind) const {
    const LiveActivitySource* s = sources_.liveActivitySource(kind);
    return s && s->wantsLiveActivity();
}

bool CalendarManager::wantsLiveActivity() const {
    const Defaults& d = defaults_;
    if (!d.get(keys::enableCalendar) || !hasCountdown.get() || lockedOrScreensaver()) return false;
    return !(d.get(keys::hideCalendarWhileInFullscreen) && screens_.isFullscreen.get());
}

bool CalendarManager::allowsNotification(Notch::Notification) const {
    const Defaults& d = defaults_;
    return d.get(keys::enableCalendar) && d.get(keys::notifyWhenTimeToLeave) && !lockedOrScreensaver();
}

void CalendarManager::applicationDidBecomeActive() {
    if (CalendarStore* store = ctx_.platform().calendarStore()) authorizationStatus.set(store->authorizationStatus());
}

void CalendarManager::requestAccess(std::function<void(bool)> done) {
    CalendarStore* store = ctx_.platform().calendarStore();
    const CalendarAuthorization status = store ? store->authorizationStatus() : CalendarAuthorization::notDetermined;
    if (status == CalendarAuthorization::notDetermined && store) {
        defaults_.set(keys::hasPromptedCalendarPermission, true);
        const Lifetime::Token weak = lifetime_.token();
        store->requestFullAccess([this, weak, done](bool granted, std::optional<std::string> error) {
            if (!weak) return;
            if (error) {
                authorizationStatus.set(CalendarAuthorization::denied);
                if (done) done(false);
                return;
            }
            if (CalendarStore* s = ctx_.platform().calendarStore()) authorizationStatus.set(s->authorizationStatus());
            if (done) done(granted);
        });
        return;
    }
    authorizationStatus.set(status);
    if (done) done(status == CalendarAuthorization::fullAccess);
}

// MARK: - Visible calendars

std::string CalendarManager::preferencesFile() const {
    const FileSystem* fs = ctx_.platform().fileSystem();
    return fs ? fs->homeDirectory() + "/Library/Preferences/com.apple.iCal.plist" : std::string();
}

std::vector<std::string> CalendarManager::visibleCalendars() const {
    std::vector<std::string> out;
    const CalendarStore* store = ctx_.platform().calendarStore();
    if (!store) return out;
    std::optional<std::set<std::string>> hidden;
    if (const FileSystem* fs = ctx_.platform().fileSystem()) hidden = hiddenCalendars(*fs, preferencesFile());
    for (auto& c : store->calendars())
        if (!hidden || !hidden->count(c.id)) out.push_back(c.id);
    return out;
}

void CalendarManager::watchCalendarPreferences() {
    FileSystem* fs = ctx_.platform().fileSystem();
    if (!fs || fs->type(fs->homeDirectory() + "/Library/Preferences") != FileType::directory) return;
    const auto ids = visibleCalendars();
    lastVisibleCalendarIds_ = std::set<std::string>(ids.begin(), ids.end());
    const Lifetime::Token weak = lifetime_.token();
    calendarPrefsSource_ = fs->watch(preferencesFile(), [this, weak] {
        if (weak) calendarPreferencesChanged();
    });
}

void CalendarManager::calendarPreferencesChanged() {
    FileSystem* fs = ctx_.platform().fileSystem();
    if (!fs || !fs->exists(preferencesFile())) return;
    const auto ids = visibleCalendars();
    std::set<std::string> visible(ids.begin(), ids.end());
    if (visible == lastVisibleCalendarIds_) return;
    lastVisibleCalendarIds_ = std::move(visible);
    refreshEvents();
}

// MARK: - Fetching and scheduling

void CalendarManager::refreshEvents() {
    const Defaults& d = defaults_;
    if (!d.get(keys::enableCalendar) || authorizationStatus.get() != CalendarAuthorization::fullAccess) return;
    cancelEventTimers();
    fetchNextEvent([this] { scheduleAfterFetch(); });
}

void CalendarManager::cancelEventTimers() {
    upcomingEventTimer_.cancel();
    countdownTimer_.cancel();
    timeToLeaveTimer_.cancel();
}

void CalendarManager::fetchNextEvent(std::function<void()> then) {
    // The store reads off the main queue; only the answer to the latest request is used, so a
    // slow reading never overwrites a newer one.
    const std::uint64_t generation = ++fetchGeneration_;
    const Lifetime::Token weak = lifetime_.token();
    auto answered = [this, weak, generation, then = std::move(then)](CalendarAnswer answer) {
        if (!weak || generation != fetchGeneration_) return;
        pruneDismissed(answer.found);
        chooseNextEvent(answer.events, defaults_.get(keys::disableActivityDuringEvents));
        if (then) then();
    };
    CalendarStore* store = ctx_.platform().calendarStore();
    if (!store) {
        ctx_.main().post([answered = std::move(answered)]() mutable { answered({}); });
        return;
    }
    const WallTime t = now();
    store->fetch(CalendarQuery{t, t + kWindow, visibleCalendars(), {dismissedEventIds_.begin(), dismissedEventIds_.end()}},
                 std::move(answered));
}

// A dismissed event is remembered while the store still has it and it has not ended.
void CalendarManager::pruneDismissed(const std::vector<CalendarEvent>& found) {
    const WallTime t = now();
    for (auto it = dismissedEventIds_.begin(); it != dismissedEventIds_.end();) {
        auto event = std::find_if(found.begin(), found.end(), [&](const CalendarEvent& e) { return e.id == *it; });
        if (event != found.end() && event->end > t) ++it;
        else it = dismissedEventIds_.erase(it);
    }
}

void CalendarManager::chooseNextEvent(const std::vector<CalendarEvent>& events, bool upcomingOnly) {
    if (authorizationStatus.get() != CalendarAuthorization::fullAccess) return;
    const CalendarStore* store = ctx_.platform().calendarStore();
    if (!store) return;
    const WallTime t = now();
    const bool excludeSubscribed = defaults_.get(keys::excludeSubscribedCalendars);
    const auto calendars = store->calendars();

    const CalendarEvent* best = nullptr;
    const CalendarInfo* bestCalendar = nullptr;
    for (auto& e : events) {
        const bool upcoming = e.start > t;
        const bool running = e.start < t && e.end > t;
        if (!upcoming && (upcomingOnly || !running)) continue;
        if (e.isAllDay) continue;
        auto cal = std::find_if(calendars.begin(), calendars.end(), [&](const CalendarInfo& c) { return c.id == e.calendarId; });
        if (cal == calendars.end() || cal->type == 4) continue;
        if (excludeSubscribed && cal->sourceType != 0 && cal->sourceType != 2) continue;
        if (std::any_of(e.attendees.begin(), e.attendees.end(),
                        [](const CalendarAttendee& a) { return a.isCurrentUser && a.status == 3; }))
            continue;
        if (dismissedEventIds_.count(e.id)) continue;
        if (!best || e.start < best->start) {
            best = &e;
            bestCalendar = &*cal;
        }
    }
    if (!best) {
        nextEvent.set(std::nullopt);
        return;
    }
    UpcomingEvent next{best->id, best->title, best->start, best->end, bestCalendar->color, {}, {}, {}};
    if (auto link = findMeetingLink(*best)) {
        next.url = link->first;
        next.meetingType = link->second;
    }
    // A place without a usable coordinate is no place to travel to.
    if (best->geo && std::isfinite(best->geo->latitude) && std::isfinite(best->geo->longitude)) next.location = best->geo;
    nextEvent.set(std::move(next));
}

void CalendarManager::scheduleAfterFetch() {
    const auto& event = nextEvent.get();
    if (!event) {
        endCalendarActivity();
        return;
    }
    const WallTime t = now();
    const Lifetime::Token weak = lifetime_.token();
    if (event->startDate >= t) {
        const Duration lead = (event->startDate - t) - seconds(defaults_.get(keys::timeBeforeEvent) * 60);
        const WallTime start = event->startDate;
        if (lead > Duration::zero()) {
            endCalendarActivity();
            upcomingEventTimer_ = ctx_.main().postAfter(lead, [this, weak, start] {
                if (weak) startCountdown(start, false);
            });
        } else {
            startCountdown(start, false);
        }
        const UpcomingEvent chosen = *event;
        if (pendingLeave_ && pendingLeave_->eventId == chosen.id && pendingLeave_->leave > t &&
            defaults_.get(keys::notifyWhenTimeToLeave))
            armTimeToLeave(chosen.id, pendingLeave_->start, pendingLeave_->leave);
        ctx_.main().postAfter(seconds(2), [this, weak, chosen] {
            if (!weak || lastTimeToLeaveEventId_ == chosen.id) return;
            lastTimeToLeaveEventId_ = chosen.id;
            computeTimeToLeave(chosen);
        });
        return;
    }
    if (t < event->endDate && !defaults_.get(keys::disableActivityDuringEvents) && event->endDate > event->startDate)
        startCountdown(event->endDate, true);
}

// MARK: - Countdown

void CalendarManager::startCountdown(WallTime target, bool isStarted) {
    countdownTimer_.cancel();
    // A refresh while this countdown already runs restarts its ticks but does not sound again.
    const bool fresh = !hasCountdown.get() || countdownTarget_ != target;
    countdownTarget_ = target;
    hasCountdown.set(true);
    updateCountdown(target, isStarted);
    const Defaults& d = defaults_;
    pendingPeek_.clear();
    if (!(notch.hasLiveActivity.get() && notch.liveActivity.get() == L::isCalendar)) {
        notch.setLiveActivity(true, L::isCalendar, false, {}, 0.35);
        if (!isStarted) peekWhenTaken();
    }
    if (d.get(keys::playSoundOnCalendarEvent) && !isStarted && fresh) sounds_.playAlert("event");
}

// The peek before an event follows the activity once the notch shows it, which may be a moment
// later (after a notification closes) or not at all while something else holds the notch.
void CalendarManager::peekWhenTaken() {
    auto check = [this](auto&, const Animation*) {
        if (!notch.hasLiveActivity.get() || notch.liveActivity.get() != L::isCalendar) return;
        pendingPeek_.clear();
        if (defaults_.get(keys::beforeEventStarts))
            notch.setQuickPeek(true, Q::isCalendar, false, 0.35, -0.3, defaults_.get(keys::calendarPeekDuration));
    };
    pendingPeek_.push_back(notch.hasLiveActivity.observe(check));
    pendingPeek_.push_back(notch.liveActivity.observe(check));
}

void CalendarManager::updateCountdown(WallTime target, bool isStarted) {
    const Duration remaining = target - now();
    const Lifetime::Token weak = lifetime_.token();
    if (remaining > Duration::zero()) {
        remainingTime.set(toSeconds(remaining));
        updateEventProgress();
        countdownTimer_ = ctx_.main().postAfter(calendar::tickDelay(remaining), [this, weak, target, isStarted] {
            if (weak) updateCountdown(target, isStarted);
        });
        return;
    }
    countdownTimer_.cancel();
    if (isStarted) {
        endCalendarActivity();
        refreshEvents();
        return;
    }
    const auto& event = nextEvent.get();
    if (!event) {
        endCalendarActivity();
        return;
    }
    const Defaults& d = defaults_;
    if (!d.get(keys::disableActivityDuringEvents) && event->endDate > event->startDate) {
        notch.forgetRightContentHover();
        if (d.get(keys::whenEventIsStarting))
            notch.setQuickPeek(true, Q::isCalendar, false, 0.35, -0.3, d.get(keys::calendarPeekDuration));
        startCountdown(event->endDate, true);
        return;
    }
    endCalendarActivity();
    refreshEvents();
}

void CalendarManager::updateEventProgress() {
    const auto& event = nextEvent.get();
    if (!event || !remainingTime.get()) {
        eventProgress.set(std::nullopt);
        return;
    }
    const double length = toSeconds(event->endDate - event->startDate);
    double p = *remainingTime.get() / length;
    if (!std::isfinite(p)) p = length == 0 && *remainingTime.get() > 0 ? 1.0 : 0.0;
    p = std::clamp(p, 0.0, 1.0);
    if (eventProgress.get() && std::fabs(p - *eventProgress.get()) < 0.01) return;
    eventProgress.set(p);
}

void CalendarManager::endCalendarActivity() {
    if (notch.hasLiveActivity.get() && notch.liveActivity.get() == L::isCalendar) {
        if (wants(L::isFocus))
            notch.setLiveActivity(true, L::isFocus, true, {}, 0.35);
        else if (wants(L::isPlaying))
            notch.setLiveActivity(true, L::isPlaying, true, {}, 0.35);
        else
            notch.setLiveActivity(false, L::none, false, {}, 0.35);
    }
    pendingPeek_.clear();
    hasCountdown.set(false);
}

void CalendarManager::dismissEvent() {
    const auto& event = nextEvent.get();
    if (!event) return;
    dismissedEventIds_.insert(event->id);
    if (notch.hasLiveActivity.get() && notch.liveActivity.get() == L::isCalendar) {
        if (notch.isQuickPeeking.get()) notch.setQuickPeek(false, Q::none, true, 0.4, -0.3, 0);
        if (wants(L::isPlaying) && !notch.isDismissed.get()) {
            const Lifetime::Token weak = lifetime_.token();
            ctx_.main().post([this, weak] {
                if (weak) notch.setLiveActivity(true, L::isPlaying, true, {}, 0.35);
            });
        } else {
            notch.setLiveActivity(false, L::none, false, {}, 0.35);
        }
    }
    pendingPeek_.clear();
    hasCountdown.set(false);
    nextEvent.set(std::nullopt);
    refreshEvents();
}

// MARK: - Time to leave

void CalendarManager::computeTimeToLeave(const UpcomingEvent& event) {
    const Defaults& d = defaults_;
    TravelTime* travel = ctx_.platform().travelTime();
    const auto* authorization = locationAuthorization_.get();
    if (!event.location || !travel || !authorization || !allowsLocation(authorization->get()) ||
        !d.get(keys::notifyWhenTimeToLeave))
        return;
    TravelMode mode = TravelMode::automobile;
    switch (d.get(keys::defaultTransportType)) {
        case TransportType::drive: mode = TravelMode::automobile; break;
        case TransportType::walk: mode = TravelMode::walking; break;
        case TransportType::transit: mode = TravelMode::transit; break;
    }
    const Lifetime::Token weak = lifetime_.token();
    const WallTime start = event.startDate;
    const std::string id = event.id;
    travel->expectedTravelTime(*event.location, mode, [this, weak, start, id](std::optional<double> secs, const std::string&) {
        if (!weak) return;
        if (!secs || !std::isfinite(*secs) || *secs < 0) {
            travelTime.set(std::nullopt);
            return;
        }
        const double travel = *secs;
        const WallTime leave = start - seconds(defaults_.get(keys::timeToLeaveBuffer) * 60) - seconds(travel);
        travelTime.set(travel);
        timeToLeaveTimer_.cancel();
        if (travel >= 10800) return;
        armTimeToLeave(id, start, leave);
    });
}

void CalendarManager::armTimeToLeave(const std::string& id, WallTime start, WallTime leave) {
    pendingLeave_.reset();
    const WallTime t = now();
    const double untilLeave = toSeconds(leave - t);
    const double untilStart = toSeconds(start - t);
    const double duration = defaults_.get(keys::timeToLeaveDuration);
    const double slack = untilStart - (duration + 2);
    if (!(slack >= 2)) return;
    const double shown = std::max(std::min(slack - 2, duration), 4.0);
    if (untilLeave <= 0) {
        showTimeToLeave(shown);
        return;
    }
    // Kept so that a refresh before the leave time (a store change, a wake) arms it again: the
    // estimate itself is asked only once per event.
    pendingLeave_ = PendingLeave{id, start, leave};
    const Lifetime::Token weak = lifetime_.token();
    timeToLeaveTimer_ = ctx_.main().postAfter(seconds(untilLeave), [this, weak, shown] {
        if (!weak) return;
        pendingLeave_.reset();
        showTimeToLeave(shown);
    });
}

void CalendarManager::showTimeToLeave(double shown) {
    notch.setNotification(true, N::timeToLeave, 0.35, shown);
    if (defaults_.get(keys::playSoundOnTimeToLeave)) sounds_.playAlert("directions");
}

// MARK: - Midnight, chime, actions

void CalendarManager::scheduleMidnightTimer() {
    midnightTimer_.cancel();
    const Locale* locale = ctx_.platform().locale();
    const Lifetime::Token weak = lifetime_.token();
    midnightTimer_ = ctx_.main().postAfter(calendar::nextMidnight(now(), locale) - now(), [this, weak] {
        if (!weak) return;
        currentDay.set(calendar::localDay(now(), ctx_.platform().locale()));
        scheduleMidnightTimer();
    });
}

void CalendarManager::scheduleHourlyChime() {
    hourlyChimeTimer_.cancel();
    const Locale* locale = ctx_.platform().locale();
    const Lifetime::Token weak = lifetime_.token();
    hourlyChimeTimer_ = ctx_.main().postAfter(calendar::nextFullHour(now(), locale) - now(), [this, weak] {
        if (!weak || !defaults_.get(keys::enableCalendar)) return;
        sounds_.playAlert("chime");
        hourlyChimeTimer_ = ctx_.main().postAfter(seconds(1), [this, weak] {
            if (weak) scheduleHourlyChime();
        });
    });
}

void CalendarManager::openInCalendar() {
    const auto& event = nextEvent.get();
    UrlOpener* opener = ctx_.platform().urlOpener();
    if (!event || !opener) return;
    if (auto url = calendar::calendarURL(*event)) opener->openURL(*url);
}

void CalendarManager::openMeetingLink() {
    const auto& event = nextEvent.get();
    UrlOpener* opener = ctx_.platform().urlOpener();
    if (event && event->url && opener) opener->openURL(*event->url);
}

void CalendarManager::observeSettings() {
    Defaults& d = defaults_;
    const Lifetime::Token weak = lifetime_.token();
    auto later = [this, weak] {
        ctx_.main().post([this, weak] {
            if (weak) refreshEvents();
        });
    };
    cancellables_.push_back(d.observe(keys::enableCalendar, [this, weak, later](bool, bool on) {
        if (!weak) return;
        if (on) {
            // Turning the calendar on fetches at once: nothing else would until the store changes.
            later();
            return;
        }
        if (wants(L::isPlaying))
            notch.setLiveActivity(true, L::isPlaying, true, {}, 0.35);
        else if (notch.hasLiveActivity.get() && notch.liveActivity.get() == L::isCalendar)
            notch.setLiveActivity(false, L::none, false, {}, 0.35);
        cancelEventTimers();
        hasCountdown.set(false);
    }));
    cancellables_.push_back(d.observe(keys::timeBeforeEvent, [weak, later](double, double) {
        if (weak) later();
    }));
    for (auto* key : {&keys::disableActivityDuringEvents, &keys::excludeSubscribedCalendars})
        cancellables_.push_back(d.observe(*key, [weak, later](bool, bool) {
            if (weak) later();
        }));
    cancellables_.push_back(d.observe(keys::notifyWhenTimeToLeave, [weak, later](bool, bool on) {
        if (weak && on) later();
    }));
    cancellables_.push_back(d.observe(keys::reverseEventProgress, [this, weak](bool, bool) {
        if (weak) updateEventProgress();
    }));
    cancellables_.push_back(d.observe(keys::playHourlyChime, [this, weak](bool, bool on) {
        if (!weak) return;
        if (on) scheduleHourlyChime();
        else hourlyChimeTimer_.cancel();
    }));
    cancellables_.push_back(d.observe(keys::enableQuickPeek, [this, weak](bool, bool on) {
        if (weak && !on && notch.isQuickPeeking.get()) notch.setQuickPeek(false, Q::none, true, 0.4, -0.3, 0);
    }));
}

}  // namespace halvyn
