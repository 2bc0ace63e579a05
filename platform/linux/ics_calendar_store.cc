#include "platform/linux/ics_calendar_store.h"

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <unordered_set>
#include <utility>

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

// A rule more frequent than daily that names days, weeks or months (or the 60th second) is
// searched second by second (minute, hour) for each instance, without end when none can match
// ("every second of February 30th"). Such a rule is not expanded.
bool searchesWithoutEnd(const icalrecurrencetype& rule) {
    if (rule.freq != ICAL_SECONDLY_RECURRENCE && rule.freq != ICAL_MINUTELY_RECURRENCE &&
        rule.freq != ICAL_HOURLY_RECURRENCE)
        return false;
    auto any = [](const short* list) { return list[0] != ICAL_RECURRENCE_ARRAY_MAX; };
    if (any(rule.by_day) || any(rule.by_month_day) || any(rule.by_year_day) || any(rule.by_week_no) ||
        any(rule.by_month) || any(rule.by_set_pos))
        return true;
    auto beyond = [](const short* list, int size, short limit) {
        for (int i = 0; i < size && list[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
            if (list[i] >= limit || list[i] < 0) return true;
        return false;
    };
    return beyond(rule.by_second, ICAL_BY_SECOND_SIZE, 60) || beyond(rule.by_minute, ICAL_BY_MINUTE_SIZE, 60) ||
           beyond(rule.by_hour, ICAL_BY_HOUR_SIZE, 24);
}

// What one step of a rule's search costs: the library walks the rule's unit (a second for a
// secondly rule, a day for a daily one) until an instance matches, so a sparse rule pays for the
// time it passes over. A second, minute or hour is much cheaper to walk than a day.
struct Cost {
    Duration unit;
    std::int64_t perStep;
    std::size_t of(Duration passed) const {
        const std::int64_t units = passed > Duration::zero() ? passed / unit : 0;
        return 1 + static_cast<std::size_t>(units / perStep);
    }
};

Cost costOf(icalrecurrencetype_frequency freq) {
    namespace c = std::chrono;
    switch (freq) {
        case ICAL_SECONDLY_RECURRENCE: return {c::seconds(1), 64};
        case ICAL_MINUTELY_RECURRENCE: return {c::minutes(1), 64};
        case ICAL_HOURLY_RECURRENCE: return {c::hours(1), 64};
        case ICAL_DAILY_RECURRENCE: return {c::days(1), 1};
        case ICAL_WEEKLY_RECURRENCE: return {c::weeks(1), 1};
        case ICAL_MONTHLY_RECURRENCE: return {c::months(1), 1};
        default: return {c::years(1), 1};
    }
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
    const auto text = unfoldedWithinNesting(input, error);
    if (!text) return nullptr;
    icalcomponent* root = icalparser_parse_string(text->c_str());
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
                      StepBudget& budget) const {
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
        auto dayKey = [](const icaltimetype& t) { return (std::int64_t{t.year} * 16 + t.month) * 32 + t.day; };
        std::unordered_set<std::int64_t> skipDays;
        for (icalproperty* p : item.exdates) {
            const icaltimetype ex = exdateTime(p, item.vcalendar);
            if (ex.is_date && !item.allDay) skipDays.insert(dayKey(ex));
            else skip.insert(toWall(ex, local).time_since_epoch().count());
        }
        for (std::size_t o : item.overrides)
            skip.insert(toWall(*items_[o].recurrenceId, local).time_since_epoch().count());
        std::unordered_set<std::int64_t> seen;
        auto instance = [&](icaltimetype t) {
            const WallTime s = toWall(t, local);
            const auto key = s.time_since_epoch().count();
            if (skip.count(key) || skipDays.count(dayKey(t)) || !seen.insert(key).second) return;
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
            if (searchesWithoutEnd(rule)) {
                // Only its first instance; the rest is never looked for.
                budget.exhausted = true;
                instance(item.start);
            }
            icalrecur_iterator* it = ended || searchesWithoutEnd(rule) ? nullptr : icalrecur_iterator_new(rule, item.start);
            if (it) {
                // Jump close to the window when the rule allows it (a COUNT needs every step).
                const Duration margin = rule.freq == ICAL_SECONDLY_RECURRENCE   ? Duration(std::chrono::minutes(1))
                                        : rule.freq == ICAL_MINUTELY_RECURRENCE ? Duration(std::chrono::hours(1))
                                                                                : Duration(std::chrono::days(1));
                const WallTime jump = from - length - margin;
                WallTime last = start;  // where the library's search starts
                if (rule.count == 0 && jump > start) {
                    const icaltimezone* zone = (item.allDay || !item.start.zone) ? local : item.start.zone;
                    const auto secs = std::chrono::duration_cast<Secs>(jump.time_since_epoch()).count();
                    icaltimetype at = icaltime_from_timet_with_zone(static_cast<time_t>(secs), item.allDay, zone);
                    at.zone = item.start.zone;
                    icalrecur_iterator_set_start(it, at);
                    last = jump;
                }
                const Cost cost = costOf(rule.freq);
                std::size_t spent = 0;
                // Charges a step of the library's search: the time it passed over, in its units.
                auto charge = [&](std::size_t steps) {
                    steps = std::min(steps, budget.left);
                    budget.left -= steps;
                    spent += steps;
                };
                for (bool produced = false;;) {
                    if (spent >= options.maxStepsPerEvent || budget.left == 0) {
                        budget.exhausted = true;
                        break;
                    }
                    icaltimetype t = icalrecur_iterator_next(it);
                    if (icaltime_is_null_time(t)) {
                        // A rule that never matches was searched to the end of time (or to its UNTIL).
                        if (!produced) {
                            if (icaltime_is_null_time(rule.until)) charge(budget.left);
                            else charge(cost.of(toWall(rule.until, local) - last));
                        }
                        break;
                    }
                    produced = true;
                    t.zone = item.start.zone;
                    const WallTime at = toWall(t, local);
                    charge(cost.of(at - last));
                    last = std::max(last, at);
                    if (at > to) break;
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

std::optional<CalendarEvent> Calendar::find(const std::string& id, const ExpandOptions& options,
                                            StepBudget& budget) const {
    std::vector<CalendarEvent> found;
    const auto slash = id.rfind('/');
    if (slash != std::string::npos)
        if (auto at = parseStamp(std::string_view(id).substr(slash + 1))) {
            events(*at, *at, options, found, budget);
            for (auto& e : found)
                if (e.id == id) return e;
            found.clear();
        }
    // A single event: its own time is the window.
    for (const Item& item : items_) {
        if (item.uid != id || item.rrule || !item.rdates.empty() || item.recurrenceId) continue;
        const icaltimezone* local = options.localZone.empty() ? nullptr : namedZone(options.localZone);
        const WallTime start = toWall(item.start, local ? local : utcZone());
        events(start, start, options, found, budget);
        for (auto& e : found)
            if (e.id == id) return e;
    }
    return std::nullopt;
}

std::optional<std::string> unfoldedWithinNesting(std::string_view input, std::string* error) {
    input = input.substr(0, input.find('\0'));  // where the parser would stop
    std::string out;
    out.reserve(input.size());
    int depth = 0;
    std::size_t line = 0;  // where the current line starts in `out`
    // Ends the line being built. The parser takes the name before the first ':' or ';' and opens
    // a component for BEGIN, closes the innermost for END. BEGIN is counted generously (blanks
    // around it, no value), END only when the parser certainly closes one, so the count of open
    // components is never below the parser's.
    auto endLine = [&] {
        const auto blank = std::string_view::npos;
        const std::size_t first = out.find_first_not_of(" \t", line);
        if (first == blank) {
            out.resize(line);
            return true;
        }
        out.erase(line, first - line);  // the parser must not take this line as folded
        const std::string_view text(out.data() + line, out.size() - line);
        const std::size_t delimiter = text.find_first_of(":;");
        std::string_view name = text.substr(0, delimiter);
        auto is = [](std::string_view s, std::string_view word) {
            return s.size() == word.size() && std::equal(s.begin(), s.end(), word.begin(), [](char a, char b) {
                       return std::toupper(static_cast<unsigned char>(a)) == b;
                   });
        };
        if (is(name.substr(0, name.find_last_not_of(" \t") + 1), "BEGIN")) {
            if (++depth > kMaxNesting) return false;
        } else if (delimiter != blank && is(name, "END") && depth > 0) {
            --depth;
        }
        out += '\n';
        line = out.size();
        return true;
    };
    bool within = true;
    for (std::size_t i = 0; within && i < input.size(); ++i) {
        const char c = input[i];
        if (c == '\r') continue;
        if (c != '\n') {
            out += c;
            continue;
        }
        std::size_t next = i + 1;
        while (next < input.size() && input[next] == '\r') ++next;
        if (next < input.size() && (input[next] == ' ' || input[next] == '\t')) {
            i = next;  // a folded line goes on without its line break and first blank
            continue;
        }
        within = endLine();
    }
    if (within && endLine()) return out;
    if (error) *error = "components nested more than " + std::to_string(kMaxNesting) + " deep";
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

struct IcsCalendarStore::File {
    std::string path;  // also the calendar's identifier
    std::shared_ptr<const ics::Calendar> calendar;  // the last good reading; null before one
    std::size_t digest = 0;                         // of the text of that reading
    std::string failure;                            // why this reading of the file failed
};

struct IcsCalendarStore::Reading {
    std::vector<File> files;
    std::vector<std::string> own;  // the user's addresses
};

// What the background work needs; it outlives the store while work is queued.
struct IcsCalendarStore::Shared {
    Shared(FileSystem& f, Folders d, std::vector<std::string> c, std::string z)
        : files(f), folders(std::move(d)), configured(std::move(c)), zone(std::move(z)) {}
    FileSystem& files;  // used only under `work` while not closing
    const Folders folders;
    const std::vector<std::string> configured;
    const std::string zone;
    // One reading or query at a time: the parsed trees are never used by two threads at once.
    std::mutex work;
    std::atomic<bool> closing{false};
    std::atomic<std::uint64_t> latest{0};  // the newest reading asked for
    std::shared_ptr<const Reading> last;   // the newest reading made, under `work`
};

namespace {

std::vector<std::string> calendarPaths(const FileSystem& files, const IcsCalendarStore::Folders& folders) {
    std::vector<std::string> paths;
    for (auto& name : files.list(folders.own))
        if (name.size() > 4 && lower(name.substr(name.size() - 4)) == ".ics" &&
            files.type(folders.own + "/" + name) == FileType::file)
            paths.push_back(folders.own + "/" + name);
    for (auto& name : files.list(folders.evolution)) {
        const std::string path = folders.evolution + "/" + name + "/calendar.ics";
        if (files.type(path) == FileType::file) paths.push_back(path);
    }
    return paths;
}

// Every calendar file, read again; an unchanged text keeps its parsed calendar, a file that
// cannot be read or parsed keeps its last good reading. Under `work`.
std::shared_ptr<const IcsCalendarStore::Reading> readCalendars(IcsCalendarStore::Shared& shared) {
    using File = IcsCalendarStore::File;
    auto reading = std::make_shared<IcsCalendarStore::Reading>();
    const auto* before = shared.last.get();
    for (const std::string& path : calendarPaths(shared.files, shared.folders)) {
        if (shared.closing) break;
        File file;
        file.path = path;
        const File* old = nullptr;
        if (before)
            for (auto& f : before->files)
                if (f.path == path) old = &f;
        std::string error;
        // Opened without following a link and without blocking, checked as a regular file of
        // bounded size: what was listed may have been replaced since.
        auto bytes = shared.files.readFile(path, IcsCalendarStore::kMaxFileBytes, &error);
        const std::size_t digest = bytes ? std::hash<std::string>{}(*bytes) : 0;
        if (bytes && old && old->calendar && digest == old->digest) {
            file.calendar = old->calendar;
            file.digest = digest;
        } else if (auto parsed = bytes ? ics::Calendar::parse(*bytes, &error) : nullptr) {
            file.calendar = std::move(parsed);
            file.digest = digest;
        } else {
            file.failure = error;
            if (old) {
                file.calendar = old->calendar;
                file.digest = old->digest;
            }
        }
        reading->files.push_back(std::move(file));
    }
    reading->own = shared.configured;
    if (reading->own.empty()) {
        // Without a configured address, the user is whoever organises most of their events.
        std::map<std::string, int> count;
        for (auto& f : reading->files)
            if (f.calendar)
                for (auto& a : f.calendar->organizers()) ++count[a];
        auto best = std::max_element(count.begin(), count.end(), [](auto& a, auto& b) { return a.second < b.second; });
        if (best != count.end()) reading->own.push_back(best->first);
    }
    return reading;
}

struct Expansion {
    CalendarAnswer answer;
    std::vector<std::string> truncated;  // files whose recurrences were cut short
};

// The query over one reading, each file within its share of the query's steps. Under `work`.
Expansion expand(const IcsCalendarStore::Reading& reading, const std::string& zone, const CalendarQuery& query) {
    Expansion out;
    std::size_t left = ics::kMaxStepsPerQuery;
    std::vector<bool> found(query.eventIds.size(), false);
    for (auto& f : reading.files) {
        if (!f.calendar) continue;
        const bool wanted = std::find(query.calendarIds.begin(), query.calendarIds.end(), f.path) != query.calendarIds.end();
        ics::StepBudget budget{std::min(ics::kMaxStepsPerFile, left)};
        const ics::ExpandOptions options{f.path, reading.own, zone};
        if (wanted) f.calendar->events(query.from, query.to, options, out.answer.events, budget);
        for (std::size_t i = 0; i < query.eventIds.size(); ++i)
            if (!found[i])
                if (auto e = f.calendar->find(query.eventIds[i], options, budget)) {
                    found[i] = true;
                    out.answer.found.push_back(std::move(*e));
                }
        left -= std::min(ics::kMaxStepsPerFile, left) - budget.left;
        if (budget.exhausted) out.truncated.push_back(f.path);
    }
    return out;
}

}  // namespace

IcsCalendarStore::IcsCalendarStore(FileSystem& files, MainQueue& main, BackgroundQueue& background, Logger log,
                                   Folders folders, std::vector<std::string> ownAddresses, std::string localZone)
    : files_(files), main_(main), background_(background), log_(std::move(log)), folders_(folders) {
    for (auto& a : ownAddresses) a = address(a.c_str());
    shared_ = std::make_shared<Shared>(files, std::move(folders), std::move(ownAddresses), std::move(localZone));
    reload();
}

IcsCalendarStore::~IcsCalendarStore() {
    shared_->closing = true;
    // The file system may go right after the store: wait for work that is using it.
    std::lock_guard lock(shared_->work);
}

void IcsCalendarStore::requestFullAccess(std::function<void(bool, std::optional<std::string>)> done) {
    // Reading the user's own files needs no one's permission.
    const Lifetime::Token weak = lifetime_.token();
    main_.post([weak, done = std::move(done)] {
        if (weak && done) done(true, std::nullopt);
    });
}

const std::vector<std::string>& IcsCalendarStore::ownAddresses() const {
    return reading_ ? reading_->own : shared_->configured;
}

void IcsCalendarStore::reload() {
    reloadPending_ = false;
    const std::uint64_t generation = ++readingsAsked_;
    shared_->latest = generation;
    const Lifetime::Token weak = lifetime_.token();
    background_.post([this, weak, shared = shared_, generation, main = &main_] {
        std::lock_guard lock(shared->work);
        // A reading asked for later reads everything this one would.
        if (shared->closing || shared->latest != generation) return;
        auto reading = readCalendars(*shared);
        shared->last = reading;
        main->post([this, weak, generation, reading] {
            // One asked for since then is on its way and replaces this one.
            if (weak && generation == readingsAsked_) apply(reading);
        });
    });
}

void IcsCalendarStore::apply(std::shared_ptr<const Reading> reading) {
    std::map<std::string, std::string> failures;
    for (auto& f : reading->files) {
        if (f.failure.empty()) continue;
        // Logged once per failure; the last good reading stays in place.
        if (failuresLogged_[f.path] != f.failure)
            log_.error("Cannot read the calendar %{public}s: %{public}s", f.path, f.failure);
        failures[f.path] = f.failure;
    }
    failuresLogged_ = std::move(failures);

    // A file read again unchanged (a folder event, a rewrite of the same text) is no change.
    static const Reading none{};
    const Reading& before = reading_ ? *reading_ : none;
    bool changed = before.files.size() != reading->files.size() || before.own != reading->own;
    for (std::size_t i = 0; !changed && i < reading->files.size(); ++i)
        changed = before.files[i].path != reading->files[i].path || before.files[i].calendar != reading->files[i].calendar;

    // The calendars this one replaces are freed with the background work, not on the main queue.
    if (auto old = std::exchange(reading_, std::move(reading)))
        background_.post([shared = shared_, old]() mutable {
            std::lock_guard lock(shared->work);
            old.reset();
        });
    watchFolders();
    if (changed) {
        truncatedLogged_.clear();
        changed_.emit();
    }
}

void IcsCalendarStore::watchFolders() {
    watches_.clear();
    const Lifetime::Token weak = lifetime_.token();
    auto watch = [&](const std::string& path) {
        watches_.push_back(files_.watch(path, [this, weak] {
            if (weak) scheduleReload();
        }));
    };
    for (auto& f : reading_->files) watch(f.path);
    for (const std::string& folder : {folders_.own, folders_.evolution}) {
        watch(folder);
        // A folder made later is noticed through its parent's change.
        if (files_.type(folder) != FileType::directory) watch(std::filesystem::path(folder).parent_path().string());
    }
}

void IcsCalendarStore::scheduleReload() {
    if (reloadPending_) return;
    reloadPending_ = true;
    const Lifetime::Token weak = lifetime_.token();
    // Editors write a file in several steps: one reading after they settle.
    main_.postAfter(halvyn::seconds(0.2), [this, weak] {
        if (weak) reload();
    });
}

std::vector<CalendarInfo> IcsCalendarStore::calendars() const {
    static const char* palette[] = {"#3B82F6", "#10B981", "#F59E0B", "#EF4444", "#8B5CF6", "#EC4899"};
    std::vector<CalendarInfo> out;
    if (!reading_) return out;
    std::size_t i = 0;
    for (auto& f : reading_->files) {
        const std::string color = f.calendar && f.calendar->color() ? *f.calendar->color() : palette[i % 6];
        out.push_back(CalendarInfo{f.path, 0, 0, color});
        ++i;
    }
    return out;
}

void IcsCalendarStore::fetch(CalendarQuery query, std::function<void(CalendarAnswer)> done) {
    const Lifetime::Token weak = lifetime_.token();
    // The query runs over the reading the caller's calendars() came from.
    background_.post([this, weak, shared = shared_, reading = reading_, query = std::move(query),
                      done = std::move(done), main = &main_]() mutable {
        auto result = std::make_shared<Expansion>();
        std::lock_guard lock(shared->work);
        if (!shared->closing && reading) *result = expand(*reading, shared->zone, query);
        reading.reset();  // the last holder of a replaced reading frees it here
        main->post([this, weak, result, done] {
            if (!weak) return;
            for (auto& path : result->truncated)
                if (truncatedLogged_.insert(path).second)
                    log_.error("A recurrence in %{public}s repeats too often; only its first instances are shown", path);
            if (done) done(std::move(result->answer));
        });
    });
}

}  // namespace halvyn
