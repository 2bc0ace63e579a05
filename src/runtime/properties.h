#pragma once
// The observable properties of a manager, by name, as values: what halvyn-sim traces and what
// the desktop program's views can bind to without knowing each manager's types.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/published.h"
#include "runtime/time.h"
#include "runtime/value.h"

namespace halvyn {

inline Value toValue(bool b) { return Value(b); }
inline Value toValue(double d) { return Value(d); }
inline Value toValue(float f) { return Value(f); }
inline Value toValue(int i) { return Value(i); }
inline Value toValue(const std::string& s) { return Value(s); }
Value toValue(WallTime t);  // ISO 8601 UTC
template <class T>
Value toValue(const std::optional<T>& o) {
    return o ? toValue(*o) : Value();
}

class PropertySet {
public:
    struct Property {
        std::string name;
        std::function<Value()> read;
        std::function<Subscription(std::function<void()>)> observe;
    };

    template <class T>
    void add(std::string name, const Published<T>& p) {
        props_.push_back({std::move(name), [&p] { return toValue(p.get()); },
                          [&p](std::function<void()> cb) {
                              return p.observe([cb = std::move(cb)](const T&, const Animation*) { cb(); });
                          }});
    }
    // A derived or non-Published property: read on demand, observed through `observe`.
    void add(std::string name, std::function<Value()> read,
             std::function<Subscription(std::function<void()>)> observe) {
        props_.push_back({std::move(name), std::move(read), std::move(observe)});
    }

    const std::vector<Property>& all() const { return props_; }
    Value snapshot() const;

private:
    std::vector<Property> props_;
};

}  // namespace halvyn
