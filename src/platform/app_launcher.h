#pragma once
// Finding and opening installed applications by bundle identifier.

#include <optional>
#include <string>

namespace halvyn {

class AppLauncher {
public:
    virtual ~AppLauncher() = default;
    // Where the application is installed; nullopt when it is not.
    virtual std::optional<std::string> urlForApplication(const std::string& bundleId) const = 0;
    // Opens (and, with `activates`, brings to the front) the application at `url`. Does not wait.
    virtual void openApplication(const std::string& url, const std::string& bundleId, bool activates) = 0;
    // The bundle identifier of the application the system opens `url` with; nullopt when none.
    virtual std::optional<std::string> defaultApplicationForURL(const std::string& /*url*/) const {
        return std::nullopt;
    }
    // Asks the user whether this program may send commands to the application, waiting for the
    // answer: call it off the main queue. 0 when allowed, else the system's error status. Where
    // the system asks no such consent, nothing is needed and the answer is 0.
    virtual int requestAutomation(const std::string& /*bundleId*/) { return 0; }
};

}  // namespace halvyn
