// halvyn-sim: the pointer and scroll groups and the `Outline` object.
//
// Until the now-playing manager exists, a scenario-only stand-in answers the input's questions
// with what that manager starts with (it can skip both ways) and sends a skip the way it does for
// the system-wide source: as the helper request "previousTrack" or "nextTrack". Once a real
// manager registers its controls on the context, the stand-in is not installed.

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/context.h"
#include "notch/input_seams.h"
#include "notch/notch_input.h"
#include "notch/notch_sources.h"
#include "notch/outline.h"
#include "platform/sim/sim_platform.h"
#include "sim/registry.h"

namespace halvyn {

namespace {

using json = nlohmann::json;

class StandInNowPlaying final : public NowPlayingControls {
public:
    explicit StandInNowPlaying(EffectLog& effects) : effects_(effects) {}
    bool hasPreviousSkip() const override { return true; }
    bool hasNextSkip() const override { return true; }
    void previous() override { request("previousTrack"); }
    void next() override { request("nextTrack"); }
    void setPointerOverNotch(bool) override {}
    void cancelIdleTimer() override {}

private:
    void request(const char* name) {
        effects_.record("helper", {{"request", Value(name)}, {"args", Value::array()}});
    }
    EffectLog& effects_;
};

ScrollPhase phaseNamed(const std::string& name) {
    if (name == "began") return ScrollPhase::began;
    if (name == "changed") return ScrollPhase::changed;
    if (name == "ended") return ScrollPhase::ended;
    return ScrollPhase::none;
}

}  // namespace

void registerInputGroups(SimRegistry& r) {
    r.addSetup([](SimWorld& w) {
        if (w.ctx.nowPlayingControls()) return;
        auto& slot = w.ctx.notchSources().attachment("halvyn-sim.nowPlaying");
        if (!slot) slot = std::make_shared<StandInNowPlaying>(w.platform.effects());
        w.ctx.setNowPlayingControls(static_cast<StandInNowPlaying*>(slot.get()));
    });

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
