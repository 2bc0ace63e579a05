#pragma once
// Whether a display hands its own three switches to the shared show rule, each in its own role:
// its switch refuses alone, the Focus one only under an active Focus, the lock one only while
// locked. `situation(focus, locked)` puts the system in that state.

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "notch/notch_sources.h"
#include "settings/defaults.h"
#include "sources/source_state.h"

namespace halvyn {

inline void expectOwnShowSwitches(Defaults& d, const NotificationSource& source, const ShowSwitches& s,
                                  const std::function<void(bool focus, bool locked)>& situation) {
    const auto allows = [&] { return source.allowsNotification(Notch::Notification::none); };
    situation(true, true);
    EXPECT_TRUE(allows()) << "every switch on";
    const std::tuple<bool, bool, const Key<bool>*, bool> cases[] = {
        {false, false, &s.enabled, false},   {true, false, &s.whenFocused, false}, {false, true, &s.whenFocused, true},
        {false, true, &s.whenLocked, false}, {true, false, &s.whenLocked, true}};
    for (auto [focus, locked, key, shows] : cases) {
        SCOPED_TRACE(::testing::Message() << key->name << " off, focus " << focus << ", locked " << locked);
        situation(focus, locked);
        d.set(*key, false);
        EXPECT_EQ(allows(), shows);
        d.set(*key, true);
    }
    situation(false, false);
}

}  // namespace halvyn
