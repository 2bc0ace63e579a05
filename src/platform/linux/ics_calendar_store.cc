#include "platform/linux/ics_calendar_store.h"

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <unordered_set>

#include "platform/file_system.h"
#include "runtime/main_queue.h"

namespace halvyn {

namespace {

using Secs = std::chrono::seconds;

// Beyond the years iCalendar can write; keeps the conversion to microseconds in range.
constexpr std::int64_t kMaxSeconds = 400LL * 366 * 86400 * 100;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "mailto:Ann@Example.org" -> "ann@example.org"; other addresses as they are, in lower case.
std::string address(const char* value) {
    if (!value) return {};
    std::string s = lower(value);
    if (s.rfind("mailto:", 0) == 0) s.erase(0, 7);
    return s;
}

// Zone names reach the zone database as file names: only the characters zone names use, and no
// step out of the database's folder.
bool plausibleZoneName(std::string_view id) {
    if (id.empty() || id.size() > 64 || id.front() == '/' || id.find("..") != std::string_view::npos) return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '_' || c == '-' || c == '+';
    });
}

icaltimezone* utcZone() { return icaltimezone_get_utc_timezone(); }

icaltimezone* namedZone(std::string_view name) {
    if (!plausibleZoneName(name)) return nullptr;
    return icaltimezone_get_builtin_timezone(std::string(name).c_str());
}

// The zone a TZID parameter names: the file's own VTIMEZONE first, then the zone database.
void resolveZone(icaltimetype& t, icalproperty* p, icalcomponent* vcalendar) {
    if (t.is_date || t.zone) return;
    icalparameter* param = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
    const char* id = param ? icalparameter_get_tzid(param) : nullptr;
    if (!id) return;
    const icaltimezone* zone = icalcomponent_get_timezone(vcalendar, id);
    if (!zone) zone = namedZone(id);
    t.zone = zone;  // still none: an unknown zone reads as floating time
}

WallTime toWall(icaltimetype t, const icaltimezone* local) {
    const icaltimezone* zone = (t.is_date || !t.zone) ? local : t.zone;
    const auto s = static_cast<std::int64_t>(icaltime_as_timet_with_zone(t, zone));
    return WallTime(Secs(std::clamp<std::int64_t>(s, -kMaxSeconds, kMaxSeconds)));
}

int participation(icalproperty* attendee) {
    icalparameter* p = icalproperty_get_first_parameter(attendee, ICAL_PARTSTAT_PARAMETER);
    if (!p) return 0;
    switch (icalparameter_get_partstat(p)) {
        case ICAL_PARTSTAT_NEEDSACTION: return 1;
        case ICAL_PARTSTAT_ACCEPTED: return 2;
        case ICAL_PARTSTAT_DECLINED: return 3;
        case ICAL_PARTSTAT_TENTATIVE: return 4;
        case ICAL_PARTSTAT_DELEGATED: return 5;
        case ICAL_PARTSTAT_COMPLETED: return 6;
        case ICAL_PARTSTAT_INPROCESS: return 7;
        default: return 0;
    }
}

std::optional<std::string> text(const char* s) {
    if (!s || !*s) return std::nullopt;
    return std::string(s);
}

std::optional<std::string> colorOf(icalcomponent* vcalendar) {
    for (icalproperty* p = icalcomponent_get_first_property(vcalendar, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(vcalendar, ICAL_X_PROPERTY)) {
        const char* name = icalproperty_get_x_name(p);
        const char* value = icalproperty_get_x(p);
        if (!name || !value || std::string_view(name) != "X-APPLE-CALENDAR-COLOR") continue;
        const std::string_view v(value);
        if ((v.size() == 7 || v.size() == 9) && v[0] == '#' &&
            std::all_of(v.begin() + 1, v.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
            return std::string(v.substr(0, 7));
    }
    return std::nullopt;
}

std::string stamp(WallTime t) {
    const auto secs = std::chrono::floor<Secs>(t);
    const auto day = std::chrono::floor<std::chrono::days>(secs);
    const std::chrono::year_month_day ymd(day);
    const std::chrono::hh_mm_ss<Secs> tod(secs - day);
    char out[32];
    std::snprintf(out, sizeof out, "%04d%02u%02uT%02ld%02ld%02ldZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<long>(tod.hours().count()), static_cast<long>(tod.minutes().count()),
                  static_cast<long>(tod.seconds().count()));
    return out;
}

std::optional<WallTime> parseStamp(std::string_view s) {
    if (s.size() != 16 || s[8] != 'T' || s[15] != 'Z') return std::nullopt;
    for (std::size_t i = 0; i < 15; ++i)
        if (i != 8 && !std::isdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
    const icaltimetype t = icaltime_from_string(std::string(s).c_str());
    if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t)) return std::nullopt;
    return toWall(t, utcZone());
}

}  // namespace

namespace ics {

struct Calendar::Item {
    icalcomponent* vcalendar = nullptr;
    std::string uid;
    std::string title;
    std::optional<std::string> location, url, notes;
    std::optional<GeoCoordinate> geo;
    std::vector<std::pair<std::string, int>> attendees;  // address, participation status
    icaltimetype start{}, end{};
    bool allDay = false;
    bool cancelled = false;
    icalproperty* rrule = nullptr;
    std::vector<icalproperty*> exdates, rdates;
    std::optional<icaltimetype> recurrenceId;
    std::vector<std::size_t> overrides;  // items that replace single instances of this one
};

namespace {

Calendar::Item readEvent(icalcomponent* event, icalcomponent* vcalendar, std::size_t index) {
    Calendar::Item item;
    item.vcalendar = vcalendar;
    item.uid = icalcomponent_get_uid(event) ? icalcomponent_get_uid(event) : "";
    if (item.uid.empty()) item.uid = "event-" + std::to_string(index);
    item.title = icalcomponent_get_summary(event) ? icalcomponent_get_summary(event) : "";
    item.location = text(icalcomponent_get_location(event));
    item.notes = text(icalcomponent_get_description(event));
    if (icalproperty* p = icalcomponent_get_first_property(event, ICAL_URL_PROPERTY)) item.url = text(icalproperty_get_url(p));
    if (icalproperty* p = icalcomponent_get_first_property(event, ICAL_GEO_PROPERTY)) {
        const icalgeotype g = icalproperty_get_geo(p);
        if (std::isfinite(g.lat) && std::isfinite(g.lon) && std::fabs(g.lat) <= 90 && std::fabs(g.lon) <= 180)
            item.geo = GeoCoordinate{g.lat, g.lon};
    }
    for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_ATTENDEE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_ATTENDEE_PROPERTY))
        item.attendees.emplace_back(address(icalproperty_get_attendee(p)), participation(p));
    item.cancelled = icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED;

    icalproperty* dtstart = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    if (!dtstart) {
        item.start = icaltime_null_time();
        return item;
    }
    item.start = icalproperty_get_dtstart(dtstart);
    resolveZone(item.start, dtstart, vcalendar);
    item.allDay = item.start.is_date;
    if (icalproperty* dtend = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY)) {
        item.end = icalproperty_get_dtend(dtend);
        resolveZone(item.end, dtend, vcalendar);
    } else if (icalproperty* duration = icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY)) {
        item.end = icaltime_add(item.start, icalproperty_get_duration(duration));
    } else {
        item.end = item.start;
        if (item.allDay) icaltime_adjust(&item.end, 1, 0, 0, 0);
    }
    item.rrule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
    for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY))
        item.exdates.push_back(p);
    for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY))
        item.rdates.push_back(p);
    if (icalproperty* rid = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY)) {
        icaltimetype t = icalproperty_get_recurrenceid(rid);
        resolveZone(t, rid, vcalendar);
        if (!icaltime_is_null_time(t)) item.recurrenceId = t;
    }
    return item;
}

icaltimetype exdateTime(icalproperty* p, icalcomponent* vcalendar) {
    icaltimetype t = icalproperty_get_exdate(p);
    resolveZone(t, p, vcalendar);
    return t;
}

icaltimetype rdateTime(icalproperty* p, icalcomponent* vcalendar) {
    const icaldatetimeperiodtype d = icalproperty_get_rdate(p);
    icaltimetype t = icaltime_is_null_time(d.time) ? d.period.start : d.time;
    resolveZone(t, p, vcalendar);
    return t;
}

}  // namespace

Calendar::~Calendar() {
    if (tree_) icalcomponent_free(static_cast<icalcomponent*>(tree_));
}

std::size_t Calendar::eventCount() const { return items_.size(); }

std::unique_ptr<Calendar> Calendar::parse(std::string_view input, std::string* error) {
    // Malformed input is the file's fault, never a reason to stop the program.
    static const bool quiet = [] {
        icalerror_set_errors_are_fatal(0);
        return true;
    }();
    (void)quiet;
    const std::string copy(input);  // the parser reads up to a terminating zero
    icalcomponent* root = icalparser_parse_string(copy.c_str());
    std::vector<icalcomponent*> vcalendars;
    if (root && icalcomponent_isa(root) == ICAL_VCALENDAR_COMPONENT) {
        vcalendars.push_back(root);
    } else if (root && icalcomponent_isa(root) == ICAL_XROOT_COMPONENT) {
        for (icalcomponent* c = icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT); c;
             c = icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT))
            vcalendars.push_back(c);
    }
    if (vcalendars.empty()) {
        if (root) icalcomponent_free(root);
        if (error) *error = "not an iCalendar file";
        return nullptr;
    }
    std::unique_ptr<Calendar> cal(new Calendar());
    cal->tree_ = root;
    std::map<std::string, std::size_t> masters;
    for (icalcomponent* vcalendar : vcalendars) {
        if (!cal->color_) cal->color_ = colorOf(vcalendar);
        for (icalcomponent* e = icalcomponent_get_first_component(vcalendar, ICAL_VEVENT_COMPONENT); e;
             e = icalcomponent_get_next_component(vcalendar, ICAL_VEVENT_COMPONENT)) {
            Item item = readEvent(e, vcalendar, cal->items_.size());
            if (icaltime_is_null_time(item.start) || !icaltime_is_valid_time(item.start)) continue;
            if (icalproperty* o = icalcomponent_get_first_property(e, ICAL_ORGANIZER_PROPERTY))
                if (auto a = address(icalproperty_get_organizer(o)); !a.empty()) cal->organizers_.push_back(a);
            if (!item.recurrenceId) masters.emplace(item.uid, cal->items_.size());
            cal->items_.push_back(std::move(item));
        }
    }
    for (std::size_t i = 0; i < cal->items_.size(); ++i)
        if (cal->items_[i].recurrenceId)
            if (auto m = masters.find(cal->items_[i].uid); m != masters.end()) cal->items_[m->second].overrides.push_back(i);
    return cal;
}

void Calendar::events(WallTime from, WallTime to, const ExpandOptions& options, std::vector<CalendarEvent>& out,
                      bool* truncated) const {
    const icaltimezone* local = options.localZone.empty() ? nullptr : namedZone(options.localZone);
    if (!local) local = utcZone();

    auto make = [&](const Item& item, const std::string& id, WallTime start, WallTime end) {
        CalendarEvent e;
        e.id = id;
        e.calendarId = options.calendarId;
        e.title = item.title;
        e.start = start;
        e.end = end;
        e.isAllDay = item.allDay;
        e.location = item.location;
        e.url = item.url;
        e.notes = item.notes;
        e.geo = item.geo;
        for (auto& [who, status] : item.attendees) {
            const bool me = !who.empty() &&
                            std::find(options.ownAddresses.begin(), options.ownAddresses.end(), who) != options.ownAddresses.end();
            e.attendees.push_back(CalendarAttendee{me, status});
        }
        out.push_back(std::move(e));
    };
    auto overlaps = [&](WallTime s, WallTime e) { return s <= to && (e > from || (e <= s && s >= from)); };

    for (const Item& item : items_) {
        if (item.cancelled) continue;
        const WallTime start = toWall(item.start, local);
        const WallTime end = std::max(start, toWall(item.end, local));
        if (item.recurrenceId) {
            if (overlaps(start, end)) make(item, instanceId(item.uid, toWall(*item.recurrenceId, local)), start, end);
            continue;
        }
        if (!item.rrule && item.rdates.empty()) {
            if (overlaps(start, end)) make(item, item.uid, start, end);
            continue;
        }
        // A recurring event: every instance but the excluded and the replaced ones.
        const Duration length = end - start;
        const auto days = item.allDay ? std::chrono::floor<std::chrono::days>(toWall(item.end, utcZone()) -
                                                                              toWall(item.start, utcZone()))
                                            .count()
                                      : 0;
        std::unordered_set<std::int64_t> skip;
        // Some writers exclude an instance of a timed series by its date alone.
        std::vector<icaltimetype> skipDays;
        for (icalproperty* p : item.exdates) {
            const icaltimetype ex = exdateTime(p, item.vcalendar);
            if (ex.is_date && !item.allDay) skipDays.push_back(ex);
            else skip.insert(toWall(ex, local).time_since_epoch().count());
        }
        for (std::size_t o : item.overrides)
            skip.insert(toWall(*items_[o].recurrenceId, local).time_since_epoch().count());
        std::unordered_set<std::int64_t> seen;
        auto instance = [&](icaltimetype t) {
            const WallTime s = toWall(t, local);
            const auto key = s.time_since_epoch().count();
            if (skip.count(key) || !seen.insert(key).second) return;
            for (auto& day : skipDays)
                if (day.year == t.year && day.month == t.month && day.day == t.day) return;
            WallTime e = s + length;
            if (item.allDay && days > 0) {
                icaltimetype last = t;
                icaltime_adjust(&last, static_cast<int>(std::min<long long>(days, 3660)), 0, 0, 0);
                e = toWall(last, local);
            }
            if (overlaps(s, e)) make(item, instanceId(item.uid, s), s, e);
        };
        if (item.rrule) {
            const icalrecurrencetype rule = icalproperty_get_rrule(item.rrule);
            const bool ended = !icaltime_is_null_time(rule.until) && toWall(rule.until, local) + length < from;
            icalrecur_iterator* it = ended ? nullptr : icalrecur_iterator_new(rule, item.start);
            if (it) {
                // Jump close to the window when the rule allows it (a COUNT needs every step).
                const Duration margin = rule.freq == ICAL_SECONDLY_RECURRENCE   ? Duration(std::chrono::minutes(1))
                                        : rule.freq == ICAL_MINUTELY_RECURRENCE ? Duration(std::chrono::hours(1))
                                                                                : Duration(std::chrono::days(1));
                const WallTime jump = from - length - margin;
                if (rule.count == 0 && jump > start) {
                    const icaltimezone* zone = (item.allDay || !item.start.zone) ? local : item.start.zone;
                    const auto secs = std::chrono::duration_cast<Secs>(jump.time_since_epoch()).count();
                    icaltimetype at = icaltime_from_timet_with_zone(static_cast<time_t>(secs), item.allDay, zone);
                    at.zone = item.start.zone;
                    icalrecur_iterator_set_start(it, at);
                }
                std::size_t steps = 0;
                for (;; ++steps) {
                    if (steps >= options.maxStepsPerEvent) {
                        if (truncated) *truncated = true;
                        break;
                    }
                    icaltimetype t = icalrecur_iterator_next(it);
                    if (icaltime_is_null_time(t)) break;
                    t.zone = item.start.zone;
                    if (toWall(t, local) > to) break;
                    instance(t);
                }
                icalrecur_iterator_free(it);
            }
        } else {
            instance(item.start);
        }
        for (icalproperty* p : item.rdates) {
            const icaltimetype t = rdateTime(p, item.vcalendar);
            if (!icaltime_is_null_time(t) && icaltime_is_valid_time(t)) instance(t);
        }
    }
}

std::optional<CalendarEvent> Calendar::find(const std::string& id, const ExpandOptions& options) const {
    std::vector<CalendarEvent> found;
    const auto slash = id.rfind('/');
    if (slash != std::string::npos)
        if (auto at = parseStamp(std::string_view(id).substr(slash + 1))) {
            events(*at, *at, options, found);
            for (auto& e : found)
                if (e.id == id) return e;
            found.clear();
        }
    // A single event: its own time is the window.
    for (const Item& item : items_) {
        if (item.uid != id || item.rrule || !item.rdates.empty() || item.recurrenceId) continue;
        const icaltimezone* local = options.localZone.empty() ? nullptr : namedZone(options.localZone);
        const WallTime start = toWall(item.start, local ? local : utcZone());
        events(start, start, options, found);
        for (auto& e : found)
            if (e.id == id) return e;
    }
    return std::nullopt;
}

std::string instanceId(std::string_view uid, WallTime originalStart) {
    return std::string(uid) + "/" + stamp(originalStart);
}

std::string systemZoneName() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) return tz[0] == ':' ? tz + 1 : tz;
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink("/etc/localtime", ec).string();
    const auto at = target.find("zoneinfo/");
    return at == std::string::npos ? std::string() : target.substr(at + 9);
}

}  // namespace ics

IcsCalendarStore::Folders IcsCalendarStore::Folders::fromEnvironment(const std::string& home) {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const std::string data = (xdg && *xdg == '/') ? std::string(xdg) : home + "/.local/share";
    return {data + "/halvyn/calendars", data + "/evolution/calendar"};
}

std::vector<std::string> IcsCalendarStore::addressesFromEnvironment() {
    std::vector<std::string> out;
    const char* configured = std::getenv("HALVYN_CALENDAR_EMAIL");
    const char* fallback = std::getenv("EMAIL");
    const std::string list = configured && *configured ? configured : (fallback ? fallback : "");
    std::size_t at = 0;
    while (at <= list.size()) {
        std::size_t end = list.find(',', at);
        if (end == std::string::npos) end = list.size();
        std::string one = address(list.substr(at, end - at).c_str());
        one.erase(0, one.find_first_not_of(" \t"));
        one.erase(one.find_last_not_of(" \t") + 1);
        if (!one.empty()) out.push_back(one);
        at = end + 1;
    }
    return out;
}

IcsCalendarStore::IcsCalendarStore(FileSystem& files, MainQueue& main, Logger log, Folders folders,
                                   std::vector<std::string> ownAddresses, std::string localZone)
    : files_(files), main_(main), log_(std::move(log)), folders_(std::move(folders)),
      configured_(std::move(ownAddresses)), zone_(std::move(localZone)) {
    for (auto& a : configured_) a = address(a.c_str());
    reload();
}

IcsCalendarStore::~IcsCalendarStore() = default;

void IcsCalendarStore::requestFullAccess(std::function<void(bool, std::optional<std::string>)> done) {
    // Reading the user's own files needs no one's permission.
    std::weak_ptr<bool> weak = alive_;
    main_.post([weak, done = std::move(done)] {
        if (weak.lock() && done) done(true, std::nullopt);
    });
}

std::vector<std::string> IcsCalendarStore::calendarPaths() const {
    std::vector<std::string> paths;
    for (auto& name : files_.list(folders_.own))
        if (name.size() > 4 && lower(name.substr(name.size() - 4)) == ".ics" &&
            files_.type(folders_.own + "/" + name) == FileType::file)
            paths.push_back(folders_.own + "/" + name);
    for (auto& name : files_.list(folders_.evolution)) {
        const std::string path = folders_.evolution + "/" + name + "/calendar.ics";
        if (files_.type(path) == FileType::file) paths.push_back(path);
    }
    return paths;
}

void IcsCalendarStore::reload() {
    reloadPending_ = false;
    std::vector<File> next;
    bool changed = false;
    for (const std::string& path : calendarPaths()) {
        File file;
        auto old = std::find_if(calendars_.begin(), calendars_.end(), [&](const File& f) { return f.path == path; });
        if (old != calendars_.end()) file = std::move(*old);
        else changed = true;
        file.path = path;
        file.id = path;
        std::string error;
        auto bytes = files_.readFile(path, kMaxFileBytes, &error);
        // A file read again unchanged (a folder event, a rewrite of the same text) is no change.
        const std::size_t digest = bytes ? std::hash<std::string>{}(*bytes) : 0;
        if (bytes && file.calendar && digest == file.digest) {
            file.failure.clear();
        } else if (auto parsed = bytes ? ics::Calendar::parse(*bytes, &error) : nullptr) {
            file.calendar = std::move(parsed);
            file.digest = digest;
            file.failure.clear();
            changed = true;
        } else if (file.failure != error) {
            // Logged once per failure; the last good reading stays in place.
            file.failure = error;
            log_.error("Cannot read the calendar %{public}s: %{public}s", path, error);
        }
        std::weak_ptr<bool> weak = alive_;
        file.watch = files_.watch(path, [this, weak] {
            if (weak.lock()) scheduleReload();
        });
        next.push_back(std::move(file));
    }
    if (next.size() != calendars_.size()) changed = true;
    calendars_ = std::move(next);
    watchFolders();

    own_ = configured_;
    if (own_.empty()) {
        // Without a configured address, the user is whoever organises most of their events.
        std::map<std::string, int> count;
        for (auto& f : calendars_)
            if (f.calendar)
                for (auto& a : f.calendar->organizers()) ++count[a];
        auto best = std::max_element(count.begin(), count.end(), [](auto& a, auto& b) { return a.second < b.second; });
        if (best != count.end()) own_.push_back(best->first);
    }
    if (changed) {
        truncatedLogged_.clear();
        changed_.emit();
    }
}

void IcsCalendarStore::watchFolders() {
    folderWatches_.clear();
    std::weak_ptr<bool> weak = alive_;
    auto watch = [&](const std::string& path) {
        folderWatches_.push_back(files_.watch(path, [this, weak] {
            if (weak.lock()) scheduleReload();
        }));
    };
    for (const std::string& folder : {folders_.own, folders_.evolution}) {
        watch(folder);
        // A folder made later is noticed through its parent's change.
        if (files_.type(folder) != FileType::directory) watch(std::filesystem::path(folder).parent_path().string());
    }
}

void IcsCalendarStore::scheduleReload() {
    if (reloadPending_) return;
    reloadPending_ = true;
    std::weak_ptr<bool> weak = alive_;
    // Editors write a file in several steps: one reading after they settle.
    main_.postAfter(halvyn::seconds(0.2), [this, weak] {
        if (weak.lock()) reload();
    });
}

ics::ExpandOptions IcsCalendarStore::optionsFor(const File& file) const { return {file.id, own_, zone_}; }

std::vector<CalendarInfo> IcsCalendarStore::calendars() const {
    static const char* palette[] = {"#3B82F6", "#10B981", "#F59E0B", "#EF4444", "#8B5CF6", "#EC4899"};
    std::vector<CalendarInfo> out;
    std::size_t i = 0;
    for (auto& f : calendars_) {
        const std::string color = f.calendar && f.calendar->color() ? *f.calendar->color() : palette[i % 6];
        out.push_back(CalendarInfo{f.id, 0, 0, color});
        ++i;
    }
    return out;
}

std::vector<CalendarEvent> IcsCalendarStore::events(WallTime from, WallTime to,
                                                    const std::vector<std::string>& calendarIds) const {
    std::vector<CalendarEvent> out;
    for (auto& f : calendars_) {
        if (!f.calendar || std::find(calendarIds.begin(), calendarIds.end(), f.id) == calendarIds.end()) continue;
        bool truncated = false;
        f.calendar->events(from, to, optionsFor(f), out, &truncated);
        if (truncated && truncatedLogged_.insert(f.path).second)
            log_.error("A recurrence in %{public}s repeats too often; only its first instances are shown", f.path);
    }
    return out;
}

std::optional<CalendarEvent> IcsCalendarStore::event(const std::string& id) const {
    for (auto& f : calendars_)
        if (f.calendar)
            if (auto e = f.calendar->find(id, optionsFor(f))) return e;
    return std::nullopt;
}

}  // namespace halvyn
