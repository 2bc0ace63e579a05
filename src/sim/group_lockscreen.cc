// halvyn-sim: the lock-screen panel. The `loginWindow` platform state is what the preferences
// tool prints for the login window's domain (null: the tool fails); the LockScreen object; its
// panel and keep-awake show as the `window` (owner "LockScreen") and `powerAssertion` effects.

#include <nlohmann/json.hpp>

#include "app/context.h"
#include "lockscreen/lock_screen.h"
#include "platform/sim/sim_platform.h"
#include "sim/registry.h"

namespace halvyn {

void registerLockScreenGroup(SimRegistry& r) {
    using json = nlohmann::json;
    r.addPlatformKey({"loginWindow",
                      [](const json& v) -> std::optional<std::string> {
                          if (!v.is_null() && !v.is_string()) return std::string("must be a text or null");
                          return std::nullopt;
                      },
                      [](SimWorld& w, const json& v) {
                          std::optional<std::string> text;
                          if (v.is_string()) text = v.get<std::string>();
                          w.platform.simProcesses().setOutput(LockScreen::kDefaultsPath,
                                                              {"read", LockScreen::kLoginWindowDomain}, text);
                      }});
    r.addObject({"LockScreen", [](SimWorld& w) -> const PropertySet& { return w.ctx.lockScreen().properties(); }});
}

}  // namespace halvyn
