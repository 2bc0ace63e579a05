#include "hud/sound_manager.h"

#include <algorithm>

#include "platform/platform.h"
#include "platform/services.h"

namespace halvyn {

SoundManager::SoundManager(Services& ctx)
    : ctx_(ctx), sounds_(ctx.platform().sounds()), logger_(ctx.logger("SoundManager")) {}

SoundManager::~SoundManager() {
    // Players still held stop with the manager; their finish callbacks find it gone.
    for (auto& [name, list] : audioPlayers_)
        for (auto& held : list) held.player->stop();
}

void SoundManager::prepareAlert(const std::string& name, const std::string& type) {
    if (!sounds_ || soundIDs_.count(name)) return;
    auto path = sounds_->resourcePath(name, type);
    if (!path) return;
    if (auto id = sounds_->createSystemSound(*path)) soundIDs_[name] = *id;
}

void SoundManager::playAlert(const std::string& name) {
    auto it = soundIDs_.find(name);
    if (!sounds_ || it == soundIDs_.end()) return;
    sounds_->playSystemSound(it->second);
}

void SoundManager::playEffect(const std::string& name, const std::string& type) {
    if (!sounds_) return;
    auto path = sounds_->resourcePath(name, type);
    if (!path) return;
    std::string error;
    std::unique_ptr<EffectPlayer> player = sounds_->makePlayer(*path, error);
    if (!player) {
        logger_.error("AVAudioPlayer could not be instantiated: %{public}s", error);
        return;
    }
    const std::uint64_t serial = ++nextSerial_;
    // A player that fails stays held until it is evicted.
    player->setFinishHandler([this, alive = lifetime_.token(), serial, name](bool successfully) {
        if (!successfully) return;
        ctx_.main().post([this, alive, serial, name] {
            if (alive) playerFinished(serial, name);
        });
    });
    player->prepare();
    player->setVolume(0.6f);
    player->play();

    auto& list = audioPlayers_[name];
    if (static_cast<int>(list.size()) >= maxInstancesPerSound) {
        std::unique_ptr<EffectPlayer> oldest = std::move(list.front().player);
        list.erase(list.begin());
        oldest->stop();
    }
    list.push_back({serial, std::move(player)});
}

void SoundManager::playerFinished(std::uint64_t serial, const std::string& name) {
    auto it = audioPlayers_.find(name);
    if (it == audioPlayers_.end()) return;
    auto& list = it->second;
    list.erase(std::remove_if(list.begin(), list.end(), [serial](const HeldPlayer& h) { return h.serial == serial; }),
               list.end());
}

std::size_t SoundManager::playerCount(const std::string& name) const {
    auto it = audioPlayers_.find(name);
    return it == audioPlayers_.end() ? 0 : it->second.size();
}

}  // namespace halvyn
