// halvyn-sim: the players, helper and media groups, the `music`, `spotify`, `helper`, `browsers`,
// `installed` and `defaultBrowser` platform state, and the `MusicManager` object.
//
// Helper dictionaries keep the scenario's value types as they are (a number stays a number even
// under a text key), so a scenario can send the mistyped dictionaries a broken helper would; the
// artwork-data entry's hex text becomes bytes.

#include <cmath>
#include <set>

#include <nlohmann/json.hpp>

#include "app/context.h"
#include "nowplaying/music_manager.h"
#include "platform/sim/sim_platform.h"
#include "settings/json_value.h"
#include "sim/registry.h"

namespace halvyn {

namespace {

using json = nlohmann::json;
using Problem = std::optional<std::string>;

const char* kArtworkKey = "kMRMediaRemoteNowPlayingInfoArtworkData";

Problem expect(const json&, const std::string& key, bool ok, const char* what) {
    if (!ok) return "'" + key + "' must be " + what;
    return std::nullopt;
}

Problem checkTrack(const json& t) {
    if (t.is_null()) return std::nullopt;
    if (!t.is_object()) return std::string("'track' must be an object");
    for (auto& [k, v] : t.items()) {
        Problem p;
        if (k == "name" || k == "artist" || k == "album" || k == "spotifyUrl" || k == "artworkUrl")
            p = expect(v, k, v.is_string() || v.is_null(), "a text");
        else if (k == "duration" || k == "durationMs")
            p = expect(v, k, v.is_number() || v.is_null(), "a number");
        else if (k == "favorited")
            p = expect(v, k, v.is_boolean() || v.is_null(), "a Boolean");
        else if (k == "artwork")
            p = expect(v, k, v.is_null() || (v.is_string() && bytesFromHex(v.get<std::string>())), "a hex text");
        else
            return "unknown track field '" + k + "'";
        if (p) return p;
    }
    return std::nullopt;
}

Problem checkPlayer(const json& v, const std::set<std::string>& skip = {}) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, val] : v.items()) {
        if (skip.count(k)) continue;
        Problem p;
        if (k == "running" || k == "shuffle" || k == "shuffling" || k == "repeating" || k == "shufflingEnabled")
            p = expect(val, k, val.is_boolean() || val.is_null(), "a Boolean");
        else if (k == "state")
            p = expect(val, k, val.is_string() && std::set<std::string>{"playing", "paused", "stopped"}.count(val.get<std::string>()),
                       "one of 'playing', 'paused', 'stopped'");
        else if (k == "repeat")
            p = expect(val, k, val.is_string() && std::set<std::string>{"off", "one", "all"}.count(val.get<std::string>()),
                       "one of 'off', 'one', 'all'");
        else if (k == "position" || k == "volume")
            p = expect(val, k, val.is_number() || val.is_null(), "a number");
        else if (k == "track")
            p = checkTrack(val);
        else
            return "unknown player field '" + k + "'";
        if (p) return p;
    }
    return std::nullopt;
}

void mergeInto(Value& state, const json& v, const std::set<std::string>& skip = {}) {
    for (auto& [k, val] : v.items()) {
        if (skip.count(k)) continue;
        if (val.is_null()) {
            auto& obj = state.mutableObject();
            const std::string key = k;  // not every compiler lets a lambda capture a structured binding
            std::erase_if(obj, [&key](auto& e) { return e.first == key; });
            continue;
        }
        state.set(k, parseJson(val.dump()).value_or(Value()));
    }
}

HelperScalar scalar(const std::string& key, const json& v) {
    if (v.is_boolean()) return v.get<bool>();
    if (v.is_number()) return v.get<double>();
    if (v.is_string()) {
        if (key == kArtworkKey)
            if (auto bytes = bytesFromHex(v.get<std::string>())) return Bytes{*bytes};
        return v.get<std::string>();
    }
    return std::monostate{};
}

HelperDictionary dictionary(const json& v) {
    HelperDictionary d;
    for (auto& [k, val] : v.items()) d[k] = scalar(k, val);
    return d;
}

Problem checkHelper(const json& v, const std::set<std::string>& skip = {}) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, val] : v.items()) {
        if (skip.count(k)) continue;
        Problem p;
        if (k == "connected" || k == "isPlaying") p = expect(val, k, val.is_boolean(), "a Boolean");
        else if (k == "info" || k == "position" || k == "commands") p = expect(val, k, val.is_object() || val.is_null(), "an object");
        else if (k == "bundle") p = expect(val, k, val.is_string() || val.is_null(), "a text or null");
        else return "unknown helper field '" + k + "'";
        if (p) return p;
    }
    return std::nullopt;
}

void applyHelper(SimHelper& h, const json& v) {
    if (auto it = v.find("connected"); it != v.end()) h.connected = it->get<bool>();
    if (auto it = v.find("isPlaying"); it != v.end()) h.isPlaying = it->get<bool>();
    if (auto it = v.find("info"); it != v.end()) h.info = it->is_null() ? HelperDictionary{} : dictionary(*it);
    if (auto it = v.find("position"); it != v.end()) h.position = it->is_null() ? HelperDictionary{} : dictionary(*it);
    if (auto it = v.find("commands"); it != v.end()) h.commands = it->is_null() ? HelperDictionary{} : dictionary(*it);
    if (auto it = v.find("bundle"); it != v.end())
        h.bundle = it->is_string() ? std::optional<std::string>(it->get<std::string>()) : std::nullopt;
}

Problem checkBrowser(const json& v) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, val] : v.items()) {
        if (k == "running") {
            if (!val.is_boolean()) return std::string("'running' must be a Boolean");
        } else if (k == "error") {
            if (!val.is_string() && !val.is_null()) return std::string("'error' must be a text");
        } else if (k == "tabs") {
            if (!val.is_array()) return std::string("'tabs' must be an array");
            for (auto& t : val)
                if (!t.is_object() || !t.value("title", json()).is_string() || !t.value("url", json()).is_string())
                    return std::string("each tab must have a text 'title' and 'url'");
        } else {
            return "unknown browser field '" + k + "'";
        }
    }
    return std::nullopt;
}

void applyBrowser(SimBrowser& b, const json& v) {
    if (auto it = v.find("running"); it != v.end()) b.running = it->get<bool>();
    if (auto it = v.find("error"); it != v.end())
        b.error = it->is_string() ? std::optional<std::string>(it->get<std::string>()) : std::nullopt;
    if (auto it = v.find("tabs"); it != v.end()) {
        b.tabs.clear();
        for (auto& t : *it) b.tabs.push_back({t["title"].get<std::string>(), t["url"].get<std::string>()});
    }
}

SimPlayer& playerNamed(SimWorld& w, const std::string& app) {
    return app == "spotify" ? w.platform.simPlayers().spotify : w.platform.simPlayers().music;
}

}  // namespace

void registerNowPlayingGroups(SimRegistry& r) {
    for (const char* app : {"music", "spotify"}) {
        r.addPlatformKey({app, [](const json& v) { return checkPlayer(v); }, [app](SimWorld& w, const json& v) {
                              SimPlayer& p = playerNamed(w, app);
                              p.state = Value::object();
                              mergeInto(p.state, v);
                          }});
    }
    r.addPlatformKey({"helper", [](const json& v) { return checkHelper(v); },
                      [](SimWorld& w, const json& v) { applyHelper(w.platform.simHelper(), v); }});
    r.addPlatformKey({"browsers",
                      [](const json& v) -> Problem {
                          if (!v.is_object()) return std::string("must be an object");
                          for (auto& [k, b] : v.items()) {
                              if (k != "safari" && k != "chrome") return "unknown browser '" + k + "'";
                              if (auto p = checkBrowser(b)) return k + ": " + *p;
                          }
                          return std::nullopt;
                      },
                      [](SimWorld& w, const json& v) {
                          auto& s = w.platform.simAppleScript();
                          if (v.contains("safari")) applyBrowser(s.safari, v["safari"]);
                          if (v.contains("chrome")) applyBrowser(s.chrome, v["chrome"]);
                      }});
    r.addPlatformKey({"installed",
                      [](const json& v) -> Problem {
                          if (!v.is_array()) return std::string("must be an array of bundle identifiers");
                          for (auto& b : v)
                              if (!b.is_string()) return std::string("must be an array of bundle identifiers");
                          return std::nullopt;
                      },
                      [](SimWorld& w, const json& v) { w.platform.simLauncher().installed = v.get<std::vector<std::string>>(); }});
    r.addPlatformKey({"defaultBrowser",
                      [](const json& v) -> Problem {
                          if (!v.is_string() && !v.is_null()) return std::string("must be a bundle identifier or null");
                          return std::nullopt;
                      },
                      [](SimWorld& w, const json& v) {
                          w.platform.simLauncher().defaultBrowser =
                              v.is_string() ? std::optional<std::string>(v.get<std::string>()) : std::nullopt;
                      }});

    r.addObject({"MusicManager", [](SimWorld& w) -> const PropertySet& { return w.ctx.music().properties(); }});

    const std::vector<std::string> apps{"music", "spotify"};
    // players
    r.addAction({"player.update", {{"app", ArgType::string, true, apps}},
                 [](const json& ev) { return checkPlayer(ev, {"at", "do", "app"}); },
                 [](SimWorld& w, const json& ev) {
                     mergeInto(playerNamed(w, ev["app"].get<std::string>()).state, ev, {"at", "do", "app"});
                 }});
    r.addAction({"player.notify",
                 {{"app", ArgType::string, true, apps}, {"state", ArgType::string, false, {"playing", "paused", "stopped"}}},
                 nullptr, [](SimWorld& w, const json& ev) {
                     std::optional<std::string> state;
                     if (ev.contains("state")) {
                         std::string s = ev["state"].get<std::string>();
                         s[0] = static_cast<char>(s[0] - 'a' + 'A');
                         state = s;
                     }
                     w.platform.simPlayers().notify(ev["app"].get<std::string>(), state);
                 }});

    // helper
    r.addAction({"helper.update", {}, [](const json& ev) { return checkHelper(ev, {"at", "do"}); },
                 [](SimWorld& w, const json& ev) { applyHelper(w.platform.simHelper(), ev); }});
    r.addAction({"helper.callback",
                 {{"name", ArgType::string, true, {"nowPlayingDidChange", "applicationDidChange", "applicationIsPlayingDidChange"}},
                  {"isPlaying", ArgType::boolean, false},
                  {"playbackState", ArgType::boolean, false},
                  {"applicationName", ArgType::string, false}},
                 nullptr, [](SimWorld& w, const json& ev) {
                     w.platform.simHelper().callback(ev["name"].get<std::string>(), ev.value("isPlaying", false),
                                                     ev.value("playbackState", false), ev.value("applicationName", std::string()));
                 }});
    r.addAction({"helper.disconnect", {}, nullptr, [](SimWorld& w, const json&) { w.platform.simHelper().disconnect(); }});

    // media
    r.addAction({"media.command",
                 {{"name", ArgType::string, true,
                   {"playPause", "previous", "next", "seek", "toggleLike", "toggleShuffle", "toggleRepeat",
                    "openSourceApp", "copyLink"}},
                  {"position", ArgType::number, false}},
                 [](const json& ev) -> Problem {
                     if (ev.contains("position")) {
                         const double p = ev["position"].get<double>();
                         if (!std::isfinite(p) || p < 0) return std::string("argument 'position' must be a number of seconds, 0 or more");
                     }
                     return std::nullopt;
                 },
                 [](SimWorld& w, const json& ev) {
                     MusicManager& m = w.ctx.music();
                     const std::string name = ev["name"].get<std::string>();
                     if (name == "playPause") m.playPause();
                     else if (name == "previous") {
                         // As the view's button: the command, then the trigger its animation follows.
                         m.previous();
                         m.flipPreviousTrigger();
                     } else if (name == "next") {
                         m.next();
                         m.flipNextTrigger();
                     } else if (name == "seek") {
                         if (ev.contains("position")) m.moveSeeker(ev["position"].get<double>());
                         m.seek();
                     } else if (name == "toggleLike") m.toggleLike();
                     else if (name == "toggleShuffle") m.toggleShuffle();
                     else if (name == "toggleRepeat") m.toggleRepeat();
                     else if (name == "openSourceApp") m.openSourceApp();
                     else m.copyLink();
                 }});
    r.addAction({"view.positionTimer", {{"running", ArgType::boolean}}, nullptr, [](SimWorld& w, const json& ev) {
                     MusicManager& m = w.ctx.music();
                     if (ev["running"].get<bool>())
                         m.timerStartSignal.emit();
                     else
                         m.timerStopSignal.emit();
                 }});
}

}  // namespace halvyn
