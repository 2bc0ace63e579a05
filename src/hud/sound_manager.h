#pragma once
// Plays the system's short sounds: alert sounds registered once with the system and played by
// identifier, and effect sounds played through players at a fixed volume, several at a time.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/sounds.h"
#include "runtime/lifetime.h"
#include "runtime/logger.h"

namespace halvyn {

class Services;

class SoundManager {
public:
    explicit SoundManager(Services& ctx);
    ~SoundManager();
    SoundManager(const SoundManager&) = delete;
    SoundManager& operator=(const SoundManager&) = delete;

    // Registers the bundle's alert sound under its name, once; a missing file leaves it unregistered.
    void prepareAlert(const std::string& name, const std::string& type);
    // Plays a registered alert; an unregistered name plays nothing.
    void playAlert(const std::string& name);
    // Starts an effect sound; at most `maxInstancesPerSound` players are kept per name.
    void playEffect(const std::string& name, const std::string& type);

    const std::map<std::string, SystemSoundID>& soundIDs() const { return soundIDs_; }
    // Players held for the name, oldest first.
    std::size_t playerCount(const std::string& name) const;

    const int maxInstancesPerSound = 5;

private:
    // Players are told apart by a serial number: an address may be reused after an eviction.
    struct HeldPlayer {
        std::uint64_t serial;
        std::unique_ptr<EffectPlayer> player;
    };
    void playerFinished(std::uint64_t serial, const std::string& name);

    Services& ctx_;
    Sounds* sounds_;
    Logger logger_;
    std::map<std::string, SystemSoundID> soundIDs_;
    std::map<std::string, std::vector<HeldPlayer>> audioPlayers_;
    std::uint64_t nextSerial_ = 0;
    Lifetime lifetime_;
};

}  // namespace halvyn
