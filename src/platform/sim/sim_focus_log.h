#pragma once
// The simulated system's Focus, read the way it has to be read there: the two Focus daemons have
// no notification, so their processes are looked up by name and their log is followed. A
// "Registration" line with "DND Enabled" switches Focus; a "ServiceProvider" state update names
// the active mode.

#include <optional>
#include <string>
#include <string_view>

#include "platform/focus_status.h"
#include "platform/processes.h"

namespace halvyn {

class LogStream;
class MainQueue;

namespace focus {
// A logged tint name ("systemMintColor") to the named colour; unknown names give "IndigoColor".
std::string tintColor(std::string_view loggedName);
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

class SimFocusLog final : public FocusStatus {
public:
    static constexpr const char* kStateDaemon = "identityservicesd";
    static constexpr const char* kRegistrationDaemon = "donotdisturbd";

    // The look-up runs as background work would (a turn of `main` on the virtual timeline); the
    // stream opens on the turn after it, and only when both daemons run.
    SimFocusLog(MainQueue& main, const Processes& processes, LogStream& log)
        : main_(main), processes_(processes), log_(log) {}

    Subscription follow(FocusReports reports) override;

private:
    struct Following;
    MainQueue& main_;
    const Processes& processes_;
    LogStream& log_;
};

}  // namespace halvyn
