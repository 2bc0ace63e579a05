// halvyn-sim: the application group (menu.open, app.reopen, app.terminate, window.closeLast,
// onboarding.continue), the `AppState` object, the "loginItems" platform state and the
// application's start-up.
//
// menu.open's optional `choose` is the path of titles to an item ("Source", "Spotify"): after the
// menu line, that item's action runs as if the user picked it; a disabled or missing item runs
// nothing.

#include <nlohmann/json.hpp>

#include "app/app_state.h"
#include "app/context.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "sim/registry.h"
#include "sim/trace_writer.h"

namespace halvyn {

namespace {

using json = nlohmann::json;

std::optional<std::string> checkLoginItems(const json& v) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, x] : v.items()) {
        if (k == "registered") {
            if (!x.is_boolean()) return std::string("'registered' must be a Boolean");
        } else if (k == "error") {
            if (!x.is_string()) return std::string("'error' must be a text");
        } else {
            return "unknown field '" + k + "'";
        }
    }
    return std::nullopt;
}

std::optional<std::string> checkChoice(const json& ev) {
    if (!ev.contains("choose")) return std::nullopt;
    const json& path = ev["choose"];
    if (path.empty()) return std::string("'choose' must name at least one item");
    for (auto& t : path)
        if (!t.is_string()) return std::string("'choose' must be a list of item titles");
    return std::nullopt;
}

const MenuItem* itemAt(const Menu& menu, const json& path) {
    const Menu* level = &menu;
    const MenuItem* found = nullptr;
    for (auto& title : path) {
        found = nullptr;
        for (const MenuItem& m : *level)
            if (!m.separator && m.title == title.get<std::string>()) {
                found = &m;
                break;
            }
        if (!found) return nullptr;
        level = &found->submenu;
    }
    return found;
}

}  // namespace

void registerAppGroup(SimRegistry& r) {
    r.addPlatformKey({"loginItems", checkLoginItems, [](SimWorld& w, const json& v) {
                          SimLoginItems& items = w.platform.simLoginItems();
                          items.registered_ = v.value("registered", false);
                          items.failure = v.value("error", std::string());
                      }});

    r.addObject({"AppState", [](SimWorld& w) -> const PropertySet& { return w.ctx.appState().properties(); }});

    r.addStartup([](SimWorld& w) {
        AppState& app = w.ctx.appState();
        app.setShell(&w.platform.simAppShell());
        app.setup();
    });

    r.addAction({"menu.open", {{"choose", ArgType::array, false}}, checkChoice, [](SimWorld& w, const json& ev) {
                     const Menu menu = w.ctx.appState().statusMenu();
                     if (w.trace) w.trace->line(w.time.uptime(), {{"menu", toValue(menu)}});
                     if (!ev.contains("choose")) return;
                     const MenuItem* item = itemAt(menu, ev["choose"]);
                     if (item && item->enabled && item->action) item->action();
                     w.ended = w.platform.simAppShell().terminated;
                 }});
    r.addAction({"app.reopen", {}, nullptr, [](SimWorld& w, const json&) { w.ctx.appState().reopen(); }});
    r.addAction({"app.terminate", {}, nullptr, [](SimWorld& w, const json&) {
                     w.ctx.appState().terminate();
                     w.ended = w.platform.simAppShell().terminated;
                 }});
    r.addAction({"window.closeLast", {}, nullptr, [](SimWorld& w, const json&) {
                     // The user closes the windows one by one; the last one's closing decides.
                     AppState& app = w.ctx.appState();
                     const std::vector<std::string> open = app.windows.get();
                     for (const std::string& name : open) {
                         w.platform.simAppShell().closeWindow(name);
                         app.windowDidClose(name);
                     }
                     if (open.empty()) app.lastWindowClosed();
                 }});
    r.addAction({"onboarding.continue", {}, nullptr,
                 [](SimWorld& w, const json&) { w.ctx.appState().continueOnboarding(); }});
}

}  // namespace halvyn
