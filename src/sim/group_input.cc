// halvyn-sim: the pointer and scroll groups and the `Outline` object. Skips go to the now-playing
// source, which registers its controls on the context.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/context.h"
#include "notch/notch_input.h"
#include "notch/outline_model.h"
#include "platform/sim/sim_platform.h"
#include "sim/registry.h"

namespace halvyn {

namespace {

using json = nlohmann::json;

ScrollPhase phaseNamed(const std::string& name) {
    if (name == "began") return ScrollPhase::began;
    if (name == "changed") return ScrollPhase::changed;
    if (name == "ended") return ScrollPhase::ended;
    return ScrollPhase::none;
}

}  // namespace

void registerInputGroups(SimRegistry& r) {
    r.addObject({"Outline", [](SimWorld& w) -> const PropertySet& { return w.ctx.outline().properties(); }});

    // pointer
    r.addAction({"pointer.enter", {}, nullptr, [](SimWorld& w, const json&) { w.ctx.notchInput().pointerEntered(); }});
    r.addAction({"pointer.leave", {}, nullptr, [](SimWorld& w, const json&) { w.ctx.notchInput().pointerExited(); }});
    r.addAction({"pointer.content",
                 {{"side", ArgType::string, true, {"left", "right"}}, {"inside", ArgType::boolean}},
                 nullptr,
                 [](SimWorld& w, const json& ev) {
                     const auto side = ev["side"].get<std::string>() == "left" ? NotchInput::ContentSide::left
                                                                               : NotchInput::ContentSide::right;
                     w.ctx.notchInput().pointerInContent(side, ev["inside"].get<bool>());
                 }});
    r.addAction({"press", {}, nullptr, [](SimWorld& w, const json&) { w.ctx.notchInput().press(); }});

    // scroll
    const std::vector<std::string> phases{"none", "began", "changed", "ended"};
    r.addAction({"scroll",
                 {{"dx", ArgType::number},
                  {"dy", ArgType::number},
                  {"phase", ArgType::string, true, phases},
                  {"momentum", ArgType::string, true, phases},
                  {"inverted", ArgType::boolean}},
                 nullptr,
                 [](SimWorld& w, const json& ev) {
                     w.ctx.notchInput().scroll({ev["dx"].get<double>(), ev["dy"].get<double>(),
                                                phaseNamed(ev["phase"].get<std::string>()),
                                                phaseNamed(ev["momentum"].get<std::string>()),
                                                ev["inverted"].get<bool>()});
                 }});
}

}  // namespace halvyn
