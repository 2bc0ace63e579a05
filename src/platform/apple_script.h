#pragma once
// Runs AppleScript source in the browsers. Blocking: called on the background queue only.

#include <string>

namespace halvyn {

struct AppleScriptResult {
    bool ok = false;
    std::string text;   // the result's text value
    std::string error;  // the error description when not ok
};

class AppleScript {
public:
    virtual ~AppleScript() = default;
    virtual AppleScriptResult run(const std::string& source) = 0;
};

}  // namespace halvyn
