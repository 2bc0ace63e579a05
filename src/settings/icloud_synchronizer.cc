#include "settings/icloud_synchronizer.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>

#include "platform/cloud_store.h"
#include "platform/preferences.h"

namespace halvyn {

namespace {

double toEpochSeconds(WallTime t) { return toSeconds(t.time_since_epoch()); }
WallTime fromEpochSeconds(double s) { return WallTime(seconds(s)); }

}  // namespace

struct iCloudSynchronizer::Core : std::enable_shared_from_this<Core> {
    Core(Preferences& p, CloudStore& c, Clock& clk, BackgroundQueue& q, Logger l)
        : prefs(p), cloud(c), clock(clk), background(q), log(std::move(l)) {}

    Preferences& prefs;
    CloudStore& cloud;
    Clock& clock;
    BackgroundQueue& background;
    Logger log;

    mutable std::mutex keysMutex;
    std::vector<std::string> keys;  // in the order they were added
    std::vector<std::string> tracked;

    std::mutex queueMutex;
    std::deque<std::function<void()>> steps;
    bool draining = false;

    bool contains(std::string_view key) const {
        std::lock_guard lock(keysMutex);
        return std::find(keys.begin(), keys.end(), key) != keys.end();
    }

    bool isTracked(std::string_view key) const {
        std::lock_guard lock(keysMutex);
        return std::find(tracked.begin(), tracked.end(), key) != tracked.end();
    }

    void logStep(const char* message) const { log.info("[Defaults.iCloud] %s", message); }

    // Serial queue: one drain task on the background queue at a time runs the steps in order.
    void enqueue(std::function<void()> step) {
        bool start = false;
        {
            std::lock_guard lock(queueMutex);
            steps.push_back(std::move(step));
            if (!draining) draining = start = true;
        }
        if (start) {
            std::weak_ptr<Core> weak = weak_from_this();
            background.post([weak] {
                if (auto self = weak.lock()) self->drain();
            });
        }
    }

    void drain() {
        logStep("Try synchronizing");
        for (;;) {
            std::function<void()> step;
            {
                std::lock_guard lock(queueMutex);
                if (steps.empty()) {
                    draining = false;
                    break;
                }
                step = std::move(steps.front());
                steps.pop_front();
            }
            step();
        }
        logStep("Complete synchronization");
    }

    std::optional<WallTime> localTime(std::string_view key) const {
        auto v = prefs.stored(timestampName(key));
        if (!v || !v->isNumber()) return std::nullopt;
        return fromEpochSeconds(v->asNumber());
    }

    void recordLocalChange(const std::string& key, WallTime when) {
        if (!contains(key)) {
            // Not synchronised now: only remember when the user changed it.
            if (isTracked(key)) prefs.set(timestampName(key), Value(toEpochSeconds(when)), Preferences::Origin::sync);
            return;
        }
        prefs.set(timestampName(key), Value(toEpochSeconds(when)), Preferences::Origin::sync);
        synchronize(key);
    }

    // Future stamps already taken, by key: the raw stamp and when it was first seen.
    std::map<std::string, std::pair<WallTime, WallTime>, std::less<>> futureStamps;

    // A stamp far ahead of this machine's clock would win against every later change here. It
    // counts as made when it was first seen, so a later local change still wins.
    WallTime believable(const std::string& key, WallTime stamp, const char* side) {
        const WallTime now = clock.now();
        if (stamp <= now + iCloudSynchronizer::kFutureStampTolerance) return stamp;
        auto it = futureStamps.find(key);
        if (it != futureStamps.end() && it->second.first == stamp) return it->second.second;
        futureStamps.insert_or_assign(key, std::make_pair(stamp, now));
        log.error("[Defaults.iCloud] %s", std::string("The ") + side + " time stamp of " + key +
                                              " is in the future; taken as now");
        return now;
    }

    void synchronize(const std::string& key) {
        if (!contains(key)) return;
        auto local = localTime(key);
        auto remote = cloud.get(key);
        if (local) local = believable("local:" + key, *local, "local");
        if (remote) remote->time = believable(key, remote->time, "synced");
        if (local && (!remote || *local > remote->time)) {
            cloud.set(key, CloudEntry{prefs.stored(key), *local});
            log.debug("[Defaults.iCloud] %s", "Push " + key);
        } else if (remote && (!local || remote->time > *local)) {
            if (remote->value) {
                prefs.set(key, *remote->value, Preferences::Origin::sync);
            } else {
                prefs.remove(key, Preferences::Origin::sync);
            }
            prefs.set(timestampName(key), Value(toEpochSeconds(remote->time)), Preferences::Origin::sync);
            log.debug("[Defaults.iCloud] %s", "Pull " + key);
        } else {
            // Neither side has a time stamp, or both changed at the same instant: nothing moves.
            return;
        }
        cloud.synchronize();
    }
};

std::string iCloudSynchronizer::timestampName(std::string_view key) {
    std::string name(kTimestampPrefix);
    name += '.';
    name += key;
    return name;
}

iCloudSynchronizer::iCloudSynchronizer(Preferences& prefs, CloudStore& cloud, Clock& clock, BackgroundQueue& queue,
                                       Logger log)
    : core_(std::make_shared<Core>(prefs, cloud, clock, queue, std::move(log))) {
    std::weak_ptr<Core> weak = core_;
    localChanges_ = prefs.observe([weak](const std::vector<std::string>& names, Preferences::Origin origin) {
        // What the synchroniser itself wrote must not be pushed back.
        if (origin == Preferences::Origin::sync) return;
        auto core = weak.lock();
        if (!core) return;
        const WallTime when = core->clock.now();
        for (const auto& name : names) {
            if (!core->contains(name) && !core->isTracked(name)) continue;
            core->enqueue([weak, name, when] {
                if (auto c = weak.lock()) c->recordLocalChange(name, when);
            });
        }
    });
    remoteChanges_ = cloud.observeExternalChanges([weak](const std::vector<std::string>& names) {
        auto core = weak.lock();
        if (!core) return;
        for (const auto& name : names) {
            if (!core->contains(name)) continue;
            core->enqueue([weak, name] {
                if (auto c = weak.lock()) c->synchronize(name);
            });
        }
    });
}

iCloudSynchronizer::~iCloudSynchronizer() = default;

void iCloudSynchronizer::add(const std::vector<std::string_view>& keys) {
    for (std::string_view key : keys) {
        {
            std::lock_guard lock(core_->keysMutex);
            if (std::find(core_->keys.begin(), core_->keys.end(), key) == core_->keys.end())
                core_->keys.emplace_back(key);
        }
        std::weak_ptr<Core> weak = core_;
        core_->enqueue([weak, name = std::string(key)] {
            if (auto c = weak.lock()) c->synchronize(name);
        });
    }
}

void iCloudSynchronizer::removeAll() {
    std::lock_guard lock(core_->keysMutex);
    core_->keys.clear();
}

void iCloudSynchronizer::trackLocalChanges(const std::vector<std::string_view>& keys) {
    std::lock_guard lock(core_->keysMutex);
    core_->tracked.assign(keys.begin(), keys.end());
}

bool iCloudSynchronizer::contains(std::string_view key) const { return core_->contains(key); }

std::vector<std::string> iCloudSynchronizer::keys() const {
    std::lock_guard lock(core_->keysMutex);
    return core_->keys;
}

}  // namespace halvyn
