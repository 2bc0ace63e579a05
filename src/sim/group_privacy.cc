// halvyn-sim: the microphone and camera in use. `privacy.microphone` and `privacy.camera` start or
// end an application's use of the device (`own`: this program's own; `meter`: a level meter);
// the PrivacyManager object is traced.

#include <nlohmann/json.hpp>

#include "app/context.h"
#include "platform/sim/sim_platform.h"
#include "sim/registry.h"
#include "sources/privacy_manager.h"

namespace halvyn {

namespace {

void addUseAction(SimRegistry& r, const char* name, CaptureDevice device) {
    r.addAction({name,
                 {{"application", ArgType::string},
                  {"active", ArgType::boolean},
                  {"own", ArgType::boolean, false},
                  {"meter", ArgType::boolean, false}},
                 nullptr,
                 [device](SimWorld& w, const nlohmann::json& ev) {
                     CaptureUse use;
                     use.application = ev["application"].get<std::string>();
                     use.isOwn = ev.value("own", false);
                     use.isLevelMeter = ev.value("meter", false);
                     w.platform.simCapture().set(device, use, ev["active"].get<bool>());
                 }});
}

}  // namespace

void registerPrivacyGroup(SimRegistry& r) {
    r.addObject({"PrivacyManager", [](SimWorld& w) -> const PropertySet& { return w.ctx.privacy().properties(); }});
    addUseAction(r, "privacy.microphone", CaptureDevice::microphone);
    addUseAction(r, "privacy.camera", CaptureDevice::camera);
}

}  // namespace halvyn
