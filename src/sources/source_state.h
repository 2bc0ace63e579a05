#pragma once
// The state the sources' allow rules read from other sources at the moment they decide: whether
// a Focus is active and whether the screen is locked. A source that does not exist yet reads as
// "no".

namespace halvyn {

class Context;

// The Focus source: a Focus mode is on.
class FocusStateSource {
public:
    virtual ~FocusStateSource() = default;
    virtual bool isFocusActive() const = 0;
};

bool isFocusActive(Context& ctx);
bool isScreenLocked(Context& ctx);

}  // namespace halvyn
