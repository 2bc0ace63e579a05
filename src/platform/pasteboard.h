#pragma once
// The general pasteboard, for share links.

#include <string>

namespace halvyn {

class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    virtual void clearContents() = 0;
    // Places plain text.
    virtual void setString(const std::string& text) = 0;
};

}  // namespace halvyn
