#include "runtime/properties.h"

#include "runtime/dates.h"

namespace halvyn {

Value toValue(WallTime t) { return Value(formatIso8601(t)); }

Value PropertySet::snapshot() const {
    Value v = Value::object();
    for (auto& p : props_) v.set(p.name, p.read());
    return v;
}

}  // namespace halvyn
