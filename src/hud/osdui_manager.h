#pragma once
// Keeps the system's own volume and brightness display away while the notch shows its own, on
// systems before 26: the system's display process is killed once, and every new instance of it
// is held stopped; continuing it gives the display back.

#include <memory>
#include <vector>

#include "notch/notch_sources.h"
#include "platform/processes.h"
#include "runtime/logger.h"
#include "runtime/properties.h"
#include "runtime/published.h"

namespace halvyn {

class Services;
class Defaults;
class GUIManager;

class OSDUIManager final : public SystemHUDSuppression {
public:
    static constexpr const char* kBundleIdentifier = "com.apple.OSDUIHelper";
    static constexpr const char* kWindowOwner = "OSDUIHelper";

    OSDUIManager(Services& ctx, Defaults& defaults, GUIManager& gui);
    ~OSDUIManager() override;
    OSDUIManager(const OSDUIManager&) = delete;
    OSDUIManager& operator=(const OSDUIManager&) = delete;

    // The display process being held; 0 when none is known.
    Owned<int, OSDUIManager> osduiPID{0};

    void suppressSystemHUD() override;
    void suspendDisplayProcess() override;
    void restoreSystemHUD() override;

    // Suppression is on: new display processes are being watched for.
    bool isObserving() const { return observer.active(); }

    // Takes or gives back the system display whenever "enableVolume" or "enableBrightness"
    // changes (on every system version). Installed once, at start-up.
    void followSettings();
    // The application is about to end: the system display comes back if it was taken.
    void applicationWillTerminate();

    const PropertySet& properties() const { return properties_; }

private:
    void runningApplicationsChanged(const std::vector<RunningApplication>& apps);
    void settingChanged(bool newValue, bool otherValue);

    Services& ctx_;
    Defaults& defaults_;
    GUIManager& gui_;
    Processes* processes_;
    Logger logger_;
    Subscription observer;
    std::vector<Subscription> settingsObservers_;
    PropertySet properties_;
    std::shared_ptr<OSDUIManager*> self_;
};

}  // namespace halvyn
