#pragma once
// Keeps chosen settings in step with the user's cloud key-value store. Both sides carry, for
// each key, the time of its last change; the later side wins, and a side without a time stamp
// loses to one with. Local changes are pushed, changes from other machines pulled. Steps run
// one at a time, in order, on a serial queue over the background queue; the key set is guarded
// by a lock because the steps and the callers run on different threads.

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/clock.h"
#include "runtime/logger.h"
#include "runtime/main_queue.h"
#include "runtime/published.h"

namespace halvyn {

class Preferences;
class CloudStore;

class iCloudSynchronizer {
public:
    // Local time stamps live in the preferences domain under this prefix plus the key's name.
    static constexpr std::string_view kTimestampPrefix = "__DEFAULTS__synchronizeTimestamp";
    static std::string timestampName(std::string_view key);
    // How far ahead of this machine's clock a time stamp may be (clocks of two machines differ a
    // little); a stamp beyond it counts as made when it was first seen.
    static constexpr Duration kFutureStampTolerance = std::chrono::minutes(1);

    iCloudSynchronizer(Preferences& prefs, CloudStore& cloud, Clock& clock, BackgroundQueue& queue, Logger log);
    ~iCloudSynchronizer();
    iCloudSynchronizer(const iCloudSynchronizer&) = delete;
    iCloudSynchronizer& operator=(const iCloudSynchronizer&) = delete;

    // Adds the keys in order and synchronises each one.
    void add(const std::vector<std::string_view>& keys);
    // Stops synchronising and forgets every key; stored values stay as they are.
    void removeAll();
    // Keys whose local changes are time-stamped even while they are not synchronised, so that a
    // choice the user makes with synchronisation off is not overwritten by an older value from
    // the cloud when synchronisation is turned back on.
    void trackLocalChanges(const std::vector<std::string_view>& keys);

    bool contains(std::string_view key) const;
    std::vector<std::string> keys() const;

private:
    struct Core;
    std::shared_ptr<Core> core_;
    Subscription localChanges_;
    Subscription remoteChanges_;
};

}  // namespace halvyn
