#pragma once
// Follows the Focus modes through the log of the two Focus daemons (there is no notification for
// them): publishes whether a Focus is on and which mode, and asks the notch for the Focus
// notification or live activity.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "platform/log_stream.h"
#include "runtime/lifetime.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "sources/source_state.h"

namespace halvyn {

class Context;

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
// A logged tint name ("systemMintColor") to the named colour; unknown names give "IndigoColor".
std::string tintColor(std::string_view loggedName);
// The English text of a built-in mode's name key ("focus.work" -> "Work").
std::optional<std::string> localizedName(std::string_view nameKey);
// The values after "modeIdentifier:", "name:", "symbolImageName:" and "tintColorName:": the first
// place in the line where the marker, optional white space and at least one allowed character
// follow. Linear in the line's length.
std::optional<std::string> identifier(std::string_view line);
std::optional<std::string> name(std::string_view line);
std::optional<std::string> symbol(std::string_view line);
std::optional<std::string> tint(std::string_view line);
// The first line of pgrep's output that is a decimal 32-bit number.
std::optional<ProcessID> firstProcessID(std::string_view pgrepOutput);
}  // namespace focus

class FocusManager final : public NotificationSource, public LiveActivitySource, public FocusStateSource {
public:
    explicit FocusManager(Context& ctx);
    ~FocusManager() override;
    FocusManager(const FocusManager&) = delete;
    FocusManager& operator=(const FocusManager&) = delete;

    Published<bool> isFocus{false};
    Published<std::optional<FocusMode>> focusMode;
    Published<bool> hasBeenFocused{false};

    bool wantsLiveActivity() const override;
    bool canShowFocusActivity() const;
    bool allowsNotification(Notch::Notification kind) const override;
    bool isFocusActive() const override { return isFocus.get(); }

    // (Re)starts reading the daemons' log: looks their processes up off the main queue, then
    // opens the stream. Without both daemons there is no stream until the next start.
    void startLogStream();
    bool isReading() const { return logTask_.active(); }
    // Focus switched off: the log is no longer read (a look-up still running is dropped) and the
    // Focus state is cleared.
    void stopTracking();

    // One log message, as the stream delivers it (on the main queue).
    void handle(const LogEntry& entry);

    const PropertySet& properties() const { return properties_; }

private:
    void stateUpdate(std::string_view message);
    void registration(std::string_view message);
    void setMode(FocusMode mode);
    void postChange();
    bool lockedOrScreensaver() const;

    Context& ctx_;
    Lifetime lifetime_;
    std::uint64_t generation_ = 0;  // a newer start supersedes a look-up still running
    Subscription logTask_;
    std::vector<Subscription> cancellables_;
    PropertySet properties_;
};

}  // namespace halvyn
