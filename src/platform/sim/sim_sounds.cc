#include "platform/sim/sim_sounds.h"

#include <algorithm>

#include "platform/sim/effect_log.h"
#include "runtime/main_queue.h"

namespace halvyn {

class SimSounds::Player final : public EffectPlayer {
public:
    Player(SimSounds& owner, std::string name) : owner_(&owner), name_(std::move(name)) {
        owner_->players_.push_back(this);
    }
    ~Player() override {
        timer_.cancel();
        if (owner_) {
            auto& list = owner_->players_;
            list.erase(std::remove(list.begin(), list.end(), this), list.end());
        }
    }
    void setFinishHandler(std::function<void(bool)> handler) override { handler_ = std::move(handler); }
    void prepare() override {}
    void setVolume(float volume) override { volume_ = volume; }
    void play() override {
        if (!owner_) return;
        playing_ = true;
        if (owner_->effects_) owner_->effects_->record("effectSound", {{"name", Value(name_)}});
        if (owner_->playerDuration_ > Duration::zero())
            timer_ = owner_->main_.postAfter(owner_->playerDuration_, [this] { finish(true); });
    }
    // Stopping ends playback without calling the finish handler.
    void stop() override {
        playing_ = false;
        timer_.cancel();
    }
    void finish(bool successfully) {
        if (!playing_) return;
        playing_ = false;
        timer_.cancel();
        if (handler_) {
            auto h = handler_;  // the handler may destroy this player
            h(successfully);
        }
    }
    void detach() {
        owner_ = nullptr;
        timer_.cancel();
    }
    const std::string& name() const { return name_; }
    bool isPlaying() const { return playing_; }
    float volume() const { return volume_; }

private:
    SimSounds* owner_;
    std::string name_;
    std::function<void(bool)> handler_;
    TaskHandle timer_;
    bool playing_ = false;
    float volume_ = 1.0f;
};

SimSounds::SimSounds(MainQueue& main, EffectLog* effects)
    : main_(main),
      effects_(effects),
      resources_{"low-power.caf", "low-battery.caf", "chime.caf",  "event.caf",  "directions.caf", "lock.caf",
                 "unlock.caf",    "pad.m4a",         "alt-jingle.m4a", "blips.m4a", "haptic.caf"} {}

SimSounds::~SimSounds() {
    for (auto* p : players_) p->detach();
}

std::string SimSounds::fileName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::string> SimSounds::resourcePath(const std::string& name, const std::string& type) const {
    const std::string file = type.empty() ? name : name + "." + type;
    if (name.empty() || !resources_.count(file)) return std::nullopt;
    return std::string(kResourceFolder) + file;
}

std::optional<SystemSoundID> SimSounds::createSystemSound(const std::string& path) {
    const std::string file = fileName(path);
    if (path.rfind(kResourceFolder, 0) != 0 || !resources_.count(file) || undecodable_.count(file))
        return std::nullopt;
    ++registrations_;
    const SystemSoundID id = nextID_++;
    const auto dot = file.rfind('.');
    soundNames_[id] = dot == std::string::npos ? file : file.substr(0, dot);
    return id;
}

void SimSounds::playSystemSound(SystemSoundID id) {
    auto it = soundNames_.find(id);
    if (it == soundNames_.end()) return;
    if (effects_) effects_->record("sound", {{"name", Value(it->second)}});
}

std::unique_ptr<EffectPlayer> SimSounds::makePlayer(const std::string& path, std::string& error) {
    const std::string file = fileName(path);
    if (path.rfind(kResourceFolder, 0) != 0 || !resources_.count(file)) {
        error = "The file \"" + file + "\" couldn't be opened because there is no such file.";
        return nullptr;
    }
    if (undecodable_.count(file)) {
        error = "The operation couldn't be completed. (OSStatus error 1954115647.)";
        return nullptr;
    }
    const auto dot = file.rfind('.');
    return std::make_unique<Player>(*this, dot == std::string::npos ? file : file.substr(0, dot));
}

bool SimSounds::finishOldest(const std::string& name, bool successfully) {
    for (auto* p : players_) {
        if (p->name() == name && p->isPlaying()) {
            p->finish(successfully);
            return true;
        }
    }
    return false;
}

int SimSounds::playing(const std::string& name) const {
    int n = 0;
    for (auto* p : players_)
        if (p->name() == name && p->isPlaying()) ++n;
    return n;
}

}  // namespace halvyn
