#pragma once
// Opening a URL with the application the system chooses for it.

#include <string>

namespace halvyn {

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // False when no application could open it.
    virtual bool openURL(const std::string& url) = 0;
    // Whether some application would open it, for offering a link only where it leads somewhere.
    virtual bool canOpen(const std::string& url) {
        (void)url;
        return true;
    }
};

}  // namespace halvyn
