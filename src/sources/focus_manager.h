#pragma once
// Follows the Focus through the FocusStatus port: publishes whether a Focus is on and which mode,
// and asks the notch for the Focus notification or live activity.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "runtime/lifetime.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "sources/source_state.h"

namespace halvyn {

class Services;
class Defaults;
class Notch;
class NotchSources;
class LockManager;
struct ReportedFocusMode;

struct FocusMode {
    std::string identifier;
    std::string symbol;
    std::string tintColor;  // a named colour ("TealColor")
    std::optional<std::string> rawName;
    std::optional<std::string> nameKey;

    // The localised name of a built-in mode, else the logged name.
    std::string displayName() const;
    friend bool operator==(const FocusMode&, const FocusMode&) = default;
};
Value toValue(const FocusMode& mode);

namespace focus {
// The built-in modes by identifier.
const std::map<std::string, FocusMode, std::less<>>& builtInModes();
// The English text of a built-in mode's name key ("focus.work" -> "Work").
std::optional<std::string> localizedName(std::string_view nameKey);
}  // namespace focus

class FocusManager final : public NotificationSource, public LiveActivitySource, public FocusStateSource {
public:
    FocusManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources, LockManager& lock);
    ~FocusManager() override;
    FocusManager(const FocusManager&) = delete;
    FocusManager& operator=(const FocusManager&) = delete;

    Owned<bool, FocusManager> isFocus{false};
    Owned<std::optional<FocusMode>, FocusManager> focusMode;
    Owned<bool, FocusManager> hasBeenFocused{false};

    bool wantsLiveActivity() const override;
    bool canShowFocusActivity() const;
    bool allowsNotification(Notch::Notification kind) const override;
    bool isFocusActive() const override { return isFocus.get(); }

    // (Re)starts following the Focus. Reports that end (an error, or nothing to follow) end it
    // until the next start.
    void startFollowing();
    bool isFollowing() const { return following_.active(); }
    // Focus switched off: the Focus is no longer followed and its state is cleared.
    void stopTracking();

    const PropertySet& properties() const { return properties_; }

private:
    void modeActive(const ReportedFocusMode& mode);
    void switched(bool enabled);
    void setMode(FocusMode mode);
    void postChange();
    bool lockedOrScreensaver() const;

    Services& ctx_;
    Defaults& defaults_;
    Notch& notch_;
    NotchSources& sources_;
    LockManager& lock_;
    Lifetime lifetime_;
    Subscription following_;
    std::vector<Subscription> cancellables_;
    PropertySet properties_;
};

}  // namespace halvyn
