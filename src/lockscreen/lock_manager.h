#pragma once
// Follows the screen lock and the screensaver: clears the notch and shows the lock activity and
// the lock-screen panel when the screen locks, hands the notch back when it unlocks, and plays
// the lock and unlock sounds.

#include <memory>
#include <vector>

#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "runtime/debounce.h"
#include "runtime/lifetime.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "runtime/seam.h"

namespace halvyn {

class Services;
class Defaults;
class Notch;
class NotchSources;
class SoundManager;
class GUIManager;
class LockScreenPresenter;
class CalendarRefresh;
class WeatherUpdates;

// The managers built after the lock source that it drives while the screen is locked.
struct LockedScreenParts {
    Seam<LockScreenPresenter> panel;
    Seam<CalendarRefresh> calendar;
    Seam<WeatherUpdates> weather;
};

class LockManager final : public LiveActivitySource, public LockStateSource {
public:
    LockManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources, SoundManager& sounds,
                GUIManager& gui, LockedScreenParts parts);
    ~LockManager() override;
    LockManager(const LockManager&) = delete;
    LockManager& operator=(const LockManager&) = delete;

    // The screen is locked, as far as this manager handles it.
    Owned<bool, LockManager> isLocked{false};
    Owned<bool, LockManager> hasScreensaver{false};
    // True for 0.5 s after the machine wakes: a lock then is the wake's, and does not chime.
    Owned<bool, LockManager> hasRecentlyWokeFromSleep{false};

    // "enableLockScreen" on, locked, and no screensaver.
    bool wantsLiveActivity() const override;
    bool isScreenLocked() const override { return isLocked.get(); }

    const PropertySet& properties() const { return properties_; }

private:
    void screenLocked();
    void screenUnlocked();
    void didWake();
    void startFirstWanted(bool force);
    void clearNotch();

    Services& ctx_;
    Defaults& defaults_;
    NotchSources& sources_;
    SoundManager& sounds_;
    GUIManager& gui_;
    LockedScreenParts parts_;
    Notch& notch;
    Lifetime lifetime_;
    std::vector<Subscription> cancellables;
    Debounce lockDebounce;
    Debounce unlockDebounce;
    Debounce wakeDebounce_;
    PropertySet properties_;
};

}  // namespace halvyn
