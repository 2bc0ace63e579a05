#pragma once
// Simulated sounds. An alert played is the effect "sound" (name), an effect player started is
// "effectSound" (name); a player finishes successfully `playerDuration` after it starts unless
// it is stopped first, or when a test finishes it.

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/sounds.h"
#include "runtime/task.h"
#include "runtime/time.h"

namespace halvyn {

class EffectLog;
class MainQueue;

class SimSounds final : public Sounds {
public:
    static constexpr const char* kResourceFolder = "/Applications/Halvyn.app/Contents/Resources/";

    SimSounds(MainQueue& main, EffectLog* effects);
    ~SimSounds() override;

    std::optional<std::string> resourcePath(const std::string& name, const std::string& type) const override;
    std::optional<SystemSoundID> createSystemSound(const std::string& path) override;
    void playSystemSound(SystemSoundID id) override;
    std::unique_ptr<EffectPlayer> makePlayer(const std::string& path, std::string& error) override;

    // Simulation controls.
    // The "name.type" resources in the bundle (default: every sound of the system).
    void setResources(std::set<std::string> resources) { resources_ = std::move(resources); }
    // Files that exist but cannot be decoded by a player.
    void setUndecodable(std::set<std::string> files) { undecodable_ = std::move(files); }
    void setPlayerDuration(Duration d) { playerDuration_ = d; }
    // Ends the oldest playing player of the sound; false when none plays.
    bool finishOldest(const std::string& name, bool successfully);
    int registrations() const { return registrations_; }
    // Players of the sound that are playing now (started, neither stopped nor finished).
    int playing(const std::string& name) const;

    class Player;

private:
    friend class Player;
    static std::string fileName(const std::string& path);

    MainQueue& main_;
    EffectLog* effects_;
    std::set<std::string> resources_;
    std::set<std::string> undecodable_;
    std::map<SystemSoundID, std::string> soundNames_;
    SystemSoundID nextID_ = 4097;
    int registrations_ = 0;
    Duration playerDuration_ = seconds(1.0);
    std::vector<Player*> players_;  // live players, in creation order
};

}  // namespace halvyn
