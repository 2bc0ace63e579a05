// The volume, brightness and keyboard displays and the system-display suppression in halvyn-sim:
// the `audio`, `brightness`, `keyboard`, `processes`, `frontmost` and `sounds` platform state, the
// audio, slider, brightness, keyboard and processes actions, and the VolumeManager,
// BrightnessManager, KeyboardBrightnessManager and OSDUIManager objects. Until the application state exists, start-up installs the suppression's reactions to
// "enableVolume" and "enableBrightness" itself.

#include <cmath>
#include <set>

#include <nlohmann/json.hpp>

#include "app/context.h"
#include "hud/brightness_manager.h"
#include "hud/keyboard_brightness_manager.h"
#include "hud/osdui_manager.h"
#include "hud/volume_manager.h"
#include "platform/sim/sim_platform.h"
#include "settings/json_value.h"
#include "sim/registry.h"

namespace halvyn {

namespace {

using json = nlohmann::json;
using Problem = std::optional<std::string>;

bool isCount(const json& j) {
    if (!j.is_number()) return false;
    const double d = j.get<double>();
    return std::isfinite(d) && d >= 0 && d <= 4294967295.0 && std::floor(d) == d;
}

bool isPid(const json& j) {
    if (!j.is_number()) return false;
    const double d = j.get<double>();
    return std::isfinite(d) && d >= 1 && d <= 2147483647.0 && std::floor(d) == d;
}

// A scenario's number as the 32-bit level a service reports: out of range, it is infinite.
float levelOf(const json& j) {
    const double d = j.get<double>();
    if (std::fabs(d) > 3.4e38) return d > 0 ? HUGE_VALF : -HUGE_VALF;
    return static_cast<float>(d);
}

bool isFiniteNumber(const json& j) { return j.is_number() && std::isfinite(j.get<double>()); }

// Checks that each listed field, when present, has the kind given.
Problem checkFields(const json& obj, std::initializer_list<std::pair<const char*, const char*>> fields,
                    const std::string& where) {
    for (auto& [name, kind] : fields) {
        auto it = obj.find(name);
        if (it == obj.end()) continue;
        const std::string k = kind;
        const bool ok = (k == "string" && it->is_string()) || (k == "boolean" && it->is_boolean()) ||
                        (k == "number" && isFiniteNumber(*it)) || (k == "id" && isCount(*it)) ||
                        (k == "pid" && isPid(*it));
        if (!ok) {
            const char* what = k == "id" ? "a non-negative whole number" : k == "pid" ? "a positive whole number"
                               : k == "number" ? "a number" : k == "boolean" ? "a Boolean" : "a string";
            return where + "'" + name + "' must be " + what;
        }
    }
    return std::nullopt;
}

Problem checkDevice(const json& d, const std::string& where) {
    if (!d.is_object()) return where + "must be an object";
    if (!d.contains("id")) return where + "missing 'id'";
    return checkFields(d, {{"id", "id"}, {"uid", "string"}, {"model", "string"}, {"transport", "string"},
                           {"volume", "number"}, {"muted", "boolean"}},
                       where);
}

SimAudioDevices::Device toDevice(const json& d) {
    SimAudioDevices::Device out;
    out.info.id = d.at("id").get<AudioDeviceID>();
    if (d.contains("uid")) out.info.uid = d.at("uid").get<std::string>();
    if (d.contains("model")) out.info.modelUID = d.at("model").get<std::string>();
    if (d.contains("transport")) out.info.transportType = d.at("transport").get<std::string>();
    if (d.contains("volume")) out.volume = d.at("volume").get<float>();
    if (d.contains("muted")) out.muted = d.at("muted").get<bool>();
    return out;
}

Problem checkAudio(const json& v) {
    if (!v.is_object()) return std::string("must be an object");
    if (auto it = v.find("devices"); it != v.end()) {
        if (!it->is_array()) return std::string("'devices' must be an array");
        std::set<double> ids;
        for (std::size_t i = 0; i < it->size(); ++i) {
            const std::string where = "device " + std::to_string(i) + ": ";
            if (auto p = checkDevice((*it)[i], where)) return p;
            if (!ids.insert((*it)[i].at("id").get<double>()).second) return where + "repeated 'id'";
        }
    }
    if (auto it = v.find("defaultOutput"); it != v.end() && !it->is_null() && !isCount(*it))
        return std::string("'defaultOutput' must be a device id or null");
    return std::nullopt;
}

void applyAudio(SimWorld& w, const json& v) {
    auto& audio = w.platform.audio();
    std::vector<SimAudioDevices::Device> devices;
    std::optional<AudioDeviceID> defaultOutput;
    if (auto it = v.find("devices"); it != v.end()) {
        for (auto& d : *it) devices.push_back(toDevice(d));
    } else {
        // The default built-in device stays when only the default output is given.
        for (auto& d : audio.devices()) devices.push_back(*audio.find(d.id));
    }
    if (auto it = v.find("defaultOutput"); it != v.end()) {
        if (!it->is_null()) defaultOutput = it->get<AudioDeviceID>();
    } else if (!devices.empty()) {
        defaultOutput = devices.front().info.id;
    }
    audio.reset(std::move(devices), defaultOutput);
}

Problem checkBrightness(const json& v) {
    if (!v.is_array()) return std::string("must be a list of displays");
    for (std::size_t i = 0; i < v.size(); ++i) {
        const std::string where = "display " + std::to_string(i) + ": ";
        if (!v[i].is_object()) return where + "must be an object";
        if (!v[i].contains("display")) return where + "missing 'display'";
        if (auto p = checkFields(v[i], {{"display", "id"}, {"level", "number"}, {"canChange", "boolean"}}, where))
            return p;
    }
    return std::nullopt;
}

void applyBrightness(SimWorld& w, const json& v) {
    std::vector<SimDisplayBrightness::Display> displays;
    for (auto& d : v) {
        SimDisplayBrightness::Display out;
        out.id = d.at("display").get<DisplayID>();
        out.level = d.contains("level") ? std::optional<float>(d.at("level").get<float>()) : std::nullopt;
        out.canChange = d.value("canChange", true);
        displays.push_back(out);
    }
    w.platform.brightness().reset(std::move(displays));
}

Problem checkProcess(const json& p, const std::string& where) {
    if (!p.is_object()) return where + "must be an object";
    if (!p.contains("pid")) return where + "missing 'pid'";
    if (!p.contains("name")) return where + "missing 'name'";
    return checkFields(p, {{"pid", "pid"}, {"name", "string"}, {"bundleId", "string"}, {"stopped", "boolean"},
                           {"onScreenWindow", "boolean"}},
                       where);
}

Problem checkProcesses(const json& v) {
    if (!v.is_array()) return std::string("must be a list of processes");
    std::set<double> pids;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const std::string where = "process " + std::to_string(i) + ": ";
        if (auto p = checkProcess(v[i], where)) return p;
        if (!pids.insert(v[i].at("pid").get<double>()).second) return where + "repeated 'pid'";
    }
    return std::nullopt;
}

SimProcesses::Process toProcess(const json& p) {
    SimProcesses::Process out;
    out.pid = p.at("pid").get<ProcessID>();
    out.name = p.at("name").get<std::string>();
    if (p.contains("bundleId")) out.bundleId = p.at("bundleId").get<std::string>();
    out.stopped = p.value("stopped", false);
    out.onScreenWindow = p.value("onScreenWindow", false);
    return out;
}

// The frontmost application: the running one with the bundle identifier, or a name-less one.
RunningApplication frontmostFor(SimWorld& w, const std::string& bundleId, const std::string& name) {
    auto apps = w.platform.simProcesses().runningApplications(bundleId);
    if (!apps.empty()) {
        if (!name.empty()) apps.front().name = name;
        return apps.front();
    }
    return {0, bundleId, name};
}

Problem checkSounds(const json& v) {
    if (!v.is_array()) return std::string("must be a list of \"name.type\" resources");
    for (auto& s : v)
        if (!s.is_string()) return std::string("must be a list of \"name.type\" resources");
    return std::nullopt;
}

Problem deviceArgument(const json& ev) {
    if (auto it = ev.find("device"); it != ev.end() && !isCount(*it))
        return std::string("argument 'device' must be a device id");
    return std::nullopt;
}

// The device an audio action is about: the one named, else the default output device.
std::optional<AudioDeviceID> targetDevice(SimWorld& w, const json& ev) {
    if (ev.contains("device")) return ev.at("device").get<AudioDeviceID>();
    if (auto d = w.platform.audio().defaultOutputDevice()) return d->id;
    return std::nullopt;
}

}  // namespace

void registerHudGroup(SimRegistry& r) {
    r.addPlatformKey({"audio", checkAudio, applyAudio});
    r.addPlatformKey({"brightness", checkBrightness, applyBrightness});
    r.addPlatformKey({"keyboard",
                      [](const json& v) -> Problem {
                          if (v.is_null()) return std::nullopt;
                          if (!v.is_object()) return std::string("must be an object or null");
                          return checkFields(v, {{"level", "number"}}, "");
                      },
                      [](SimWorld& w, const json& v) {
                          w.platform.setKeyboardPresent(!v.is_null());
                          if (v.is_object() && v.contains("level")) w.platform.keyboard().reset(levelOf(v.at("level")));
                      }});
    r.addPlatformKey({"processes", checkProcesses, [](SimWorld& w, const json& v) {
                          std::vector<SimProcesses::Process> list;
                          for (auto& p : v) list.push_back(toProcess(p));
                          w.platform.simProcesses().reset(std::move(list));
                      }});
    r.addPlatformKey({"frontmost",
                      [](const json& v) -> Problem {
                          if (!v.is_string() && !v.is_null()) return std::string("must be a bundle identifier");
                          return std::nullopt;
                      },
                      [](SimWorld& w, const json& v) {
                          if (v.is_null()) return;
                          w.platform.simProcesses().setFrontmost(frontmostFor(w, v.get<std::string>(), ""));
                      }});
    r.addPlatformKey({"sounds", checkSounds, [](SimWorld& w, const json& v) {
                          std::set<std::string> files;
                          for (auto& s : v) files.insert(s.get<std::string>());
                          w.platform.simSounds().setResources(std::move(files));
                      }});

    r.addObject({"VolumeManager", [](SimWorld& w) -> const PropertySet& { return w.ctx.volume().properties(); }});
    r.addObject(
        {"BrightnessManager", [](SimWorld& w) -> const PropertySet& { return w.ctx.brightness().properties(); }});
    r.addObject({"KeyboardBrightnessManager",
                 [](SimWorld& w) -> const PropertySet& { return w.ctx.keyboardBrightness().properties(); }});
    r.addObject({"OSDUIManager", [](SimWorld& w) -> const PropertySet& { return w.ctx.osdUI().properties(); }});

    // audio
    r.addAction({"audio.volume",
                 {{"value", ArgType::number}, {"device", ArgType::number, false}},
                 deviceArgument,
                 [](SimWorld& w, const json& ev) {
                     if (auto id = targetDevice(w, ev)) w.platform.audio().changeVolume(*id, ev.at("value").get<float>());
                 }});
    r.addAction({"audio.mute",
                 {{"muted", ArgType::boolean}, {"device", ArgType::number, false}},
                 deviceArgument,
                 [](SimWorld& w, const json& ev) {
                     if (auto id = targetDevice(w, ev)) w.platform.audio().changeMute(*id, ev.at("muted").get<bool>());
                 }});
    r.addAction({"audio.addDevice",
                 {{"device", ArgType::object}},
                 [](const json& ev) { return checkDevice(ev.at("device"), "argument 'device': "); },
                 [](SimWorld& w, const json& ev) { w.platform.audio().addDevice(toDevice(ev.at("device"))); }});
    r.addAction({"audio.defaultOutput",
                 {{"device", ArgType::number}},
                 deviceArgument,
                 [](SimWorld& w, const json& ev) {
                     w.platform.audio().setDefaultOutput(ev.at("device").get<AudioDeviceID>());
                 }});

    // slider
    r.addAction({"volume.drag",
                 {{"dragging", ArgType::boolean}},
                 nullptr,
                 [](SimWorld& w, const json& ev) { w.ctx.volume().dragSlider(ev.at("dragging").get<bool>()); }});
    r.addAction({"volume.slider",
                 {{"value", ArgType::number}},
                 nullptr,
                 [](SimWorld& w, const json& ev) { w.ctx.volume().setVolume(ev.at("value").get<float>()); }});

    // brightness
    r.addAction({"brightness.change",
                 {{"value", ArgType::number}, {"display", ArgType::number, false}},
                 [](const json& ev) -> Problem {
                     if (auto it = ev.find("display"); it != ev.end() && !isCount(*it))
                         return std::string("argument 'display' must be a display id");
                     return std::nullopt;
                 },
                 [](SimWorld& w, const json& ev) {
                     std::optional<DisplayID> display;
                     if (ev.contains("display"))
                         display = ev.at("display").get<DisplayID>();
                     else
                         display = w.ctx.brightness().observedDisplay();
                     if (display) w.platform.brightness().change(*display, ev.at("value").get<double>());
                 }});
    r.addAction({"brightness.callback",
                 {{"userInfo", ArgType::any}},
                 nullptr,
                 [](SimWorld& w, const json& ev) {
                     auto info = parseJson(ev.at("userInfo").dump());
                     w.platform.brightness().callback(info ? *info : Value());
                 }});

    // keyboard
    r.addAction({"keyboard.brightness",
                 {{"value", ArgType::number}, {"source", ArgType::string, false}},
                 [](const json& ev) -> Problem {
                     if (auto it = ev.find("source"); it != ev.end() && *it != "external" && *it != "internal")
                         return std::string("argument 'source' must be \"external\" or \"internal\"");
                     return std::nullopt;
                 },
                 [](SimWorld& w, const json& ev) {
                     w.platform.keyboard().change(levelOf(ev.at("value")), ev.value("source", "external") == "external");
                 }});

    // processes
    r.addAction({"app.launch",
                 {{"pid", ArgType::number}, {"name", ArgType::string}, {"bundleId", ArgType::string, false}},
                 [](const json& ev) -> Problem {
                     if (!isPid(ev.at("pid"))) return std::string("argument 'pid' must be a positive whole number");
                     return std::nullopt;
                 },
                 [](SimWorld& w, const json& ev) { w.platform.simProcesses().launch(toProcess(ev)); }});
    r.addAction({"app.quit",
                 {{"pid", ArgType::number}},
                 [](const json& ev) -> Problem {
                     if (!isPid(ev.at("pid"))) return std::string("argument 'pid' must be a positive whole number");
                     return std::nullopt;
                 },
                 [](SimWorld& w, const json& ev) { w.platform.simProcesses().quit(ev.at("pid").get<ProcessID>()); }});
    r.addAction({"process.window",
                 {{"pid", ArgType::number}, {"onScreen", ArgType::boolean}},
                 [](const json& ev) -> Problem {
                     if (!isPid(ev.at("pid"))) return std::string("argument 'pid' must be a positive whole number");
                     return std::nullopt;
                 },
                 [](SimWorld& w, const json& ev) {
                     w.platform.simProcesses().setOnScreenWindow(ev.at("pid").get<ProcessID>(),
                                                                 ev.at("onScreen").get<bool>());
                 }});
    r.addAction({"app.activate",
                 {{"bundleId", ArgType::string}, {"name", ArgType::string}},
                 nullptr,
                 [](SimWorld& w, const json& ev) {
                     w.platform.simProcesses().activate(
                         frontmostFor(w, ev.at("bundleId").get<std::string>(), ev.at("name").get<std::string>()));
                 }});
}

}  // namespace halvyn
