// halvyn-sim: the screens, power, notch and lock groups, the "system", "screens" and "space"
// platform state, the Notch and ScreenManager objects, and the
// scenario-only test source ("test.*").

#include <cmath>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/context.h"
#include "notch/notch.h"
#include "notch/screen_manager.h"
#include "platform/sim/sim_platform.h"
#include "sim/registry.h"
#include "sim/test_source.h"

namespace halvyn {

namespace {

using json = nlohmann::json;

std::optional<std::string> checkRect(const json& v, const char* name) {
    if (!v.is_array() || v.size() != 4) return std::string("'") + name + "' must be [x, y, width, height]";
    for (auto& n : v)
        if (!n.is_number() || !std::isfinite(n.get<double>())) return std::string("'") + name + "' must hold numbers";
    if (v[2].get<double>() < 0 || v[3].get<double>() < 0) return std::string("'") + name + "' has a negative size";
    return std::nullopt;
}

Rect rectOf(const json& v) { return {v[0].get<double>(), v[1].get<double>(), v[2].get<double>(), v[3].get<double>()}; }

std::optional<std::string> checkScreens(const json& list) {
    if (!list.is_array()) return std::string("screens must be a list");
    for (std::size_t i = 0; i < list.size(); ++i) {
        const json& s = list[i];
        const std::string where = "screen " + std::to_string(i) + ": ";
        if (!s.is_object()) return where + "must be an object";
        for (auto& [k, v] : s.items()) {
            if (k == "id") {
                if (!v.is_number_unsigned() || v.get<std::uint64_t>() > 0xffffffffu)
                    return where + "'id' must be a display number";
            } else if (k == "builtIn" || k == "main") {
                if (!v.is_boolean()) return where + "'" + k + "' must be a Boolean";
            } else if (k == "frame" || k == "visibleFrame") {
                if (auto p = checkRect(v, k.c_str())) return where + *p;
            } else if (k == "safeAreaTop" || k == "auxiliaryTopLeft" || k == "auxiliaryTopRight") {
                if (!v.is_number() || !std::isfinite(v.get<double>()) || v.get<double>() < 0)
                    return where + "'" + k + "' must be a number of points, not negative";
            } else {
                return where + "unknown field '" + k + "'";
            }
        }
        if (!s.contains("frame")) return where + "'frame' is missing";
    }
    return std::nullopt;
}

std::vector<Screen> screensOf(const json& list) {
    std::vector<Screen> out;
    for (auto& s : list) {
        Screen screen;
        if (s.contains("id")) screen.displayNumber = s["id"].get<std::uint32_t>();
        screen.builtIn = s.value("builtIn", false);
        screen.mainDisplay = s.value("main", false);
        screen.frame = rectOf(s["frame"]);
        screen.visibleFrame = s.contains("visibleFrame") ? rectOf(s["visibleFrame"]) : screen.frame;
        screen.safeAreaTop = s.value("safeAreaTop", 0.0);
        if (s.contains("auxiliaryTopLeft")) screen.auxiliaryTopLeft = s["auxiliaryTopLeft"].get<double>();
        if (s.contains("auxiliaryTopRight")) screen.auxiliaryTopRight = s["auxiliaryTopRight"].get<double>();
        out.push_back(screen);
    }
    return out;
}

std::optional<std::string> checkObjectWith(const json& v, const char* key, bool (json::*is)() const, const char* what) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, x] : v.items()) {
        if (k != key) return "unknown field '" + k + "'";
        if (!(x.*is)()) return std::string("'") + key + "' must be " + what;
    }
    return std::nullopt;
}

// An action with no arguments that posts a workspace event.
ActionSpec workspaceAction(const char* name, WorkspaceEvent event) {
    return {name, {}, nullptr, [event](SimWorld& w, const json&) { w.platform.simWorkspace().post(event); }};
}

// The names of every case but none, as a scenario may write them.
template <class E>
std::vector<std::string> namesButNone() {
    std::vector<std::string> out;
    for (const auto& c : allCases<E>())
        if (c.value != E::none) out.emplace_back(c.raw);
    return out;
}

}  // namespace

void registerNotchGroups(SimRegistry& r) {
    // Platform state.
    r.addPlatformKey({"system",
                      [](const json& v) { return checkObjectWith(v, "version", &json::is_string, "a text"); },
                      [](SimWorld& w, const json& v) {
                          if (v.contains("version")) w.platform.simSystemInfo().setVersion(v["version"]);
                      }});
    r.addPlatformKey({"screens", checkScreens,
                      [](SimWorld& w, const json& v) { w.platform.simScreens().set(screensOf(v)); }});
    r.addPlatformKey({"space",
                      [](const json& v) { return checkObjectWith(v, "fullscreen", &json::is_boolean, "a Boolean"); },
                      [](SimWorld& w, const json& v) {
                          w.platform.simWindowServer().setFullscreen(v.value("fullscreen", false));
                      }});

    // Traced objects.
    r.addObject({"Notch", [](SimWorld& w) -> const PropertySet& { return w.ctx.notch().properties(); }});
    r.addObject({"ScreenManager", [](SimWorld& w) -> const PropertySet& { return w.ctx.screenManager().properties(); }});

    // screens
    r.addAction({"screens.set",
                 {{"screens", ArgType::array}},
                 [](const json& ev) { return checkScreens(ev["screens"]); },
                 [](SimWorld& w, const json& ev) { w.platform.simScreens().set(screensOf(ev["screens"])); }});
    r.addAction({"space.change", {{"fullscreen", ArgType::boolean}}, nullptr, [](SimWorld& w, const json& ev) {
                     w.platform.simWindowServer().setFullscreen(ev["fullscreen"].get<bool>());
                     w.platform.simWorkspace().post(WorkspaceEvent::activeSpaceDidChange);
                 }});

    // power
    r.addAction(workspaceAction("system.willSleep", WorkspaceEvent::willSleep));
    r.addAction(workspaceAction("system.didWake", WorkspaceEvent::didWake));
    r.addAction(workspaceAction("screens.didSleep", WorkspaceEvent::screensDidSleep));
    r.addAction(workspaceAction("screens.didWake", WorkspaceEvent::screensDidWake));

    // notch
    const std::vector<std::string> axes{"horizontal", "vertical"};
    r.addAction({"adjust.start", {{"axis", ArgType::string, true, axes}}, nullptr, [](SimWorld& w, const json& ev) {
                     w.ctx.notch().setAdjusting(true, *fromRaw<Notch::Axis>(ev["axis"].get<std::string>()));
                 }});
    r.addAction({"adjust.end", {{"axis", ArgType::string, true, axes}}, nullptr, [](SimWorld& w, const json& ev) {
                     w.ctx.notch().setAdjusting(false, *fromRaw<Notch::Axis>(ev["axis"].get<std::string>()));
                 }});
    r.addAction({"output.set", {{"show", ArgType::boolean}}, nullptr,
                 [](SimWorld& w, const json& ev) { w.ctx.notch().setOutput(ev["show"].get<bool>(), false); }});
    r.addAction({"expand", {}, nullptr, [](SimWorld& w, const json&) { w.ctx.notch().setExpanded(true, false); }});
    r.addAction({"collapse", {}, nullptr, [](SimWorld& w, const json&) { w.ctx.notch().setExpanded(false, false); }});

    // lock: the workspace's events only; what listens to them is the lock source's.
    r.addAction(workspaceAction("screen.lock", WorkspaceEvent::screenLocked));
    r.addAction(workspaceAction("screen.unlock", WorkspaceEvent::screenUnlocked));
    r.addAction(workspaceAction("screensaver.start", WorkspaceEvent::screensaverStarted));
    r.addAction(workspaceAction("screensaver.stop", WorkspaceEvent::screensaverStopped));

    // Scenario-only test source.
    const auto notifications = namesButNone<Notch::Notification>();
    const auto activities = namesButNone<Notch::LiveActivity>();
    r.addAction({"test.notify",
                 {{"kind", ArgType::string, true, notifications},
                  {"duration", ArgType::number, false},
                  {"dismissAfter", ArgType::number, false}},
                 [](const json& ev) -> std::optional<std::string> {
                     for (const char* k : {"duration", "dismissAfter"})
                         if (ev.contains(k) && !(ev[k].get<double>() >= 0 && std::isfinite(ev[k].get<double>())))
                             return std::string("'") + k + "' must be a number of seconds, not negative";
                     return std::nullopt;
                 },
                 [](SimWorld& w, const json& ev) {
                     TestSource::of(w.ctx).notify(*fromRaw<Notch::Notification>(ev["kind"].get<std::string>()),
                                                  ev.value("duration", 0.35), ev.value("dismissAfter", 1.5));
                 }});
    r.addAction({"test.allow",
                 {{"kind", ArgType::string, true, notifications}, {"allowed", ArgType::boolean}},
                 nullptr,
                 [](SimWorld& w, const json& ev) {
                     TestSource::of(w.ctx).allow(*fromRaw<Notch::Notification>(ev["kind"].get<std::string>()),
                                                 ev["allowed"].get<bool>());
                 }});
    r.addAction({"test.activity",
                 {{"kind", ArgType::string, true, activities}, {"wants", ArgType::boolean}},
                 nullptr,
                 [](SimWorld& w, const json& ev) {
                     TestSource::of(w.ctx).activity(*fromRaw<Notch::LiveActivity>(ev["kind"].get<std::string>()),
                                                    ev["wants"].get<bool>());
                 }});
}

}  // namespace halvyn
