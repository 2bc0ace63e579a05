// The settings in halvyn-sim: the scenario's "settings" stored before start-up, the `Settings`
// trace object, the actions settings.set, settings.reset and cloud.change, the `settings` effect
// for writes the system makes itself.
//
// cloud.change's `time` is seconds relative to the scenario's start (negative: before it), the
// time stamp the other machine gave its change.

#include <nlohmann/json.hpp>

#include "app/context.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/json_value.h"
#include "sim/registry.h"
#include "sim/scenario.h"

namespace halvyn {

namespace {

Value toStored(const nlohmann::json& j) {
    // Scenario values are small; the text round trip keeps one JSON-to-Value conversion.
    auto v = parseJson(j.dump());
    return v ? std::move(*v) : Value();
}

std::optional<std::string> unknownSetting(const nlohmann::json& event) {
    const std::string key = event.at("key").get<std::string>();
    if (!findKey(key)) return "unknown setting '" + key + "'";
    return std::nullopt;
}

}  // namespace

void registerSettingsGroup(SimRegistry& r) {
    r.setSettingsValidator([](const nlohmann::json& settings) -> std::optional<std::string> {
        for (auto& [key, value] : settings.items()) {
            (void)value;
            if (!findKey(key)) return "unknown setting '" + key + "'";
        }
        return std::nullopt;
    });

    r.addSetup([](SimWorld& w) {
        auto& prefs = w.platform.simPreferences();
        // Stored exactly as given, whatever the kind: a wrong kind must then read as the default.
        if (!w.scenario.settings.contains("isFirstLaunch")) prefs.userSet("isFirstLaunch", Value(false));
        for (auto& [key, value] : w.scenario.settings.items()) prefs.userSet(key, toStored(value));
        // Writes by the system itself are effects; the synchroniser's time stamps are bookkeeping.
        EffectLog* effects = &w.platform.effects();
        prefs.setRecorder([effects](std::string_view name, const std::optional<Value>& value) {
            if (!findKey(name)) return;
            effects->record("settings", {{"key", Value(name)}, {"value", value ? *value : Value()}});
        });
    });

    r.addObject({"Settings", [](SimWorld& w) -> const PropertySet& { return w.ctx.defaults().properties(); }, "Defaults"});


    r.addAction({"settings.set",
                 {{"key", ArgType::string}, {"value", ArgType::any}},
                 unknownSetting,
                 [](SimWorld& w, const nlohmann::json& ev) {
                     w.platform.simPreferences().userSet(ev.at("key").get<std::string>(), toStored(ev.at("value")));
                 }});
    r.addAction({"settings.reset",
                 {{"key", ArgType::string}},
                 unknownSetting,
                 [](SimWorld& w, const nlohmann::json& ev) {
                     w.platform.simPreferences().userRemove(ev.at("key").get<std::string>());
                 }});
    r.addAction({"cloud.change",
                 {{"key", ArgType::string}, {"value", ArgType::any}, {"time", ArgType::number}},
                 unknownSetting,
                 [](SimWorld& w, const nlohmann::json& ev) {
                     Value v = toStored(ev.at("value"));
                     std::optional<Value> value;
                     if (!v.isNull()) value = std::move(v);
                     w.platform.simCloudStore().externalChange(ev.at("key").get<std::string>(), std::move(value),
                                                               w.scenario.start + seconds(ev.at("time").get<double>()));
                 }});
}

}  // namespace halvyn
