#pragma once
// For a test that stands in for a manager's events: sets another manager's property as its owner
// would. Only tests include this; the program itself has no such door.

#include <utility>

#include "runtime/published.h"

namespace halvyn {

struct OwnedTestAccess {
    template <class T, class Owner, class... A>
    static void set(Owned<T, Owner>& p, A&&... a) {
        p.set(std::forward<A>(a)...);
    }
};

template <class T, class Owner, class... A>
void setAsOwner(Owned<T, Owner>& p, A&&... a) {
    OwnedTestAccess::set(p, std::forward<A>(a)...);
}

}  // namespace halvyn
