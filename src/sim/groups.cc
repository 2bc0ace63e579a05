#include "sim/registry.h"

namespace halvyn {

// Each group of actions, objects and platform state lives in its own sim/group_*.cc.
// Add one line here when a group's managers exist.

void registerSettingsGroup(SimRegistry& registry);
void registerNotchGroups(SimRegistry& registry);
void registerInputGroups(SimRegistry& registry);
void registerHudGroup(SimRegistry& registry);
void registerSourcesGroup(SimRegistry& registry);
void registerFocusCalendarGroups(SimRegistry& registry);
void registerUpdatesGroup(SimRegistry& registry);
void registerNowPlayingGroups(SimRegistry& registry);
void registerLockScreenGroup(SimRegistry& registry);
void registerAppGroup(SimRegistry& registry);
void registerPrivacyGroup(SimRegistry& registry);

void registerAllGroups(SimRegistry& registry) {
    registerSettingsGroup(registry);
    registerNotchGroups(registry);
    registerInputGroups(registry);
    registerHudGroup(registry);
    registerSourcesGroup(registry);
    registerFocusCalendarGroups(registry);
    registerUpdatesGroup(registry);
    registerNowPlayingGroups(registry);
    registerLockScreenGroup(registry);
    registerPrivacyGroup(registry);
    registerAppGroup(registry);  // its start-up is the application's
}

}  // namespace halvyn
