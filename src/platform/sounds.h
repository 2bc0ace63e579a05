#pragma once
// Sound resources of the application bundle, alert sounds registered with the system and
// played by identifier, and effect players with a finish callback.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace halvyn {

using SystemSoundID = std::uint32_t;

// One playing (or playable) effect sound.
class EffectPlayer {
public:
    virtual ~EffectPlayer() = default;
    // Called once when playback ends: successfully, or not (decoding failed, interrupted).
    virtual void setFinishHandler(std::function<void(bool successfully)> handler) = 0;
    virtual void prepare() = 0;
    virtual void setVolume(float volume) = 0;
    virtual void play() = 0;
    virtual void stop() = 0;
};

class Sounds {
public:
    virtual ~Sounds() = default;

    // The path of a bundle resource found by name and type, or nothing.
    virtual std::optional<std::string> resourcePath(const std::string& name, const std::string& type) const = 0;

    // Registers the file as an alert sound; nothing when that fails.
    virtual std::optional<SystemSoundID> createSystemSound(const std::string& path) = 0;
    virtual void playSystemSound(SystemSoundID id) = 0;

    // A player for the file, or nothing with `error` set.
    virtual std::unique_ptr<EffectPlayer> makePlayer(const std::string& path, std::string& error) = 0;
};

}  // namespace halvyn
