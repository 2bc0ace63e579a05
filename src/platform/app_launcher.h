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
};

}  // namespace halvyn
