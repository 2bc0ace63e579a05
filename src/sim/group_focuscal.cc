// halvyn-sim: the focus, calendar and weather groups; the `calendar`, `travel`, `location`,
// `weather` and `locale` platform state; the FocusManager, CalendarManager and WeatherManager
// objects. The scenario's utcOffset is the locale's fixed offset.
//
// `calendar.prefsChanged` writes the calendar application's preferences file: a list of hidden
// calendars becomes a property list; a text is written as it is (a broken file, say).

#include <cmath>
#include <memory>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "app/context.h"
#include "calendar/calendar_manager.h"
#include "notch/notch_sources.h"
#include "platform/sim/sim_platform.h"
#include "runtime/dates.h"
#include "sim/registry.h"
#include "sim/scenario.h"
#include "sources/focus_manager.h"
#include "weather/weather_manager.h"

namespace halvyn {

namespace {

using json = nlohmann::json;
using Problem = std::optional<std::string>;

const std::set<std::string> kEventKeys = {"at", "do"};

bool isDate(const json& v) { return v.is_string() && parseIso8601(v.get<std::string>()).has_value(); }
bool isFiniteNumber(const json& v) { return v.is_number() && std::isfinite(v.get<double>()); }
bool isWhole(const json& v, double lo, double hi) {
    return isFiniteNumber(v) && std::floor(v.get<double>()) == v.get<double>() && v.get<double>() >= lo &&
           v.get<double>() <= hi;
}
bool isOptionalText(const json& v) { return v.is_null() || v.is_string(); }

Problem checkCalendarEvent(const json& e, const std::string& where) {
    if (!e.is_object()) return where + "must be an object";
    for (auto& [k, v] : e.items()) {
        if (k == "id" || k == "calendar" || k == "title") {
            if (!v.is_string()) return where + "'" + k + "' must be a text";
        } else if (k == "start" || k == "end") {
            if (!isDate(v)) return where + "'" + k + "' must be an ISO 8601 date";
        } else if (k == "allDay") {
            if (!v.is_boolean()) return where + "'allDay' must be a Boolean";
        } else if (k == "location" || k == "url" || k == "notes") {
            if (!isOptionalText(v)) return where + "'" + k + "' must be a text or null";
        } else if (k == "geo") {
            if (!v.is_null() && (!v.is_array() || v.size() != 2 || !isFiniteNumber(v[0]) || !isFiniteNumber(v[1])))
                return where + "'geo' must be [latitude, longitude] or null";
        } else if (k == "attendees") {
            if (!v.is_array()) return where + "'attendees' must be a list";
            for (auto& a : v) {
                if (!a.is_object()) return where + "an attendee must be an object";
                for (auto& [ak, av] : a.items()) {
                    if (ak == "currentUser") {
                        if (!av.is_boolean()) return where + "an attendee's 'currentUser' must be a Boolean";
                    } else if (ak == "status") {
                        if (!isWhole(av, 0, 7)) return where + "an attendee's 'status' must be 0 to 7";
                    } else {
                        return where + "unknown attendee field '" + ak + "'";
                    }
                }
            }
        } else {
            return where + "unknown event field '" + k + "'";
        }
    }
    for (const char* required : {"id", "calendar", "start", "end"})
        if (!e.contains(required)) return where + "missing '" + required + "'";
    return std::nullopt;
}

Problem checkHidden(const json& v) {
    if (v.is_string()) return std::nullopt;
    if (!v.is_array()) return std::string("'hidden' must be a list of \"calendar://ID\" texts, or the file's text");
    for (auto& s : v)
        if (!s.is_string()) return std::string("'hidden' must be a list of \"calendar://ID\" texts, or the file's text");
    return std::nullopt;
}

Problem checkCalendar(const json& v, const std::set<std::string>& skip = {}) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, val] : v.items()) {
        if (skip.count(k)) continue;
        if (k == "authorization") {
            if (!isWhole(val, 0, 4)) return std::string("'authorization' must be 0 to 4");
        } else if (k == "calendars") {
            if (!val.is_array()) return std::string("'calendars' must be a list");
            for (std::size_t i = 0; i < val.size(); ++i) {
                const json& c = val[i];
                const std::string where = "calendar " + std::to_string(i) + ": ";
                if (!c.is_object()) return where + "must be an object";
                for (auto& [ck, cv] : c.items()) {
                    if (ck == "id" || ck == "color") {
                        if (!cv.is_string()) return where + "'" + ck + "' must be a text";
                    } else if (ck == "type") {
                        if (!isWhole(cv, 0, 4)) return where + "'type' must be 0 to 4";
                    } else if (ck == "sourceType") {
                        if (!isWhole(cv, 0, 5)) return where + "'sourceType' must be 0 to 5";
                    } else {
                        return where + "unknown calendar field '" + ck + "'";
                    }
                }
                if (!c.contains("id")) return where + "missing 'id'";
            }
        } else if (k == "events") {
            if (!val.is_array()) return std::string("'events' must be a list");
            for (std::size_t i = 0; i < val.size(); ++i)
                if (auto p = checkCalendarEvent(val[i], "event " + std::to_string(i) + ": ")) return p;
        } else if (k == "hidden") {
            if (auto p = checkHidden(val)) return p;
        } else {
            return "unknown calendar field '" + k + "'";
        }
    }
    return std::nullopt;
}

std::optional<std::string> optionalText(const json& e, const char* key) {
    auto it = e.find(key);
    if (it == e.end() || it->is_null()) return std::nullopt;
    return it->get<std::string>();
}

std::string xmlEscaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else out += c;
    }
    return out;
}

std::string preferencesPath(SimWorld& w) {
    return w.platform.simFiles().homeDirectory() + "/Library/Preferences/com.apple.iCal.plist";
}

void writeHidden(SimWorld& w, const json& hidden) {
    std::string text;
    if (hidden.is_string()) {
        text = hidden.get<std::string>();
    } else {
        text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
               "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
               "<plist version=\"1.0\">\n<dict>\n\t<key>DisabledCalendars</key>\n\t<dict>\n"
               "\t\t<key>MainWindow</key>\n\t\t<array>\n";
        for (auto& s : hidden) text += "\t\t\t<string>" + xmlEscaped(s.get<std::string>()) + "</string>\n";
        text += "\t\t</array>\n\t</dict>\n</dict>\n</plist>\n";
    }
    w.platform.simFiles().put(preferencesPath(w), std::move(text));
}

void applyCalendar(SimWorld& w, const json& v) {
    auto& store = w.platform.simCalendarStore();
    if (auto it = v.find("authorization"); it != v.end()) store.authorization = static_cast<CalendarAuthorization>(it->get<int>());
    if (auto it = v.find("calendars"); it != v.end()) {
        store.calendarList.clear();
        for (auto& c : *it)
            store.calendarList.push_back({c.at("id").get<std::string>(), c.value("type", 0), c.value("sourceType", 0),
                                          c.value("color", std::string("#1BADF8"))});
    }
    if (auto it = v.find("events"); it != v.end()) {
        store.eventList.clear();
        for (auto& e : *it) {
            CalendarEvent ev;
            ev.id = e.at("id").get<std::string>();
            ev.calendarId = e.at("calendar").get<std::string>();
            ev.title = e.value("title", std::string());
            ev.start = *parseIso8601(e.at("start").get<std::string>());
            ev.end = *parseIso8601(e.at("end").get<std::string>());
            ev.isAllDay = e.value("allDay", false);
            ev.location = optionalText(e, "location");
            ev.url = optionalText(e, "url");
            ev.notes = optionalText(e, "notes");
            if (auto g = e.find("geo"); g != e.end() && !g->is_null())
                ev.geo = GeoCoordinate{(*g)[0].get<double>(), (*g)[1].get<double>()};
            for (auto& a : e.value("attendees", json::array()))
                ev.attendees.push_back({a.value("currentUser", false), a.value("status", 0)});
            store.eventList.push_back(std::move(ev));
        }
    }
    if (auto it = v.find("hidden"); it != v.end()) writeHidden(w, *it);
}

// location
Problem checkLocation(const json& v, const std::set<std::string>& skip = {}) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, val] : v.items()) {
        if (skip.count(k)) continue;
        if (k == "enabled") {
            if (!val.is_boolean()) return std::string("'enabled' must be a Boolean");
        } else if (k == "authorization") {
            if (!isWhole(val, 0, 4)) return std::string("'authorization' must be 0 to 4");
        } else if (k == "fix") {
            if (!val.is_null() && (!val.is_array() || val.size() != 3 || !isFiniteNumber(val[0]) ||
                                   !isFiniteNumber(val[1]) || !isFiniteNumber(val[2])))
                return std::string("'fix' must be [latitude, longitude, altitude] or null");
        } else if (k == "delay") {
            if (!isFiniteNumber(val) || val.get<double>() < 0) return std::string("'delay' must be seconds, not negative");
        } else {
            return "unknown location field '" + k + "'";
        }
    }
    return std::nullopt;
}

void applyLocation(SimWorld& w, const json& v, bool notify) {
    auto& loc = w.platform.simLocation();
    const auto before = loc.authorization;
    if (auto it = v.find("enabled"); it != v.end()) loc.enabled = it->get<bool>();
    if (auto it = v.find("authorization"); it != v.end())
        loc.authorization = static_cast<LocationAuthorization>(it->get<int>());
    if (auto it = v.find("fix"); it != v.end()) {
        if (it->is_null()) loc.fix.reset();
        else loc.fix = GeoLocation{{(*it)[0].get<double>(), (*it)[1].get<double>()}, (*it)[2].get<double>()};
    }
    if (auto it = v.find("delay"); it != v.end()) loc.delay = it->get<double>();
    if (notify && loc.authorization != before) loc.postAuthorizationChange();
}

// weather: the service's state is kept as the scenario gives it and merged by weather.update.
Problem checkWeather(const json& v, const std::set<std::string>& skip = {}) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, val] : v.items()) {
        if (skip.count(k)) continue;
        if (val.is_null()) continue;  // removes the field
        if (k == "temperature") {
            if (!isFiniteNumber(val)) return std::string("'temperature' must be a number");
        } else if (k == "condition" || k == "error") {
            if (!val.is_string()) return "'" + k + "' must be a text";
        } else if (k == "daylight") {
            if (!val.is_boolean()) return std::string("'daylight' must be a Boolean");
        } else if (k == "sunrise" || k == "sunset") {
            if (!isDate(val)) return "'" + k + "' must be an ISO 8601 date";
        } else if (k == "hourly") {
            if (!val.is_array()) return std::string("'hourly' must be a list");
            for (auto& h : val)
                if (!h.is_object() || !h.contains("date") || !isDate(h["date"]) || !h.contains("chance") ||
                    !isFiniteNumber(h["chance"]))
                    return std::string("an hourly entry must be {\"date\", \"chance\"}");
        } else {
            return "unknown weather field '" + k + "'";
        }
    }
    return std::nullopt;
}

struct WeatherState {
    json fields = {{"error", "Weather not available"}};
};

WeatherState& weatherState(SimWorld& w) {
    auto& slot = w.ctx.notchSources().attachment("halvyn-sim.weatherState");
    if (!slot) slot = std::make_shared<WeatherState>();
    return *static_cast<WeatherState*>(slot.get());
}

void applyWeather(SimWorld& w, const json& v, bool replace) {
    json& state = weatherState(w).fields;
    if (replace) state = json::object();
    for (auto& [k, val] : v.items()) {
        if (kEventKeys.count(k)) continue;
        if (val.is_null()) state.erase(k);
        else state[k] = val;
    }
    auto& service = w.platform.simWeather();
    if (state.contains("error")) {
        service.report.reset();
        service.error = state["error"].get<std::string>();
        return;
    }
    WeatherReport r;
    r.temperatureCelsius = state.value("temperature", 0.0);
    r.condition = state.value("condition", std::string());
    r.isDaylight = state.value("daylight", true);
    if (state.contains("sunrise") || state.contains("sunset")) {
        WeatherReport::Day day;
        if (state.contains("sunrise")) day.sunrise = parseIso8601(state["sunrise"].get<std::string>());
        if (state.contains("sunset")) day.sunset = parseIso8601(state["sunset"].get<std::string>());
        r.firstDay = day;
    }
    for (auto& h : state.value("hourly", json::array()))
        r.hourly.push_back({*parseIso8601(h["date"].get<std::string>()), h["chance"].get<double>()});
    service.report = r;
}

Problem checkTravel(const json& v, const std::set<std::string>& skip = {}) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, val] : v.items()) {
        if (skip.count(k)) continue;
        if (k == "seconds") {
            if (!isFiniteNumber(val) || val.get<double>() < 0) return std::string("'seconds' must be a number of seconds");
        } else if (k == "error") {
            if (!val.is_string()) return std::string("'error' must be a text");
        } else {
            return "unknown travel field '" + k + "'";
        }
    }
    return std::nullopt;
}

void applyTravel(SimWorld& w, const json& v) {
    auto& travel = w.platform.simTravelTime();
    if (auto it = v.find("seconds"); it != v.end()) travel.seconds = it->get<double>();
    if (auto it = v.find("error"); it != v.end()) {
        travel.seconds.reset();
        travel.error = it->get<std::string>();
    }
}

Problem checkLocale(const json& v, const std::set<std::string>& skip = {}) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, val] : v.items()) {
        if (skip.count(k)) continue;
        if (k == "region") {
            if (!isOptionalText(val)) return std::string("'region' must be a text or null");
        } else if (k == "measurement") {
            if (!val.is_string() || (val != "us" && val != "metric")) return std::string("'measurement' must be 'us' or 'metric'");
        } else {
            return "unknown locale field '" + k + "'";
        }
    }
    return std::nullopt;
}

void applyLocale(SimWorld& w, const json& v) {
    auto& locale = w.platform.simLocale();
    if (auto it = v.find("region"); it != v.end())
        locale.regionCode = it->is_null() ? std::nullopt : std::optional<std::string>(it->get<std::string>());
    if (auto it = v.find("measurement"); it != v.end())
        locale.measurement = *it == "us" ? MeasurementSystem::us : MeasurementSystem::metric;
}

template <class Check>
std::function<Problem(const json&)> eventCheck(Check check) {
    return [check](const json& ev) { return check(ev, kEventKeys); };
}

}  // namespace

void registerFocusCalendarGroups(SimRegistry& r) {
    r.addPlatformKey({"calendar", [](const json& v) { return checkCalendar(v); }, applyCalendar});
    r.addPlatformKey({"travel", [](const json& v) { return checkTravel(v); }, applyTravel});
    r.addPlatformKey({"location", [](const json& v) { return checkLocation(v); },
                      [](SimWorld& w, const json& v) { applyLocation(w, v, false); }});
    r.addPlatformKey({"weather", [](const json& v) { return checkWeather(v); },
                      [](SimWorld& w, const json& v) { applyWeather(w, v, true); }});
    r.addPlatformKey({"locale", [](const json& v) { return checkLocale(v); }, applyLocale});

    r.addSetup([](SimWorld& w) {
        w.platform.simLocale().offsetMinutes = w.scenario.utcOffsetMinutes;
        // A user's preferences folder exists on every machine.
        w.platform.simFiles().createDirectories(w.platform.simFiles().homeDirectory() + "/Library/Preferences");
    });

    r.addObject({"FocusManager", [](SimWorld& w) -> const PropertySet& { return w.ctx.focus().properties(); }});
    r.addObject({"CalendarManager", [](SimWorld& w) -> const PropertySet& { return w.ctx.calendar().properties(); }});
    r.addObject({"WeatherManager", [](SimWorld& w) -> const PropertySet& { return w.ctx.weather().properties(); }});

    // focus
    r.addAction({"log.message",
                 {{"process", ArgType::string}, {"category", ArgType::string}, {"message", ArgType::string}},
                 nullptr,
                 [](SimWorld& w, const json& ev) {
                     w.platform.simLogStream().write(ev["process"].get<std::string>(), ev["category"].get<std::string>(),
                                                     ev["message"].get<std::string>());
                 }});
    r.addAction({"log.error", {{"message", ArgType::string}}, nullptr,
                 [](SimWorld& w, const json& ev) { w.platform.simLogStream().fail(ev["message"].get<std::string>()); }});

    // calendar
    r.addAction({"calendar.update", {}, eventCheck([](const json& v, const std::set<std::string>& s) { return checkCalendar(v, s); }),
                 [](SimWorld& w, const json& ev) {
                     applyCalendar(w, ev);
                     if (ev.contains("calendars") || ev.contains("events") || ev.contains("authorization"))
                         w.platform.simCalendarStore().postChange();
                 }});
    r.addAction({"calendar.prefsChanged", {{"hidden", ArgType::any}},
                 [](const json& ev) { return checkHidden(ev["hidden"]); },
                 [](SimWorld& w, const json& ev) { writeHidden(w, ev["hidden"]); }});
    r.addAction({"calendar.dismiss", {}, nullptr, [](SimWorld& w, const json&) { w.ctx.calendar().dismissEvent(); }});
    r.addAction({"calendar.open", {}, nullptr, [](SimWorld& w, const json&) { w.ctx.calendar().openInCalendar(); }});
    r.addAction({"calendar.join", {}, nullptr, [](SimWorld& w, const json&) { w.ctx.calendar().openMeetingLink(); }});
    r.addAction({"app.becameActive", {}, nullptr,
                 [](SimWorld& w, const json&) { w.ctx.calendar().applicationDidBecomeActive(); }});
    r.addAction({"travel.update", {}, eventCheck([](const json& v, const std::set<std::string>& s) { return checkTravel(v, s); }),
                 applyTravel});
    r.addAction({"locale.update", {}, eventCheck([](const json& v, const std::set<std::string>& s) { return checkLocale(v, s); }),
                 applyLocale});

    // weather
    r.addAction({"location.update", {},
                 eventCheck([](const json& v, const std::set<std::string>& s) { return checkLocation(v, s); }),
                 [](SimWorld& w, const json& ev) { applyLocation(w, ev, true); }});
    r.addAction({"weather.update", {},
                 eventCheck([](const json& v, const std::set<std::string>& s) { return checkWeather(v, s); }),
                 [](SimWorld& w, const json& ev) { applyWeather(w, ev, false); }});
    r.addAction({"weather.fetch", {}, nullptr, [](SimWorld& w, const json&) { w.ctx.weather().fetchWeather(); }});
}

}  // namespace halvyn
